// Element construction, accessors, maps, copy and release.
#include <gtest/gtest.h>

#include <cstring>

#include "support/element_helpers.h"

TEST(Elements, StringsCopyTheTerminatorAndGetInt32ParsesThemAndRejectsOtherTypes) {
    ElementPtr abc(SENewStringFromC("abc"));
    EXPECT_EQ(abc->type, SE_STRING);
    EXPECT_EQ(abc->value, 4);
    EXPECT_EQ(std::string(SEGetString(abc.get()), 5), std::string("abc\0\0", 5));
    ElementPtr s(SENewStringFromC("12abc"));
    ElementPtr huge(SENewStringFromC("99999999999"));
    ElementPtr list(SENewList(0));
    EXPECT_EQ(SEGetInt32(s.get()), 12);
    EXPECT_EQ(SEGetInt32(huge.get()), INT32_MAX);
    EXPECT_EQ(SEGetInt32(list.get()), -1);
    EXPECT_EQ(SEGetInt32(nullptr), -1);
    EXPECT_STREQ(SEGetString(list.get()), "");
}

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
