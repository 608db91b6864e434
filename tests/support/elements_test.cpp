// Element construction, accessors, maps, copy and release.
#include <gtest/gtest.h>

#include <cstring>

#include "support/element_helpers.h"

TEST(Elements, DataCopiesOrReferencesItsItems) {
    int32_t items[] = {1, 2, 3};
    ElementPtr copied(SENewData(SE_INT32_DATA, items, 3, 1));
    ElementPtr referenced(SENewData(SE_INT32_DATA, items, 3, 0));
    EXPECT_EQ(copied->owned, 1);
    EXPECT_NE(reinterpret_cast<int32_t *>(copied->data), items);
    EXPECT_EQ(referenced->owned, 0);
    EXPECT_EQ(reinterpret_cast<int32_t *>(referenced->data), items);
    ElementPtr empty(SENewData(SE_BYTE_DATA, items, -1, 1));
    EXPECT_EQ(empty->value, 0);
    EXPECT_EQ(empty->data, 0);
    EXPECT_EQ(SENewData(SE_STRING, items, 3, 1), nullptr);
}

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

TEST(Elements, Int64KeepsBothHalvesAndBooleansLookAtTheFirstByte) {
    ElementPtr int64(SENewInt64(0xFFFFFFFFu, 0x80000000u));
    EXPECT_EQ(static_cast<uint32_t>(int64->value), 0xFFFFFFFFu);
    EXPECT_EQ(static_cast<uint32_t>(int64->data), 0x80000000u);
    EXPECT_EQ(SEGetBoolean(int64.get()), 1);
    ElementPtr zero(SENewInt64(0, 0));
    EXPECT_EQ(SEGetBoolean(zero.get()), 0);
    for (const char *yes : {"T", "true", "1"}) {
        ElementPtr e(SENewStringFromC(yes));
        EXPECT_EQ(SEGetBoolean(e.get()), 1) << yes;
    }
    ElementPtr no(SENewStringFromC("yes"));
    ElementPtr empty(SENewString("", 0));
    EXPECT_EQ(SEGetBoolean(no.get()), 0);
    EXPECT_EQ(SEGetBoolean(empty.get()), 0);
    EXPECT_EQ(SEGetBoolean(nullptr), 0);
}

TEST(Elements, AppendToInt32DataGrowsAndTakesOwnership) {
    int32_t values[] = {7, 8, 9};
    ElementPtr empty(SENewData(SE_INT32_DATA, nullptr, 0, 1));
    SEAppendToInt32Data(empty.get(), values, 3);
    EXPECT_EQ(empty->value, 3);

    int32_t borrowed[] = {1, 2};
    ElementPtr e(SENewData(SE_INT32_DATA, borrowed, 2, 0));
    SEAppendToInt32Data(e.get(), values, 2);
    EXPECT_EQ(e->owned, 1);
    const auto *items = reinterpret_cast<const int32_t *>(e->data);
    EXPECT_EQ(items[0] + items[1] + items[2] + items[3], 1 + 2 + 7 + 8);
    EXPECT_EQ(borrowed[0], 1);  // the borrowed array is left alone
}

TEST(Elements, MapPutShadowsAndRemoveRevealsTheOlderEntryAndAccessorsIgnoreOtherTypes) {
    ElementPtr map(SENewMap(0, nullptr));
    SEMapPut(map.get(), "k", SENewInt32(1));
    SEElement *newer = SENewInt32(2);
    SEMapPut(map.get(), "k", newer);
    EXPECT_EQ(SEGetInt32(SEMapGet(map.get(), "k")), 2);
    SEMapRemove(map.get(), "k");  // releases the key, the value stays ours
    SEFree(newer);
    EXPECT_EQ(SEGetInt32(SEMapGet(map.get(), "k")), 1);
    SEMapRemove(map.get(), "missing");
    EXPECT_EQ(SEMapGet(map.get(), "missing"), nullptr);
    ElementPtr notMap(SENewList(1));
    EXPECT_EQ(SEMapGet(notMap.get(), "k"), nullptr);
    EXPECT_EQ(SEMapIterate(notMap.get()), nullptr);
    ElementPtr list(SENewList(0));
    SEListAdd(list.get(), SENewStringFromC("a"));
    EXPECT_EQ(SEListSize(list.get()), 1);
    EXPECT_STREQ(SEGetString(SEListGet(list.get(), 0)), "a");
    ElementPtr s(SENewStringFromC("x"));
    EXPECT_EQ(SEListSize(s.get()), -1);
    EXPECT_EQ(SEListGet(s.get(), 0), nullptr);
    SEMapPutKey(s.get(), sStrdup("key"), nullptr);  // released, not leaked
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
