// Fuzzes the element text parser: every element read must be written as
// text that reads back to an equal tree.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "support/elements.h"
#include "support/heap.h"

namespace {

void checkRoundTrip(const SEElement *element) {
    char *text = SEWrite(element);
    if (text == nullptr) abort();
    SEReader *reader = SEReaderFromString(text, static_cast<int>(std::strlen(text)));
    SEElement *back = SERead(reader);
    if (back == nullptr || !SEEquals(element, back)) abort();
    SEElement *extra = SERead(reader);
    if (extra != nullptr || SEReaderError(reader) != nullptr) abort();
    SEFree(back);
    SEReaderFree(reader);
    sFree(text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 1 << 20) return 0;
    SEReader *reader = SEReaderFromString(reinterpret_cast<const char *>(data), static_cast<int>(size));
    while (SEElement *element = SERead(reader)) {
        checkRoundTrip(element);
        SEFree(element);
    }
    SEReaderFree(reader);
    return 0;
}
