// The agent heap: the C runtime's heap behind the exported allocation names.
#include "support/heap.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

void *sMalloc(int size) {
    // A negative size is refused rather than turned into a huge request.
    void *memory = size < 0 ? nullptr : std::malloc(static_cast<size_t>(size));
    if (memory == nullptr && size != 0) std::fprintf(stderr, "Malloc for %d bytes failed\nAbout to crash\n", size);
    return memory;
}

void sFree(void *pointer) { std::free(pointer); }

char *sStrdup(const char *string) {
    if (string == nullptr) return nullptr;
    size_t length = std::strlen(string);
    if (length >= 0x7fffffff) return nullptr;
    char *copy = static_cast<char *>(sMalloc(static_cast<int>(length + 1)));
    if (copy != nullptr) std::memcpy(copy, string, length + 1);
    return copy;
}
