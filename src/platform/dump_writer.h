// The growable byte buffer that heap and object dump records are built in.
// Numbers (counts, sizes, depths, values) are big-endian; object IDs are 4
// bytes in the machine's byte order, as the readers copy them straight into
// 32-bit IDs; thread references (JNIEnv) are pointer-sized, machine order.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

class DumpWriter {
public:
    void u1(uint32_t value) { bytes_.push_back(static_cast<char>(value & 0xFF)); }
    void u2(uint32_t value) { bigEndian(value, 2); }
    void u4(uint32_t value) { bigEndian(value, 4); }
    void u8(uint64_t value) { bigEndian(value, 8); }
    void id(uint32_t tag) { raw(&tag, sizeof tag); }
    void pointer(const void *address) { raw(&address, sizeof address); }

    // Where the next byte goes; with patchU4 a count written before the
    // bytes it counts.
    size_t size() const { return bytes_.size(); }
    void patchU4(size_t offset, uint32_t value) {
        for (int i = 0; i < 4; ++i) bytes_[offset + i] = static_cast<char>(value >> (24 - 8 * i) & 0xFF);
    }

    char *begin() { return bytes_.data(); }
    char *end() { return bytes_.data() + bytes_.size(); }

private:
    void bigEndian(uint64_t value, int width) {
        for (int shift = 8 * (width - 1); shift >= 0; shift -= 8) u1(static_cast<uint32_t>(value >> shift));
    }
    void raw(const void *value, size_t width) {
        const char *from = static_cast<const char *>(value);
        bytes_.insert(bytes_.end(), from, from + width);
    }

    std::vector<char> bytes_;
};
