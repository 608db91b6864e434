// Key functions: byte-string and counted wide-string hashing and equality.
#include <gtest/gtest.h>

#include <vector>

#include "support/containers.h"

namespace {

ZVWord word(const void *pointer) { return reinterpret_cast<ZVWord>(pointer); }

}  // namespace

TEST(StringKeys, HashXorsSignExtendedBytesAndEqualityComparesContent) {
    EXPECT_EQ(ZVStringHash(0), 0u);
    EXPECT_EQ(ZVStringHash(word("")), 0u);
    EXPECT_EQ(ZVStringHash(word("abcde")), 97u ^ (98u << 1) ^ (99u << 2) ^ (100u << 3) ^ 101u);
    EXPECT_EQ(ZVStringHash(word("a\x80")), 97u ^ (0xFFFFFF80u << 1));
    char copy[] = "hello";
    EXPECT_EQ(ZVStringEquals(word("hello"), word(copy)), 1);
    EXPECT_EQ(ZVStringEquals(word("hell"), word("hello")), 0);
    EXPECT_EQ(ZVStringEquals(0, 0), 1);
    EXPECT_EQ(ZVStringEquals(word("x"), 0), 0);
}

TEST(WideStringKeys, HashIsASumComputedOnceAndCached) {
    std::vector<uint16_t> units{0xFFFF, 0xFFFF, 2};
    ZVWideString text{units.data(), 3, 0};
    EXPECT_EQ(ZVWideStringHash(word(&text)), 0x20000u);
    units[2] = 9;
    EXPECT_EQ(ZVWideStringHash(word(&text)), 0x20000u);
    EXPECT_EQ(ZVWideStringHash(0), 0u);
}

TEST(WideStringKeys, EqualityNeedsLengthHashAndUnits) {
    std::vector<uint16_t> ab{'a', 'b'}, ab2{'a', 'b'}, ba{'b', 'a'}, abc{'a', 'b', 'c'};
    ZVWideString a{ab.data(), 2, 0}, a2{ab2.data(), 2, 0}, b{ba.data(), 2, 0}, c{abc.data(), 3, 0};
    ZVWideStringHash(word(&a));
    EXPECT_EQ(ZVWideStringEquals(word(&a), word(&a2)), 1);  // a2's hash not yet computed
    EXPECT_EQ(ZVWideStringEquals(word(&a), word(&b)), 0);   // same sum, other order
    EXPECT_EQ(ZVWideStringEquals(word(&a), word(&c)), 0);
    EXPECT_EQ(ZVWideStringEquals(word(&a), 0), 0);
    ZVWideString empty1{nullptr, 0, 0}, empty2{nullptr, 0, 0};
    EXPECT_EQ(ZVWideStringEquals(word(&empty1), word(&empty2)), 1);
    // Records extended behind the three fields work as table keys.
    struct ClassKey {
        ZVWideString name;
        ZVWord classWord;
    } stored{{ab.data(), 2, 0}, 11}, probe{{ab2.data(), 2, 0}, 22};
    ZVHashTable *table = ZVHashNew(0, ZVWideStringHash, ZVWideStringEquals, "wide", 0);
    ZVHashPut(table, word(&stored), 5);
    EXPECT_EQ(ZVHashGet(table, word(&probe)), 5);
    ZVHashFree(table);
}
