// ZVInlineVector: elements stay right as the list crosses between its inline
// room and its heap block.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "support/inline_vector.h"

TEST(InlineVector, ElementsSurviveAppendTruncateAndMoveAcrossTheInlineRoom) {
    ZVInlineVector<int, 4> list;
    const int values[] = {0, 1, 2, 3, 4, 5};
    list.append(values, 2);
    list.append(values + 2, 4);        // inline straight to the heap block
    list.append(list.data() + 1, 3);   // its own elements, while growth moves them
    EXPECT_EQ(std::vector<int>(list.begin(), list.end()), (std::vector<int>{0, 1, 2, 3, 4, 5, 1, 2, 3}));
    list.truncate(3);                  // back into the inline room
    list.push_back(9);
    list.push_back(10);
    EXPECT_EQ(std::vector<int>(list.begin(), list.end()), (std::vector<int>{0, 1, 2, 9, 10}));
    ZVInlineVector<int, 4> moved(std::move(list));
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(std::vector<int>(moved.begin(), moved.end()), (std::vector<int>{0, 1, 2, 9, 10}));
}
