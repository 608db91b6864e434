// The bounded big-endian byte reader under every parse of class-file bytes.
#include "classfile/classfile_internal.h"

bool JCRReader::take(int64_t count) {
    remaining -= count;
    if (remaining < 0) return false;
    return true;
}

uint8_t JCRReader::u8() {
    if (!take(1)) return 0;
    return *cursor++;
}

uint16_t JCRReader::u16() {
    if (!take(2)) return 0;
    uint16_t value = static_cast<uint16_t>(cursor[0] << 8 | cursor[1]);
    cursor += 2;
    return value;
}

uint32_t JCRReader::u32() {
    if (!take(4)) return 0;
    uint32_t value = static_cast<uint32_t>(cursor[0]) << 24 | static_cast<uint32_t>(cursor[1]) << 16 |
                     static_cast<uint32_t>(cursor[2]) << 8 | cursor[3];
    cursor += 4;
    return value;
}

bool JCRReader::bytes(uint8_t *destination, int64_t count) {
    if (!take(count)) return false;
    if (count > 0) std::memcpy(destination, cursor, static_cast<size_t>(count));
    cursor += count;
    return true;
}
