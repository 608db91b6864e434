// Memory sizes in bytes from their text form: "1G512M", "10m", "64k 100b",
// "512" (a number without unit counts as bytes).
#include <cstdint>
#include <cstdio>

#include "support/text.h"
#include "support/unit_numbers.h"

namespace {

using namespace unit_numbers;

constexpr int64_t kLargest = 2147483647;
// Numbers saturate at 2^32, so that G * 2^30 plus the other parts stays
// below 2^63.
constexpr int64_t kNumberLimit = int64_t{1} << 32;

}  // namespace

int ParseMemorySize(const char *text) {
    if (text == nullptr || *text == '\0') return -1;
    const char *p = text;
    SkipToDigit(p);
    if (*p == '\0') return -1;  // no number at all

    int64_t giga = 0, mega = 0, kilo = 0, bytes = 0;
    bool gotGiga = false, gotMega = false, gotKilo = false, gotBytes = false;
    while (*p != '\0') {
        int64_t number = ReadNumber(p, kNumberLimit);
        while (IsBlank(*p)) p++;
        if (*p == '\0') {
            if (gotBytes) return -1;
            bytes = number;
            break;
        }
        switch (*p) {
            case 'G':
            case 'g':
                if (gotGiga || gotMega || gotKilo || gotBytes) return -1;
                giga = number, gotGiga = true;
                break;
            case 'M':
            case 'm':
                if (gotMega || gotKilo || gotBytes) return -1;
                mega = number, gotMega = true;
                break;
            case 'K':
            case 'k':
                if (gotKilo || gotBytes) return -1;
                kilo = number, gotKilo = true;
                break;
            case 'B':
            case 'b':
                if (gotBytes) return -1;
                bytes = number, gotBytes = true;
                break;
            default:
                printf("Unexpected char '%c'\n", *p);
                return -1;
        }
        p++;
        SkipToDigit(p);
    }

    // The result is a 32-bit int: a larger size is clamped rather than left
    // to wrap into a negative or small number.
    int64_t total = (giga << 30) + (mega << 20) + (kilo << 10) + bytes;
    if (total > kLargest) {
        fprintf(stderr,
                "We could not parse size <%s> -- size specified was too large.  Defaulting to largest size.\n",
                text);
        return static_cast<int>(kLargest);
    }
    return static_cast<int>(total);
}
