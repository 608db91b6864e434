// Deep copies of element trees, shadowed map entries included.
#include <gtest/gtest.h>

#include <cstring>

#include "support/element_helpers.h"

TEST(Elements, CopyIsDeep) {
    ElementPtr map(SENewMap(4, nullptr));
    SEElement *list = SENewList(0);
    SEListAdd(list, SENewStringFromC("x"));
    SEMapPut(map.get(), "list", list);
    SEMapPut(map.get(), "dup", SENewInt32(1));
    SEMapPut(map.get(), "dup", SENewInt32(2));
    int64_t longs[] = {-1, 5};
    SEMapPut(map.get(), "longs", SENewData(SE_INT64_DATA, longs, 2, 0));

    ElementPtr copy(SECopy(map.get()));
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(reinterpret_cast<ZVHashTable *>(copy->value)->count, 4);
    EXPECT_TRUE(SEEquals(map.get(), copy.get()));
    EXPECT_EQ(SEGetInt32(SEMapGet(copy.get(), "dup")), 2);  // still shadows
    EXPECT_EQ(SEMapGet(copy.get(), "longs")->owned, 1);

    SEListAdd(list, SENewStringFromC("y"));
    EXPECT_EQ(SEListSize(SEMapGet(copy.get(), "list")), 1);
    EXPECT_EQ(SECopy(nullptr), nullptr);
    SEFree(nullptr);
}
