// Key functions: equal contents hash alike and compare equal, whatever the
// address; wide strings also need the same length and order.
#include <gtest/gtest.h>

#include <vector>

#include "support/containers.h"

namespace {

ZVWord word(const void *pointer) { return reinterpret_cast<ZVWord>(pointer); }

}  // namespace

TEST(StringKeys, EqualContentsAreEqualKeys) {
    char copy[] = "hello";
    EXPECT_EQ(ZVStringHash(word("hello")), ZVStringHash(word(copy)));
    EXPECT_EQ(ZVStringHash(0), 0u);
    EXPECT_EQ(ZVStringEquals(word("hello"), word(copy)), 1);
    EXPECT_EQ(ZVStringEquals(word("hell"), word("hello")), 0);
    EXPECT_EQ(ZVStringEquals(0, 0), 1);
    EXPECT_EQ(ZVStringEquals(word("x"), 0), 0);
}

TEST(WideStringKeys, EqualityNeedsLengthAndUnitsAndRecordsCanExtendTheKey) {
    std::vector<uint16_t> ab{'a', 'b'}, ab2{'a', 'b'}, ba{'b', 'a'}, abc{'a', 'b', 'c'};
    ZVWideString a{ab.data(), 2, 0}, a2{ab2.data(), 2, 0}, b{ba.data(), 2, 0}, c{abc.data(), 3, 0};
    EXPECT_EQ(ZVWideStringHash(word(&a)), ZVWideStringHash(word(&a2)));
    EXPECT_EQ(ZVWideStringHash(0), 0u);
    EXPECT_EQ(ZVWideStringEquals(word(&a), word(&a2)), 1);
    EXPECT_EQ(ZVWideStringEquals(word(&a), word(&b)), 0);  // same units, other order
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
