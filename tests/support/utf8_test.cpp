// The agent's UTF-8 form: round trips, malformed and truncated input and
// widening.
#include <gtest/gtest.h>

#include <cstring>

#include "support/heap.h"
#include "support/text.h"

TEST(Utf8, EveryUnitRoundTripsWithTheDesignedLength) {
    for (uint32_t u = 0; u <= 0xFFFF; u++) {
        char bytes[4] = {};
        char *end = Utf8EncodeUnit(bytes, static_cast<uint16_t>(u));
        ptrdiff_t expected = (u >= 1 && u <= 0x7F) ? 1 : (u <= 0x7FF ? 2 : 3);  // 0 is C0 80
        ASSERT_EQ(end - bytes, expected) << u;
        ASSERT_EQ(memchr(bytes, 0, static_cast<size_t>(expected)), nullptr) << u;
        uint16_t unit = 0xFFFF;
        ASSERT_EQ(Utf8DecodeChar(bytes, &unit), end) << u;
        ASSERT_EQ(unit, u);
    }
}

TEST(Utf8, MalformedAndTruncatedBytesDecodeAsTheirOwnValue) {
    // Heap copies, so that ASan catches a read past the terminator.
    for (const char *text : {"\x80", "\xF0\x90\x80\x80", "\xC3x", "\xE2\x82x", "\xFF", "\xC3", "\xE2", "\xE2\x82"}) {
        char *copy = sStrdup(text);
        const char *p = copy;
        while (*p != '\0') {
            uint16_t unit = 0;
            const char *next = Utf8DecodeChar(p, &unit);
            EXPECT_EQ(next, p + 1) << text;
            EXPECT_EQ(unit, static_cast<unsigned char>(*p));
            p = next;
        }
        EXPECT_EQ(Utf8Length(copy), static_cast<int>(strlen(copy)));
        sFree(copy);
    }
}

TEST(Utf8, WideConversionsRoundTripStopAtTheTerminatorAndWidenBytesUnsigned) {
    const uint16_t units[] = {'a', 0, 0xE9, 0x20AC, 0xD800, 0xFFFF};
    char bytes[6 * 3 + 1];
    WideToUtf8(units, 6, bytes);
    EXPECT_EQ(strlen(bytes), 1u + 2 + 2 + 3 + 3 + 3);
    EXPECT_EQ(Utf8Length(bytes), 6);
    uint16_t back[8];
    Utf8ToWide(bytes, back, 8);
    EXPECT_EQ(memcmp(back, units, sizeof units), 0);
    EXPECT_EQ(back[6] | back[7], 0);  // units past the text's end are 0
    EXPECT_EQ(NarrowToWide(nullptr), nullptr);
    uint16_t *wide = NarrowToWide("a\xE9");
    ASSERT_NE(wide, nullptr);
    EXPECT_EQ(wide[1], 0xE9);
    EXPECT_EQ(wide[2], 0);
    sFree(wide);
}

