// ZVIntTable: sizing, overflow nodes, slot reuse and refused keys.
#include <gtest/gtest.h>

#include <vector>

#include "support/containers.h"

namespace {

uint32_t bucketOf(const ZVIntTable *table, ZVWord key) {
    return (static_cast<uint32_t>(key) * 0x9E3779B9u) >> table->shift;
}

}  // namespace

TEST(IntTable, SizeRoundsUpToPowerOfTwoWithAtLeastTwoBuckets) {
    for (auto [size, buckets] :
         std::vector<std::pair<int, int>>{{-1, 2}, {0, 2}, {1, 2}, {3, 4}, {5, 8}, {1024, 1024}, {INT32_MAX, 1 << 20}}) {
        ZVIntTable *table = ZVIntTableNew(size, nullptr);
        EXPECT_EQ(table->bucketCount, buckets) << size;
        EXPECT_EQ(1u << (32 - table->shift), static_cast<uint32_t>(buckets));
        ZVIntTablePut(table, 123456789, 5);
        EXPECT_EQ(ZVIntTableGet(table, 123456789), 5);
        ZVIntTableFree(table);
    }
}

TEST(IntTable, FifthKeyOfABucketGoesToAnOverflowNodeAndClearedSlotsAreReused) {
    ZVIntTable *table = ZVIntTableNew(16, "t");
    std::vector<ZVWord> keys;
    for (ZVWord key = 1; keys.size() < 7; key++) {
        if (bucketOf(table, key) == bucketOf(table, 1)) keys.push_back(key);
    }
    ZVIntNode *bucket = &table->buckets[bucketOf(table, 1)];
    for (int i = 0; i < 5; i++) ZVIntTablePut(table, keys[i], 100 + i);
    ASSERT_NE(bucket->next, nullptr);
    EXPECT_EQ(bucket->next->keys[0], keys[4]);
    for (int i = 0; i < 5; i++) EXPECT_EQ(ZVIntTableGet(table, keys[i]), 100 + i);
    ZVIntTableRemove(table, keys[2]);
    EXPECT_EQ(ZVIntTableGet(table, keys[2]), 0);
    ZVIntTablePut(table, keys[5], 105);
    EXPECT_EQ(bucket->keys[2], keys[5]);
    ZVIntTableRemove(table, keys[4]);
    ZVIntTablePut(table, keys[6], 106);
    EXPECT_EQ(bucket->next->keys[0], keys[6]);
    EXPECT_EQ(bucket->next->next, nullptr);
    EXPECT_EQ(table->count, 5);
    ZVIntTableFree(table);
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

TEST(IntTable, HundredThousandKeysInASmallTable) {
    ZVIntTable *table = ZVIntTableNew(1024, nullptr);
    const ZVWord n = 100000;
    for (ZVWord key = 1; key <= n; key++) ZVIntTablePut(table, key * 3, -key);
    for (ZVWord key = 1; key <= n; key += 2) ZVIntTableRemove(table, key * 3);
    EXPECT_EQ(table->count, n / 2);
    for (ZVWord key = 1; key <= n; key++) ASSERT_EQ(ZVIntTableGet(table, key * 3), key % 2 ? 0 : -key);
    ZVIntTableFree(table);
}
