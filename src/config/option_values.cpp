// Whole-number option values, and the count of values refused since the
// loader began, so that it can tell its caller the options were bad.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "config/config_internal.h"

namespace {

int gRefusedValues = 0;

}  // namespace

void ReportRefusedValue(const char *format, ...) {
    va_list arguments;
    va_start(arguments, format);
    vfprintf(stderr, format, arguments);
    va_end(arguments);
    gRefusedValues++;
}

int RefusedValueCount() { return gRefusedValues; }

bool ParseWholeNumber(const char *text, size_t length, int32_t low, int32_t high, int32_t *value) {
    size_t i = length > 0 && text[0] == '-' ? 1 : 0;
    if (i == length) return false;
    int64_t number = 0;
    for (; i < length; i++) {
        if (text[i] < '0' || text[i] > '9') return false;
        number = number * 10 + (text[i] - '0');
        if (number > INT64_C(1) << 33) return false;  // beyond any int32_t bound; no overflow
    }
    if (text[0] == '-') number = -number;
    if (number < low || number > high) return false;
    *value = static_cast<int32_t>(number);
    return true;
}

void ReportBadNumber(const char *name, const char *text, int32_t low, int32_t high) {
    ReportRefusedValue("Invalid value for %s: '%s' (expected a whole number from %d to %d)\n", name,
                       text, low, high);
}

void ReportBadTimeSpan(const char *name, const char *text) {
    ReportRefusedValue("Invalid value for %s: '%s' (expected a time span such as 90s or 1h30m)\n",
                       name, text);
}

int32_t CheckedNumber(const char *name, const char *text, int32_t low, int32_t high,
                      int32_t defaultValue) {
    int32_t value;
    if (ParseWholeNumber(text, strlen(text), low, high, &value)) return value;
    ReportBadNumber(name, text, low, high);
    return defaultValue;
}
