// ZVIntTable: sizing, overflow nodes, slot reuse and refused keys.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "support/containers.h"

namespace {

struct IntTableDeleter {
    void operator()(ZVIntTable *table) const { ZVIntTableFree(table); }
};
using IntTablePtr = std::unique_ptr<ZVIntTable, IntTableDeleter>;

uint32_t bucketOf(const ZVIntTable *table, ZVWord key) { return (static_cast<uint32_t>(key) * 0x9E3779B9u) >> table->shift; }

// The first `count` positive keys that share key 1's bucket.
std::vector<ZVWord> keysInBucketOfOne(const ZVIntTable *table, int count) {
    std::vector<ZVWord> keys;
    for (ZVWord key = 1; static_cast<int>(keys.size()) < count; key++) {
        if (bucketOf(table, key) == bucketOf(table, 1)) keys.push_back(key);
    }
    return keys;
}

int overflowNodes(const ZVIntNode *bucket) {
    int nodes = 0;
    for (const ZVIntNode *node = bucket->next; node != nullptr; node = node->next) nodes++;
    return nodes;
}

}  // namespace

TEST(IntTable, SizeRoundsUpToPowerOfTwoWithAtLeastTwoBuckets) {
    for (auto [size, buckets] : std::vector<std::pair<int, int>>{{-1, 2}, {0, 2}, {1, 2}, {2, 2}, {3, 4}, {5, 8}, {1024, 1024}}) {
        IntTablePtr table(ZVIntTableNew(size, nullptr));
        ASSERT_NE(table, nullptr);
        EXPECT_EQ(table->bucketCount, buckets) << size;
        EXPECT_EQ(1u << (32 - table->shift), static_cast<uint32_t>(buckets));
        EXPECT_STREQ(table->name, "Unnamed");
    }
    IntTablePtr huge(ZVIntTableNew(INT32_MAX, "huge"));
    ASSERT_NE(huge, nullptr);
    EXPECT_LE(huge->bucketCount, 1 << 20);
    ZVIntTablePut(huge.get(), 123456789, 5);
    EXPECT_EQ(ZVIntTableGet(huge.get(), 123456789), 5);
}

TEST(IntTable, FifthKeyOfABucketGoesToAnOverflowNodeAndClearedSlotsAreReused) {
    IntTablePtr table(ZVIntTableNew(16, "t"));
    std::vector<ZVWord> keys = keysInBucketOfOne(table.get(), 7);
    ZVIntNode *bucket = &table->buckets[bucketOf(table.get(), 1)];
    for (int i = 0; i < 4; i++) ZVIntTablePut(table.get(), keys[i], 100 + i);
    EXPECT_EQ(overflowNodes(bucket), 0);
    ZVIntTablePut(table.get(), keys[4], 104);
    EXPECT_EQ(overflowNodes(bucket), 1);
    EXPECT_EQ(bucket->next->keys[0], keys[4]);
    EXPECT_EQ(table->count, 5);
    for (int i = 0; i < 5; i++) EXPECT_EQ(ZVIntTableGet(table.get(), keys[i]), 100 + i);

    ZVIntTableRemove(table.get(), keys[2]);
    EXPECT_EQ(table->count, 4);
    EXPECT_EQ(ZVIntTableGet(table.get(), keys[2]), 0);
    ZVIntTablePut(table.get(), keys[5], 105);
    EXPECT_EQ(bucket->keys[2], keys[5]);
    EXPECT_EQ(overflowNodes(bucket), 1);
    ZVIntTableRemove(table.get(), keys[4]);
    ZVIntTablePut(table.get(), keys[6], 106);
    EXPECT_EQ(bucket->next->keys[0], keys[6]);
    EXPECT_EQ(overflowNodes(bucket), 1);
    EXPECT_EQ(ZVIntTableGet(table.get(), keys[6]), 106);
}

TEST(IntTable, KeyZeroIsRefused) {
    IntTablePtr table(ZVIntTableNew(8, nullptr));
    ZVIntTablePut(table.get(), 0, 5);
    EXPECT_EQ(table->count, 0);
    ZVIntTablePut(table.get(), 3, 4);
    ZVIntTableRemove(table.get(), 0);
    EXPECT_EQ(table->count, 1);
    EXPECT_EQ(ZVIntTableGet(table.get(), 0), 0);
    EXPECT_EQ(ZVIntTableGet(table.get(), 3), 4);
}

TEST(IntTable, DuplicateKeysAreSeparatePairsFoundInChainOrder) {
    IntTablePtr table(ZVIntTableNew(4, nullptr));
    ZVIntTablePut(table.get(), 9, 1);
    ZVIntTablePut(table.get(), 9, 2);
    EXPECT_EQ(table->count, 2);
    EXPECT_EQ(ZVIntTableGet(table.get(), 9), 1);
    ZVIntTableRemove(table.get(), 9);
    EXPECT_EQ(ZVIntTableGet(table.get(), 9), 2);
}

TEST(IntTable, HundredThousandKeysInASmallTable) {
    IntTablePtr table(ZVIntTableNew(1024, nullptr));
    const ZVWord n = 100000;
    for (ZVWord key = 1; key <= n; key++) ZVIntTablePut(table.get(), key * 3, -key);
    EXPECT_EQ(table->count, n);
    for (ZVWord key = 1; key <= n; key++) ASSERT_EQ(ZVIntTableGet(table.get(), key * 3), -key);
    for (ZVWord key = 1; key <= n; key += 2) ZVIntTableRemove(table.get(), key * 3);
    EXPECT_EQ(table->count, n / 2);
    for (ZVWord key = 1; key <= n; key++) ASSERT_EQ(ZVIntTableGet(table.get(), key * 3), key % 2 ? 0 : -key);
}
