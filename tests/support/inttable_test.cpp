// ZVIntTable: any size works, buckets overflow and their slots are reused,
// key 0 is refused and duplicates are found in insertion order.
#include <gtest/gtest.h>

#include <cstdint>

#include "support/containers.h"

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
