// The agent's UTF-8 form: round trips, malformed and truncated input,
// comparison and widening.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "support/heap.h"
#include "support/text.h"

TEST(Utf8, EveryUnitRoundTripsWithTheDesignedLength) {
    for (uint32_t u = 0; u <= 0xFFFF; u++) {
        char bytes[4] = {};
        char *end = Utf8EncodeUnit(bytes, static_cast<uint16_t>(u));
        ptrdiff_t expected = (u >= 1 && u <= 0x7F) ? 1 : (u <= 0x7FF ? 2 : 3);
        ASSERT_EQ(end - bytes, expected) << u;
        ASSERT_EQ(memchr(bytes, 0, static_cast<size_t>(expected)), nullptr) << u;
        uint16_t unit = 0xFFFF;
        ASSERT_EQ(Utf8DecodeChar(bytes, &unit), end) << u;
        ASSERT_EQ(unit, u);
    }
}

TEST(Utf8, UnitZeroIsTwoBytes) {
    char bytes[4] = {};
    Utf8EncodeUnit(bytes, 0);
    EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0xC0);
    EXPECT_EQ(static_cast<unsigned char>(bytes[1]), 0x80);
}

TEST(Utf8, MalformedBytesDecodeAsTheirOwnValue) {
    struct Case {
        const char *text;
        uint16_t unit;
        int length;
    } cases[] = {
        {"\x80x", 0x80, 1},          // stray continuation byte
        {"\xF0\x90\x80\x80", 0xF0, 1},  // four-byte lead
        {"\xC3x", 0xC3, 1},          // lead without continuation
        {"\xE2\x82x", 0xE2, 1},      // three-byte lead, second continuation missing
        {"\xFF", 0xFF, 1},
    };
    for (const Case &c : cases) {
        uint16_t unit = 0;
        EXPECT_EQ(Utf8DecodeChar(c.text, &unit) - c.text, c.length) << c.text;
        EXPECT_EQ(unit, c.unit);
    }
}

TEST(Utf8, TruncatedSequenceAtEndStopsAtTerminator) {
    // Heap copies so that ASan catches any read past the NUL.
    for (const char *text : {"\xC3", "\xE2", "\xE2\x82"}) {
        char *copy = sStrdup(text);
        uint16_t unit = 0;
        const char *p = copy;
        int units = 0;
        while (*p != '\0') {
            p = Utf8DecodeChar(p, &unit);
            units++;
        }
        EXPECT_EQ(p, copy + strlen(copy));
        EXPECT_EQ(units, static_cast<int>(strlen(copy)));
        EXPECT_EQ(Utf8Length(copy), units);
        sFree(copy);
    }
}

TEST(Utf8, WideConversionsRoundTrip) {
    const uint16_t units[] = {'a', 0, 0xE9, 0x20AC, 0xD800, 0xFFFF};
    char bytes[sizeof units / 2 * 3 + 1];
    WideToUtf8(units, 6, bytes);
    EXPECT_EQ(strlen(bytes), 1u + 2 + 2 + 3 + 3 + 3);
    EXPECT_EQ(Utf8Length(bytes), 6);
    uint16_t back[6];
    Utf8ToWide(bytes, back, 6);
    EXPECT_EQ(memcmp(back, units, sizeof units), 0);
}

TEST(Utf8, ToWideFillsMissingUnitsWithZero) {
    uint16_t units[4] = {9, 9, 9, 9};
    Utf8ToWide("ab", units, 4);
    EXPECT_EQ(units[1], 'b');
    EXPECT_EQ(units[2], 0);
    EXPECT_EQ(units[3], 0);
}

TEST(Utf8, CompareOrdersByUnitValue) {
    EXPECT_EQ(CompareUtf8("abc", "abc"), 0);
    EXPECT_LT(CompareUtf8("ab", "abc"), 0);
    EXPECT_GT(CompareUtf8("abc", "ab"), 0);
    // U+00E9 (two bytes) sorts before U+20AC (three bytes); 'z' before both.
    EXPECT_LT(CompareUtf8("\xC3\xA9", "\xE2\x82\xAC"), 0);
    EXPECT_LT(CompareUtf8("z", "\xC3\xA9"), 0);
    // An encoded unit 0 sorts below 'a' but does not end the text.
    EXPECT_LT(CompareUtf8("\xC0\x80", "a"), 0);
    EXPECT_NE(CompareUtf8("a\xC0\x80x", "a\xC0\x80y"), 0);
}

TEST(Utf8, NarrowToWideWidensBytesUnsigned) {
    EXPECT_EQ(NarrowToWide(nullptr), nullptr);
    uint16_t *wide = NarrowToWide("a\xE9");
    ASSERT_NE(wide, nullptr);
    EXPECT_EQ(wide[0], 'a');
    EXPECT_EQ(wide[1], 0xE9);
    EXPECT_EQ(wide[2], 0);
    sFree(wide);
}
