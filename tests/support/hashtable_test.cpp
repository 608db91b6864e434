// ZVHashTable: sizing, growth, shadowed keys, chain surgery, entry recycling
// and iteration.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "support/containers.h"
#include "support/heap.h"

namespace {

// Every key lands in one chain, so chain order is observable.
uint32_t sameHash(ZVWord) { return 7; }

std::vector<ZVWord> chain(const ZVHashTable *table) {
    std::vector<ZVWord> keys;
    for (ZVHashEntry *entry = table->buckets[(7 * 0x9E3779B9u) >> table->shift]; entry; entry = entry->next) {
        keys.push_back(entry->key);
    }
    return keys;
}

int chunks(const ZVHashTable *table) {
    int count = 0;
    for (ZVHashChunk *chunk = table->chunkList; chunk != nullptr; chunk = chunk->next) count++;
    return count;
}

}  // namespace

TEST(HashTable, InitialSizeChoosesPowerOfTwoBucketsOfAtLeastEight) {
    for (auto [initial, buckets] : std::vector<std::pair<int, int>>{
             {-5, 8}, {0, 8}, {1, 8}, {8, 8}, {9, 16}, {1024, 1024}, {1025, 2048}, {INT32_MAX, 1 << 24}}) {
        ZVHashTable *table = ZVHashNew(initial, nullptr, nullptr, nullptr, 0);
        EXPECT_EQ(table->bucketCount, buckets) << initial;
        EXPECT_EQ(1u << (32 - table->shift), static_cast<uint32_t>(buckets));
        EXPECT_EQ(ZVHashPut(table, 5, 6), 1);
        EXPECT_EQ(ZVHashGet(table, 5), 6);
        ZVHashFree(table);
    }
}

TEST(HashTable, SeventeenthEntryGrowsToSixteenBucketsReversingChains) {
    ZVHashTable *table = ZVHashNew(0, sameHash, nullptr, "t", 0);
    for (int key = 1; key <= 16; key++) EXPECT_EQ(ZVHashPut(table, key, key * 10), key);
    EXPECT_EQ(table->bucketCount, 8);
    EXPECT_EQ(chain(table), (std::vector<ZVWord>{16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1}));
    EXPECT_EQ(ZVHashPut(table, 17, 170), 17);
    EXPECT_EQ(table->bucketCount, 16);
    EXPECT_EQ(chain(table), (std::vector<ZVWord>{17, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}));
    for (int key = 1; key <= 17; key++) EXPECT_EQ(ZVHashGet(table, key), key * 10);
    ZVHashFree(table);
}

TEST(HashTable, HundredThousandKeysAllFoundAfterGrowth) {
    std::vector<std::string> names;
    // The byte-string hash has a narrow range, so string chains run long: fewer of those.
    for (int i = 0; i < 20000; i++) names.push_back("key-" + std::to_string(i * 31));
    ZVHashTable *ints = ZVHashNew(0, nullptr, nullptr, "ints", 1);
    ZVHashTable *strings = ZVHashNew(16, ZVStringHash, ZVStringEquals, "strings", 0);
    for (int i = 0; i < 100000; i++) {
        ASSERT_EQ(ZVHashPut(ints, i * 7919L, i, -i), i + 1);
        if (i < 20000) ZVHashPut(strings, reinterpret_cast<ZVWord>(names[i].c_str()), i + 1);
    }
    EXPECT_EQ(ints->bucketCount, 65536);
    for (int i = 0; i < 100000; i++) {
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

TEST(HashTable, RemovalAndMoveToFrontInsideOneChain) {
    ZVHashTable *table = ZVHashNew(64, sameHash, nullptr, nullptr, 0);
    for (int key = 1; key <= 10; key++) ZVHashPut(table, key, key * 100);
    for (int key : {6, 10, 1, 99}) ZVHashRemove(table, key);  // middle, head, tail, missing
    EXPECT_EQ(chain(table), (std::vector<ZVWord>{9, 8, 7, 5, 4, 3, 2}));
    for (int key : {2, 5, 9, 2, 3, 7}) {
        EXPECT_EQ(ZVHashGet(table, key), key * 100);
        EXPECT_EQ(chain(table).front(), key);
    }
    std::vector<ZVWord> keys = chain(table);
    EXPECT_EQ(std::set<ZVWord>(keys.begin(), keys.end()), (std::set<ZVWord>{2, 3, 4, 5, 7, 8, 9}));
    EXPECT_EQ(keys.size(), 7u);
    EXPECT_EQ(table->count, 7);
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

TEST(HashTable, EntriesComeFromChunksOf128AndRemovedOnesAreReused) {
    ZVHashTable *table = ZVHashNew(0, nullptr, nullptr, nullptr, 2);
    for (int key = 1; key <= 128; key++) ZVHashPut(table, key, key);
    ZVHashRemove(table, 50);
    ZVHashRemove(table, 60);
    ZVHashPut(table, 1000, 1);
    ZVHashPut(table, 1001, 2);
    EXPECT_EQ(chunks(table), 1);
    ZVHashPut(table, 1002, 3);
    EXPECT_EQ(chunks(table), 2);
    for (int key = 1; key <= 128; key++) EXPECT_EQ(ZVHashGet(table, key), key == 50 || key == 60 ? 0 : key);
    EXPECT_EQ(ZVHashGet(table, 1001), 2);
    ZVHashFree(table);
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
