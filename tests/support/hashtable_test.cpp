// ZVHashTable: sizing, growth, shadowed keys, chain surgery, entry recycling
// and iteration.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "support/containers.h"
#include "support/heap.h"

namespace {

struct TableDeleter {
    void operator()(ZVHashTable *table) const { ZVHashFree(table); }
};
using TablePtr = std::unique_ptr<ZVHashTable, TableDeleter>;

// Every key lands in one chain, so chain order is observable.
uint32_t sameHash(ZVWord) { return 7; }

std::vector<ZVWord> chainKeys(const ZVHashTable *table, uint32_t hash) {
    std::vector<ZVWord> keys;
    uint32_t bucket = (hash * 0x9E3779B9u) >> table->shift;
    for (ZVHashEntry *entry = table->buckets[bucket]; entry != nullptr; entry = entry->next) keys.push_back(entry->key);
    return keys;
}

int chunkCount(const ZVHashTable *table) {
    int chunks = 0;
    for (ZVHashChunk *chunk = table->chunkList; chunk != nullptr; chunk = chunk->next) chunks++;
    return chunks;
}

}  // namespace

TEST(HashTable, InitialSizeChoosesPowerOfTwoBucketsOfAtLeastEight) {
    for (auto [initial, buckets] : std::vector<std::pair<int, int>>{
             {-5, 8}, {0, 8}, {1, 8}, {8, 8}, {9, 16}, {16, 16}, {17, 32}, {1024, 1024}, {1025, 2048}}) {
        TablePtr table(ZVHashNew(initial, nullptr, nullptr, nullptr, 0));
        ASSERT_NE(table, nullptr);
        EXPECT_EQ(table->bucketCount, buckets) << initial;
        EXPECT_EQ(1u << (32 - table->shift), static_cast<uint32_t>(buckets));
        EXPECT_STREQ(table->name, "noname");
        EXPECT_EQ(table->flags, 1u);
    }
    // A huge initial size is capped instead of overflowing the bucket array size.
    TablePtr huge(ZVHashNew(INT32_MAX, nullptr, nullptr, "huge", 0));
    ASSERT_NE(huge, nullptr);
    EXPECT_STREQ(huge->name, "huge");
    EXPECT_LE(huge->bucketCount, 1 << 24);
    EXPECT_EQ(ZVHashPut(huge.get(), 5, 6), 1);
    EXPECT_EQ(ZVHashGet(huge.get(), 5), 6);
}

TEST(HashTable, SeventeenthEntryGrowsEightBucketsToSixteen) {
    TablePtr table(ZVHashNew(0, nullptr, nullptr, "t", 0));
    for (int key = 1; key <= 16; key++) EXPECT_EQ(ZVHashPut(table.get(), key, key * 10), key);
    EXPECT_EQ(table->bucketCount, 8);
    EXPECT_EQ(ZVHashPut(table.get(), 17, 170), 17);
    EXPECT_EQ(table->bucketCount, 16);
    EXPECT_EQ(table->shift, 28u);
    for (int key = 1; key <= 17; key++) EXPECT_EQ(ZVHashGet(table.get(), key), key * 10);
}

TEST(HashTable, GrowthRebuildsChainsReversed) {
    TablePtr table(ZVHashNew(0, sameHash, nullptr, "t", 0));
    for (int key = 1; key <= 16; key++) ZVHashPut(table.get(), key, 0);
    EXPECT_EQ(chainKeys(table.get(), 7), (std::vector<ZVWord>{16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1}));
    ZVHashPut(table.get(), 17, 0);
    EXPECT_EQ(chainKeys(table.get(), 7),
              (std::vector<ZVWord>{17, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}));
}

TEST(HashTable, HundredThousandIntegerKeysAllFoundAfterGrowth) {
    TablePtr table(ZVHashNew(0, nullptr, nullptr, "ints", 1));
    const int n = 100000;
    for (int i = 0; i < n; i++) ASSERT_EQ(ZVHashPut(table.get(), i * 7919L, i, -i), i + 1);
    EXPECT_EQ(table->count, n);
    EXPECT_LT(table->count, 2 * table->bucketCount + 1);
    for (int i = 0; i < n; i++) {
        ZVWord value = -1, value2 = -1;
        ZVHashGet(table.get(), i * 7919L, &value, &value2);
        ASSERT_EQ(value, i);
        ASSERT_EQ(value2, -i);
    }
    EXPECT_EQ(ZVHashGet(table.get(), 1), 0);
}

TEST(HashTable, HundredThousandStringKeysAllFound) {
    std::vector<std::string> keys;
    for (int i = 0; i < 100000; i++) keys.push_back("key-" + std::to_string(i * 31));
    TablePtr table(ZVHashNew(16, ZVStringHash, ZVStringEquals, "strings", 0));
    for (size_t i = 0; i < keys.size(); i++) ZVHashPut(table.get(), reinterpret_cast<ZVWord>(keys[i].c_str()), i + 1);
    for (size_t i = 0; i < keys.size(); i++) {
        std::string probe = keys[i];  // a different pointer to equal bytes
        ASSERT_EQ(ZVHashGet(table.get(), reinterpret_cast<ZVWord>(probe.c_str())), static_cast<ZVWord>(i + 1));
    }
    EXPECT_EQ(ZVHashGet(table.get(), reinterpret_cast<ZVWord>("key-1")), 0);
}

TEST(HashTable, DuplicateKeyShadowsOlderEntryUntilRemoved) {
    TablePtr table(ZVHashNew(0, nullptr, nullptr, nullptr, 0));
    EXPECT_EQ(ZVHashPut(table.get(), 42, 1), 1);
    EXPECT_EQ(ZVHashPut(table.get(), 42, 2), 2);
    EXPECT_EQ(ZVHashGet(table.get(), 42), 2);
    ZVHashRemove(table.get(), 42);
    EXPECT_EQ(table->count, 1);
    EXPECT_EQ(ZVHashGet(table.get(), 42), 1);
    ZVHashRemove(table.get(), 42);
    ZVHashRemove(table.get(), 42);
    EXPECT_EQ(table->count, 0);
    EXPECT_EQ(ZVHashGet(table.get(), 42), 0);
}

TEST(HashTable, RemovalAtHeadMiddleAndTailOfOneChain) {
    TablePtr table(ZVHashNew(64, sameHash, nullptr, nullptr, 0));
    for (int key = 1; key <= 6; key++) ZVHashPut(table.get(), key, key * 100);
    table->flags = 0;  // keep the chain order fixed: 6 5 4 3 2 1
    ZVHashRemove(table.get(), 6);
    ZVHashRemove(table.get(), 3);
    ZVHashRemove(table.get(), 1);
    ZVHashRemove(table.get(), 99);
    EXPECT_EQ(chainKeys(table.get(), 7), (std::vector<ZVWord>{5, 4, 2}));
    EXPECT_EQ(table->count, 3);
    for (int key : {2, 4, 5}) EXPECT_EQ(ZVHashGet(table.get(), key), key * 100);
    for (int key : {1, 3, 6}) EXPECT_EQ(ZVHashGet(table.get(), key), 0);
}

TEST(HashTable, MoveToFrontReordersWithoutLosingEntries) {
    TablePtr table(ZVHashNew(0, sameHash, nullptr, nullptr, 0));
    for (int key = 1; key <= 10; key++) ZVHashPut(table.get(), key, key);
    for (int key : {1, 5, 10, 1, 3, 3, 7, 2}) {
        EXPECT_EQ(ZVHashGet(table.get(), key), key);
        EXPECT_EQ(chainKeys(table.get(), 7).front(), key);
    }
    std::vector<ZVWord> keys = chainKeys(table.get(), 7);
    EXPECT_EQ(std::set<ZVWord>(keys.begin(), keys.end()).size(), 10u);
    EXPECT_EQ(keys.size(), 10u);
    ZVWord value = 0, value2 = 5;
    ZVHashGet(table.get(), 4, &value, &value2);
    EXPECT_EQ(chainKeys(table.get(), 7).front(), 4);
    EXPECT_EQ(value2, 0);  // the table holds no second value
}

TEST(HashTable, MissWithOutputsSetsThemToZero) {
    TablePtr table(ZVHashNew(0, nullptr, nullptr, nullptr, 2));
    ZVHashPut(table.get(), 1, 10, 20, 30);
    ZVWord value = 9, value2 = 9, value3 = 9;
    ZVHashGet(table.get(), 2, &value, &value2, &value3);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(value2, 0);
    EXPECT_EQ(value3, 0);
    ZVHashGet(table.get(), 1, &value, &value2, &value3);
    EXPECT_EQ(value, 10);
    EXPECT_EQ(value2, 20);
    EXPECT_EQ(value3, 30);
    ZVHashGet(table.get(), 1, nullptr, nullptr, &value3);
    EXPECT_EQ(value3, 30);
}

TEST(HashTable, EntriesComeFromChunksOf128AndRemovedOnesAreReused) {
    TablePtr table(ZVHashNew(0, nullptr, nullptr, nullptr, 2));
    for (int key = 1; key <= 128; key++) ZVHashPut(table.get(), key, key);
    EXPECT_EQ(chunkCount(table.get()), 1);
    ZVHashRemove(table.get(), 50);
    ZVHashRemove(table.get(), 60);
    ZVHashPut(table.get(), 1000, 1, 2, 3);
    ZVHashPut(table.get(), 1001, 4, 5, 6);
    EXPECT_EQ(chunkCount(table.get()), 1);
    EXPECT_EQ(table->freeList, nullptr);
    ZVHashPut(table.get(), 1002, 7);
    EXPECT_EQ(chunkCount(table.get()), 2);
    ZVWord value = 0, value2 = 0, value3 = 0;
    ZVHashGet(table.get(), 1001, &value, &value2, &value3);
    EXPECT_EQ(value + value2 + value3, 15);
    for (int key = 1; key <= 128; key++) {
        if (key != 50 && key != 60) {
            ASSERT_EQ(ZVHashGet(table.get(), key), key);
        }
    }
}

TEST(HashTable, OutOfRangeExtraValuesAreClamped) {
    TablePtr wide(ZVHashNew(0, nullptr, nullptr, nullptr, 7));
    TablePtr narrow(ZVHashNew(0, nullptr, nullptr, nullptr, -1));
    EXPECT_EQ(wide->extraValues, 2u);
    EXPECT_EQ(narrow->extraValues, 0u);
    for (int key = 1; key < 300; key++) {
        ZVHashPut(wide.get(), key, key, key + 1, key + 2);
        ZVHashPut(narrow.get(), key, key, key + 1, key + 2);
    }
    ZVWord value = 0, value2 = 0, value3 = 0;
    ZVHashGet(wide.get(), 299, &value, &value2, &value3);
    EXPECT_EQ(value3, 301);
    ZVHashGet(narrow.get(), 299, &value, &value2, &value3);
    EXPECT_EQ(value, 299);
    EXPECT_EQ(value3, 0);
}

TEST(HashIterator, EmptyTableEndsAtOnce) {
    TablePtr table(ZVHashNew(0, nullptr, nullptr, nullptr, 0));
    EXPECT_EQ(ZVHashIterate(nullptr), nullptr);
    ZVHashIterator *iterator = ZVHashIterate(table.get());
    ASSERT_NE(iterator, nullptr);
    EXPECT_EQ(iterator->bucket, -1);
    EXPECT_EQ(ZVHashNext(iterator), nullptr);
    // Emptied by removal: still nothing to visit.
    ZVHashPut(table.get(), 3, 4);
    ZVHashRemove(table.get(), 3);
    EXPECT_EQ(ZVHashNext(ZVHashIterate(table.get())), nullptr);
}

TEST(HashIterator, VisitsEveryEntryOnceWithAllValues) {
    TablePtr table(ZVHashNew(0, nullptr, nullptr, nullptr, 2));
    const int n = 5000;
    for (int key = 1; key <= n; key++) ZVHashPut(table.get(), key, key * 2, key * 3, key * 4);
    ZVHashPut(table.get(), 77, -1, -2, -3);  // a shadowed duplicate is still an entry
    std::multiset<ZVWord> seen;
    int states = 0;
    for (ZVHashIterator *it = ZVHashNext(ZVHashIterate(table.get())); it != nullptr; it = ZVHashNext(it)) {
        states++;
        seen.insert(it->key);
        if (it->value < 0) {
            EXPECT_EQ(it->value2, -2);
            EXPECT_EQ(it->value3, -3);
        } else {
            EXPECT_EQ(it->value, it->key * 2);
            EXPECT_EQ(it->value2, it->key * 3);
            EXPECT_EQ(it->value3, it->key * 4);
        }
    }
    EXPECT_EQ(states, table->count);
    EXPECT_EQ(seen.size(), static_cast<size_t>(n + 1));
    EXPECT_EQ(seen.count(77), 2u);
}

TEST(HashIterator, CallerMayStopEarlyAndReleaseIt) {
    TablePtr table(ZVHashNew(0, nullptr, nullptr, nullptr, 0));
    ZVHashPut(table.get(), 1, 2);
    ZVHashPut(table.get(), 3, 4);
    ZVHashIterator *iterator = ZVHashNext(ZVHashIterate(table.get()));
    ASSERT_NE(iterator, nullptr);
    sFree(iterator);
}
