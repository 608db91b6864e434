// Fuzzes the memory-size parser: any text gives -1 or a size in 0..2^31-1.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "support/text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string text(reinterpret_cast<const char *>(data), size);
    if (ParseMemorySize(text.c_str()) < -1) abort();
    return 0;
}
