// Fuzzes the time-span parser, and checks that a parsed span formats to a
// text that parses back to the same number of seconds.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "support/heap.h"
#include "support/text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string text(reinterpret_cast<const char *>(data), size);
    int seconds = ParseTimeSpan(text.c_str());
    if (seconds < -1) abort();
    char *formatted = FormatTimeSpan(seconds);
    if ((formatted == nullptr) != (seconds < 1)) abort();
    if (formatted != nullptr && ParseTimeSpan(formatted) != seconds) abort();
    sFree(formatted);
    return 0;
}
