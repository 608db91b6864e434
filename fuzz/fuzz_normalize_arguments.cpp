// Fuzzes the relaxed argument normalizer: the result keeps within its size
// bound and is then read as element text.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "support/elements.h"
#include "support/heap.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 1 << 20) return 0;
    std::string text(reinterpret_cast<const char *>(data), size);
    text.resize(std::strlen(text.c_str()));  // the argument string ends at its first NUL
    char *normalized = SENormalizeArguments(text.c_str());
    if (normalized == nullptr) return 0;
    if (std::strlen(normalized) > 3 * text.size() + 10) abort();
    SEReader *reader = SEReaderFromString(normalized, -1);
    while (SEElement *element = SERead(reader)) SEFree(element);
    SEReaderFree(reader);
    sFree(normalized);
    return 0;
}
