// The hash tables and their key functions: any initial size, growth, shadowed
// keys, removal inside one chain, extra value words, entry recycling and
// iteration; equal contents are equal keys whatever the address (wide strings
// also need the same length and order); ZVIntTable refuses key 0 and finds
// duplicates in insertion order.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "support/containers.h"
#include "support/heap.h"

namespace {

// Every key lands in one chain.
uint32_t sameHash(ZVWord) { return 7; }

ZVWord word(const void *pointer) { return reinterpret_cast<ZVWord>(pointer); }

}  // namespace

TEST(HashTable, AnyInitialSizeGrowsAndFindsEveryKey) {
    std::vector<std::string> names;
    for (int i = 0; i < 20000; i++) names.push_back("key-" + std::to_string(i * 31));
    for (int initial : {-5, 0, 9, INT32_MAX}) {
        ZVHashTable *ints = ZVHashNew(initial, nullptr, nullptr, "ints", 1);
        ZVHashTable *strings = ZVHashNew(initial, ZVStringHash, ZVStringEquals, "strings", 0);
        int n = initial == 0 ? 100000 : 3000;
        for (int i = 0; i < n; i++) {
            ASSERT_EQ(ZVHashPut(ints, i * 7919L, i, -i), i + 1);
            if (i < 20000) ZVHashPut(strings, reinterpret_cast<ZVWord>(names[i].c_str()), i + 1);
        }
        for (int i = 0; i < n; i++) {
            ZVWord value = -1, value2 = -1;
            ZVHashGet(ints, i * 7919L, &value, &value2);
            ASSERT_TRUE(value == i && value2 == -i) << i;
            if (i >= 20000) continue;
            std::string probe = names[i];  // equal bytes at another address
            ASSERT_EQ(ZVHashGet(strings, reinterpret_cast<ZVWord>(probe.c_str())), i + 1);
        }
        EXPECT_EQ(ZVHashGet(ints, 1), 0);
        EXPECT_EQ(ZVHashGet(strings, reinterpret_cast<ZVWord>("key-1")), 0);
        ZVHashFree(ints);
        ZVHashFree(strings);
    }
}

TEST(HashTable, DuplicateKeyShadowsOlderEntryUntilRemoved) {
    ZVHashTable *table = ZVHashNew(0, nullptr, nullptr, nullptr, 0);
    EXPECT_EQ(ZVHashPut(table, 42, 1), 1);
    EXPECT_EQ(ZVHashPut(table, 42, 2), 2);
    EXPECT_EQ(ZVHashGet(table, 42), 2);
    ZVHashRemove(table, 42);
    EXPECT_EQ(ZVHashGet(table, 42), 1);
    ZVHashRemove(table, 42);
    ZVHashRemove(table, 42);
    EXPECT_EQ(table->count, 0);
    EXPECT_EQ(ZVHashGet(table, 42), 0);
    ZVHashFree(table);
}

// All keys in one chain, through growth, removal at its head, middle and
// tail, lookups that reorder it, and reuse of the removed entries.
TEST(HashTable, OneLongChainSurvivesRemovalsLookupsAndReuse) {
    ZVHashTable *table = ZVHashNew(0, sameHash, nullptr, nullptr, 0);
    std::set<ZVWord> present;
    for (int key = 1; key <= 300; key++) {
        ZVHashPut(table, key, key * 100);
        present.insert(key);
    }
    for (int round = 0; round < 3; round++) {
        for (int key : {6, 300, 1, 150, 9999}) {
            ZVHashRemove(table, key);
            present.erase(key);
        }
        for (int key : {2, 5, 9, 2, 3, 7}) EXPECT_EQ(ZVHashGet(table, key), key * 100);
        for (int key = 1; key <= 300; key++)
            ASSERT_EQ(ZVHashGet(table, key), present.count(key) ? key * 100 : 0) << key;
        for (int key : {6, 300, 1, 150}) {
            ZVHashPut(table, key, key * 100);
            present.insert(key);
        }
    }
    EXPECT_EQ(table->count, 300);
    ZVHashFree(table);
}

TEST(HashTable, ValueWordsFollowExtraValuesAndMissesGiveZeros) {
    ZVHashTable *wide = ZVHashNew(0, nullptr, nullptr, nullptr, 7);   // clamped to 2
    ZVHashTable *narrow = ZVHashNew(0, nullptr, nullptr, nullptr, -1);  // clamped to 0
    for (int key = 1; key < 300; key++) {
        ZVHashPut(wide, key, key, key + 1, key + 2);
        ZVHashPut(narrow, key, key, key + 1, key + 2);
    }
    ZVWord value = 9, value2 = 9, value3 = 9;
    ZVHashGet(wide, 299, &value, &value2, &value3);
    EXPECT_EQ(std::vector<ZVWord>({value, value2, value3}), std::vector<ZVWord>({299, 300, 301}));
    ZVHashGet(narrow, 299, &value, &value2, &value3);
    EXPECT_EQ(std::vector<ZVWord>({value, value2, value3}), std::vector<ZVWord>({299, 0, 0}));
    value = value2 = value3 = 9;
    ZVHashGet(wide, 1000, &value, &value2, &value3);
    EXPECT_EQ(std::vector<ZVWord>({value, value2, value3}), std::vector<ZVWord>({0, 0, 0}));
    ZVHashFree(wide);
    ZVHashFree(narrow);
}

TEST(HashIterator, VisitsEveryEntryOnceThenEnds) {
    ZVHashTable *table = ZVHashNew(0, nullptr, nullptr, nullptr, 2);
    EXPECT_EQ(ZVHashIterate(nullptr), nullptr);
    EXPECT_EQ(ZVHashNext(ZVHashIterate(table)), nullptr);
    for (int key = 1; key <= 5000; key++) ZVHashPut(table, key, key * 2, key * 3, key * 4);
    ZVHashPut(table, 77, 154, 231, 308);  // a shadowed duplicate is an entry too
    std::multiset<ZVWord> seen;
    for (ZVHashIterator *it = ZVHashNext(ZVHashIterate(table)); it != nullptr; it = ZVHashNext(it)) {
        seen.insert(it->key);
        ASSERT_TRUE(it->value == it->key * 2 && it->value2 == it->key * 3 && it->value3 == it->key * 4);
    }
    EXPECT_EQ(seen.size(), 5001u);
    EXPECT_EQ(seen.count(77), 2u);
    sFree(ZVHashNext(ZVHashIterate(table)));  // stopping early: the caller releases it
    ZVHashFree(table);
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

TEST(IntTable, AnySizeHoldsManyKeysThroughRemovalsAndReuse) {
    for (int size : {-1, 0, 3, 1024, INT32_MAX}) {
        ZVIntTable *table = ZVIntTableNew(size, nullptr);
        const ZVWord n = size == 1024 ? 100000 : 2000;
        for (ZVWord key = 1; key <= n; key++) ZVIntTablePut(table, key * 3, -key);
        for (ZVWord key = 1; key <= n; key += 2) ZVIntTableRemove(table, key * 3);
        EXPECT_EQ(table->count, n / 2);
        for (ZVWord key = 1; key <= n; key += 4) ZVIntTablePut(table, key * 3, key);  // into freed slots
        for (ZVWord key = 1; key <= n; key++)
            ASSERT_EQ(ZVIntTableGet(table, key * 3), key % 4 == 1 ? key : key % 2 ? 0 : -key) << size;
        ZVIntTableFree(table);
    }
}

TEST(IntTable, KeyZeroIsRefusedAndDuplicatesAreFoundInChainOrder) {
    ZVIntTable *table = ZVIntTableNew(4, nullptr);
    ZVIntTablePut(table, 0, 5);
    ZVIntTablePut(table, 9, 1);
    ZVIntTablePut(table, 9, 2);
    ZVIntTableRemove(table, 0);
    EXPECT_EQ(table->count, 2);
    EXPECT_EQ(ZVIntTableGet(table, 0), 0);
    EXPECT_EQ(ZVIntTableGet(table, 9), 1);
    ZVIntTableRemove(table, 9);
    EXPECT_EQ(ZVIntTableGet(table, 9), 2);
    ZVIntTableFree(table);
}
