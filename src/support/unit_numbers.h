// Scanning helpers shared by the time-span and memory-size parsers: numbers
// that saturate instead of overflowing, the blanks allowed before a unit,
// and skipping to the next number.
#pragma once

#include <cstdint>

namespace unit_numbers {

inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Blanks between a number and its unit. Lower-case t has always been taken
// as a blank here, so option strings may rely on it.
inline bool IsBlank(char c) { return c == ' ' || c == '\t' || c == 't'; }

// Reads the decimal number at p, saturating at limit so that later
// arithmetic on it cannot overflow.
inline int64_t ReadNumber(const char *&p, int64_t limit) {
    int64_t value = 0;
    for (; IsDigit(*p); p++) {
        value = value * 10 + (*p - '0');
        if (value > limit) value = limit;
    }
    return value;
}

inline void SkipToDigit(const char *&p) {
    while (*p != '\0' && !IsDigit(*p)) p++;
}

}  // namespace unit_numbers
