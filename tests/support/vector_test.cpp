// ZVVector: bounds, removal and the companion-preserving sort.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <random>
#include <vector>

#include "capture.h"
#include "support/containers.h"

namespace {

ZVVector *makeVector(const std::vector<ZVWord> &words) {
    ZVVector *vector = ZVNewVector(0);
    for (ZVWord word : words) ZVAddElement(vector, word);
    return vector;
}

std::vector<ZVWord> contents(const ZVVector *vector) { return {vector->data, vector->data + vector->size}; }

}  // namespace

TEST(Vector, BadIndicesReportOrDoNothing) {
    ZVVector *vector = makeVector({1, 2, 3, 4});
    for (int index : {-1, 4, INT_MIN}) {
        EXPECT_EQ(StderrOf([&] { EXPECT_EQ(ZVElementAt(vector, index), 0); }), "ZVElementAt : index out of bounds\n");
    }
    ZVRemoveElementAt(vector, 1);
    ZVRemoveElementAt(vector, 3);
    ZVRemoveElementAt(vector, -1);
    EXPECT_EQ(contents(vector), (std::vector<ZVWord>{1, 3, 4}));
    EXPECT_EQ(ZVPopElement(vector), 4);
    ZVRemoveAllElements(vector);
    EXPECT_EQ(ZVPopElement(vector), 0);
    EXPECT_EQ(ZVVectorSize(vector), 0);
    ZVFreeVector(vector);
}

TEST(VectorSort, ACompanionOfAnotherSizeIsLeftAlone) {
    ZVVector *keys = makeVector({3, 1, 2});
    ZVVector *shortOne = makeVector({9, 8});
    ZVSortVectors(keys, shortOne, nullptr, 1);
    EXPECT_EQ(contents(keys), (std::vector<ZVWord>{1, 2, 3}));
    EXPECT_EQ(contents(shortOne), (std::vector<ZVWord>{9, 8}));
    for (ZVVector *vector : {keys, shortOne}) ZVFreeVector(vector);
}

// Against std::sort by signed value; the companion holds each word's
// original index, so the pairs are checked as well.
TEST(VectorSort, AgreesWithStdSortAndKeepsPairs) {
    std::mt19937_64 random(42);
    std::vector<std::vector<ZVWord>> inputs{{INT64_MAX, -1, 0, INT64_MIN, 5}, {2, 1, 2, 1, 2}, {}, {7}};
    inputs.emplace_back(200000);
    for (ZVWord &word : inputs.back()) word = static_cast<ZVWord>(random());
    inputs.emplace_back(50000);
    for (ZVWord &word : inputs.back()) word = static_cast<ZVWord>(random() % 7) - 3;
    inputs.emplace_back(100000);
    for (size_t i = 0; i < inputs.back().size(); i++) inputs.back()[i] = static_cast<ZVWord>(i);
    inputs.emplace_back(inputs.back().rbegin(), inputs.back().rend());
    inputs.emplace_back(100000, 5);
    for (bool ascending : {true, false}) {
        for (const auto &input : inputs) {
            ZVVector *keys = makeVector(input);
            ZVVector *origin = ZVNewVector(0);
            for (size_t i = 0; i < input.size(); i++) ZVAddElement(origin, static_cast<ZVWord>(i));
            ZVSortVectors(keys, origin, nullptr, ascending);
            std::vector<ZVWord> expected = input;
            if (ascending) std::sort(expected.begin(), expected.end());
            else std::sort(expected.begin(), expected.end(), std::greater<>());
            ASSERT_EQ(ZVVectorSize(keys), static_cast<int>(input.size()));
            ASSERT_TRUE(std::equal(expected.begin(), expected.end(), keys->data));
            std::vector<bool> seen(input.size());
            for (int i = 0; i < origin->size; i++) {
                ASSERT_EQ(input[origin->data[i]], keys->data[i]);
                ASSERT_FALSE(seen[origin->data[i]]);
                seen[origin->data[i]] = true;
            }
            ZVFreeVector(keys);
            ZVFreeVector(origin);
        }
    }
}
