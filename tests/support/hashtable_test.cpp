// The hash tables: any initial size, growth, shadowed keys, removal inside
// one chain and entry recycling; equal strings are equal keys whatever the
// address.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "support/containers.h"
#include "support/heap.h"

namespace {

// Every key lands in one chain.
uint32_t sameHash(ZVWord) { return 7; }

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

