// Fuzzes the binary element reader; each element read must copy to an equal
// tree, and its text form must be a fixed point of writing and reading.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "support/elements.h"
#include "support/heap.h"

namespace {

void check(const SEElement *element) {
    SEElement *copy = SECopy(element);
    if (copy == nullptr || !SEEquals(element, copy)) abort();
    SEFree(copy);

    char *text = SEWrite(element);
    if (text == nullptr) abort();
    SEReader *reader = SEReaderFromString(text, -1);
    SEElement *back = SERead(reader);
    if (back == nullptr) abort();
    char *again = SEWrite(back);
    if (again == nullptr || std::strcmp(text, again) != 0) abort();
    sFree(again);
    SEFree(back);
    SEReaderFree(reader);
    sFree(text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 1 << 20) return 0;
    SEReader *reader = SEReaderFromBinary(data, static_cast<int>(size));
    while (SEElement *element = SERead(reader)) {
        check(element);
        SEFree(element);
    }
    SEReaderFree(reader);
    return 0;
}
