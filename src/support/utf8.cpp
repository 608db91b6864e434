// The agent's UTF-8 form: 16-bit units in one to three bytes, unit 0 as
// 0xC0 0x80 so that encoded text never holds a NUL byte. Malformed bytes
// decode as units of their own value, so any byte string decodes.
#include <climits>
#include <cstring>

#include "support/heap.h"
#include "support/text.h"

namespace {

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

}  // namespace

// A NUL byte decodes as unit 0 and is stepped over like any other byte;
// a continuation byte is only read once the byte before it was a lead or
// continuation byte, so a sequence cut short by the terminator never reads
// past it.
const char *Utf8DecodeChar(const char *text, uint16_t *unit) {
    const auto *p = reinterpret_cast<const unsigned char *>(text);
    unsigned char lead = p[0];
    if ((lead & 0xE0) == 0xC0 && IsContinuation(p[1])) {
        *unit = static_cast<uint16_t>(((lead & 0x1F) << 6) | (p[1] & 0x3F));
        return text + 2;
    }
    if ((lead & 0xF0) == 0xE0 && IsContinuation(p[1]) && IsContinuation(p[2])) {
        *unit = static_cast<uint16_t>(((lead & 0x0F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F));
        return text + 3;
    }
    *unit = lead;
    return text + 1;
}

int Utf8Length(const char *text) {
    if (text == nullptr) return 0;
    int count = 0;
    uint16_t unit;
    while (*text != '\0') {
        text = Utf8DecodeChar(text, &unit);
        count++;
    }
    return count;
}

// Stops at the terminator: units the text does not have are written as 0.
void Utf8ToWide(const char *text, uint16_t *units, int count) {
    int i = 0;
    for (; i < count && text != nullptr && *text != '\0'; i++) text = Utf8DecodeChar(text, &units[i]);
    for (; i < count; i++) units[i] = 0;
}

char *Utf8EncodeUnit(char *bytes, uint16_t unit) {
    auto *out = reinterpret_cast<unsigned char *>(bytes);
    if (unit >= 1 && unit <= 0x7F) {
        out[0] = static_cast<unsigned char>(unit);
        return bytes + 1;
    }
    if (unit <= 0x7FF) {
        out[0] = static_cast<unsigned char>(0xC0 | (unit >> 6));
        out[1] = static_cast<unsigned char>(0x80 | (unit & 0x3F));
        return bytes + 2;
    }
    out[0] = static_cast<unsigned char>(0xE0 | (unit >> 12));
    out[1] = static_cast<unsigned char>(0x80 | ((unit >> 6) & 0x3F));
    out[2] = static_cast<unsigned char>(0x80 | (unit & 0x3F));
    return bytes + 3;
}

void WideToUtf8(const uint16_t *units, int count, char *bytes) {
    for (int i = 0; i < count; i++) bytes = Utf8EncodeUnit(bytes, units[i]);
    *bytes = '\0';
}

uint16_t *NarrowToWide(const char *text) {
    if (text == nullptr) return nullptr;
    size_t length = strlen(text);
    if (length >= INT_MAX / sizeof(uint16_t)) return nullptr;
    auto *units = static_cast<uint16_t *>(sMalloc(static_cast<int>((length + 1) * sizeof(uint16_t))));
    if (units == nullptr) return nullptr;
    for (size_t i = 0; i <= length; i++) units[i] = static_cast<unsigned char>(text[i]);
    return units;
}
