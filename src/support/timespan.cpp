// Time spans in seconds and their text forms: "1d 2h 30m 10s", "1h30" (the
// last number takes the unit after the previous one), "90" (seconds).
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <string>

#include "support/heap.h"
#include "support/text.h"
#include "support/unit_numbers.h"

namespace {

using namespace unit_numbers;

constexpr int64_t kLongest = 2147483647;
// Numbers saturate here: far above any span that fits, and small enough that
// days * 86400 plus the other parts cannot overflow 64 bits.
constexpr int64_t kNumberLimit = 10000000000000LL;

enum Unit { kNone, kDays, kHours, kMinutes, kSeconds };

}  // namespace

int ParseTimeSpan(const char *text) {
    if (text == nullptr || *text == '\0') return -1;
    const char *p = text;
    SkipToDigit(p);
    if (*p == '\0') return -1;  // no number at all

    int64_t days = 0, hours = 0, minutes = 0, seconds = 0;
    bool gotHours = false, gotMinutes = false, gotSeconds = false;
    Unit last = kNone;
    while (*p != '\0') {
        int64_t number = ReadNumber(p, kNumberLimit);
        while (IsBlank(*p)) p++;
        if (*p == '\0') {
            if (gotSeconds) return -1;
            if (last == kHours && !gotMinutes) {
                minutes = number;
            } else if (last == kDays) {
                hours = number;
            } else {
                seconds = number;
            }
            break;
        }
        switch (*p) {
            case 'd':
            case 'D':
                if (last != kNone) return -1;
                days = number, last = kDays;
                break;
            case 'h':
            case 'H':
                if (gotHours || gotMinutes || gotSeconds) return -1;
                hours = number, gotHours = true, last = kHours;
                break;
            case 'm':
            case 'M':
                if (gotMinutes || gotSeconds) return -1;
                minutes = number, gotMinutes = true, last = kMinutes;
                break;
            case 's':
            case 'S':
                if (gotSeconds) return -1;
                seconds = number, gotSeconds = true, last = kSeconds;
                break;
            default:
                return -1;
        }
        p++;
        SkipToDigit(p);
    }

    int64_t total = days * 86400 + hours * 3600 + minutes * 60 + seconds;
    if (total < 0 || total > kLongest) {
        fprintf(stderr,
                "We could not parse time <%s> -- time specified was too long.  Defaulting to longest time.\n",
                text);
        return static_cast<int>(kLongest);
    }
    return static_cast<int>(total);
}

char *FormatTimeSpan(int seconds) {
    if (seconds < 1) return nullptr;
    int parts[4] = {seconds / 86400, (seconds % 86400) / 3600, (seconds % 3600) / 60, seconds % 60};
    static const char *const kNames[4] = {"day", "hour", "minute", "second"};
    std::string text;
    for (int i = 0; i < 4; i++) {
        if (parts[i] == 0) continue;
        char part[48];
        snprintf(part, sizeof part, "%s%d %s%s", text.empty() ? "" : " ", parts[i], kNames[i],
                 parts[i] == 1 ? "" : "s");
        text += part;
    }
    return sStrdup(text.c_str());
}
