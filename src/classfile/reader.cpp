// The bounded big-endian byte reader under every parse of class-file bytes.
#include "classfile/classfile_internal.h"

bool JCRReader::bytes(uint8_t *destination, int64_t count) {
    if (!take(count)) return false;
    if (count > 0) std::memcpy(destination, cursor, static_cast<size_t>(count));
    cursor += count;
    return true;
}
