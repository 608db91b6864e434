// ZVInlineVector: its elements stay right when the list crosses between its
// inline room and its heap block.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "support/inline_vector.h"

namespace {

using Small = ZVInlineVector<int, 4>;

Small counting(int count) {
    Small list;
    for (int i = 0; i < count; ++i) list.push_back(i);
    return list;
}

std::vector<int> items(const Small &list) { return {list.begin(), list.end()}; }

TEST(InlineVector, TruncateKeepsThePrefixOnEitherSideOfTheInlineRoom) {
    Small list = counting(7);
    list.truncate(5);
    EXPECT_EQ(items(list), (std::vector<int>{0, 1, 2, 3, 4}));
    list.truncate(3);  // back into the inline room
    EXPECT_EQ(items(list), (std::vector<int>{0, 1, 2}));
    list.push_back(9);
    list.push_back(10);  // out again: the heap block starts from the inline elements
    EXPECT_EQ(items(list), (std::vector<int>{0, 1, 2, 9, 10}));
    list.truncate(8);
    EXPECT_EQ(list.size(), 5u);
}

TEST(InlineVector, AppendAndCopiesKeepOrderAcrossTheInlineRoom) {
    Small list = counting(2);
    const int more[] = {7, 8, 9, 10, 11};
    list.append(more, 5);  // from inline straight to the heap block
    EXPECT_EQ(items(list), (std::vector<int>{0, 1, 7, 8, 9, 10, 11}));
    list.append(list.data() + 2, 3);  // its own elements, while it grows
    EXPECT_EQ(items(list), (std::vector<int>{0, 1, 7, 8, 9, 10, 11, 7, 8, 9}));
    Small copy = list;
    EXPECT_EQ(items(copy), items(list));
    copy = counting(3);
    EXPECT_EQ(items(copy), (std::vector<int>{0, 1, 2}));
}

TEST(InlineVector, MoveTakesTheElementsAndEmptiesTheSource) {
    for (int count : {3, 6}) {
        Small source = counting(count);
        Small moved(std::move(source));
        EXPECT_EQ(items(moved), items(counting(count)));
        EXPECT_TRUE(source.empty());
        source.push_back(42);  // the source stays usable
        EXPECT_EQ(items(source), (std::vector<int>{42}));
        Small target = counting(5);
        target = std::move(moved);
        EXPECT_EQ(items(target), items(counting(count)));
        EXPECT_TRUE(moved.empty());
    }
}

}  // namespace
