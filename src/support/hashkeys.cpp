// Hash and equality functions for hash tables keyed by C strings and by
// counted 16-bit strings.
#include <cstdint>
#include <cstring>

#include "support/containers.h"

uint32_t ZVStringHash(ZVWord string) {
    const auto *bytes = reinterpret_cast<const signed char *>(string);
    if (bytes == nullptr) return 0;
    uint32_t hash = 0;
    for (uint32_t position = 0; bytes[position] != 0; position++) {
        // Bytes above 127 contribute their sign-extended value.
        hash ^= static_cast<uint32_t>(static_cast<int32_t>(bytes[position])) << (position & 3);
    }
    return hash;
}

int ZVStringEquals(ZVWord a, ZVWord b) {
    if (a == b) return 1;
    if (a == 0 || b == 0) return 0;
    return std::strcmp(reinterpret_cast<const char *>(a), reinterpret_cast<const char *>(b)) == 0 ? 1 : 0;
}

uint32_t ZVWideStringHash(ZVWord wideString) {
    auto *record = reinterpret_cast<ZVWideString *>(wideString);
    if (record == nullptr) return 0;
    if (record->hash != 0) return record->hash;
    uint32_t sum = 0;
    for (uint32_t i = 0; i < record->length; i++) sum += record->chars[i];
    record->hash = sum;
    return sum;
}

int ZVWideStringEquals(ZVWord a, ZVWord b) {
    if (a == b) return 1;
    if (a == 0 || b == 0) return 0;
    const auto *left = reinterpret_cast<const ZVWideString *>(a);
    const auto *right = reinterpret_cast<const ZVWideString *>(b);
    if (left->length != right->length) return 0;
    // A record whose hash was never computed still compares by content:
    // its cached word is filled first, so a stale 0 cannot hide a match.
    if (ZVWideStringHash(a) != ZVWideStringHash(b)) return 0;
    if (left->length == 0) return 1;
    return std::memcmp(left->chars, right->chars, left->length * sizeof(uint16_t)) == 0 ? 1 : 0;
}
