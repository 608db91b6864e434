// ZVVector: growth, bounds, removal and the companion-preserving sort.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <memory>
#include <random>
#include <utility>
#include <vector>

#include "support/containers.h"

namespace {

struct VectorDeleter {
    void operator()(ZVVector *vector) const { ZVFreeVector(vector); }
};
using VectorPtr = std::unique_ptr<ZVVector, VectorDeleter>;

VectorPtr makeVector(std::initializer_list<ZVWord> words) {
    VectorPtr vector(ZVNewVector(0));
    for (ZVWord word : words) ZVAddElement(vector.get(), word);
    return vector;
}

std::vector<ZVWord> contents(const ZVVector *vector) { return {vector->data, vector->data + vector->size}; }

}  // namespace

TEST(Vector, GrowsToTwiceCapacityPlusFourKeepingWords) {
    VectorPtr vector(ZVNewVector(0));
    ASSERT_NE(vector, nullptr);
    EXPECT_EQ(vector->data, nullptr);
    std::vector<int> capacities;
    for (int i = 0; i < 29; i++) {
        ZVAddElement(vector.get(), i * 3);
        if (capacities.empty() || capacities.back() != vector->capacity) capacities.push_back(vector->capacity);
    }
    EXPECT_EQ(capacities, (std::vector<int>{4, 12, 28, 60}));
    for (int i = 0; i < 29; i++) EXPECT_EQ(ZVElementAt(vector.get(), i), i * 3);
}

TEST(Vector, HoldsManyPointerSizedWords) {
    VectorPtr vector(ZVNewVector(3));
    const ZVWord big = ZVWord{1} << 40;
    for (int i = 0; i < 100000; i++) ZVAddElement(vector.get(), big + i);
    ASSERT_EQ(ZVVectorSize(vector.get()), 100000);
    for (int i = 0; i < 100000; i++) ASSERT_EQ(ZVElementAt(vector.get(), i), big + i);
}

TEST(Vector, ImpossibleCapacityLeavesAnEmptyUsableVector) {
    VectorPtr vector(ZVNewVector(INT_MAX));
    ASSERT_NE(vector, nullptr);
    EXPECT_EQ(vector->capacity, 0);
    EXPECT_EQ(vector->data, nullptr);
    ZVAddElement(vector.get(), 7);
    EXPECT_EQ(vector->capacity, 4);
    EXPECT_EQ(ZVElementAt(vector.get(), 0), 7);
    VectorPtr negative(ZVNewVector(-3));
    EXPECT_EQ(negative->capacity, 0);
}

TEST(Vector, ElementAtOutsideTheRangeReportsAndReturnsZero) {
    VectorPtr vector = makeVector({5, 6});
    for (int index : {-1, 2, INT_MIN}) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(ZVElementAt(vector.get(), index), 0);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "ZVElementAt : index out of bounds\n");
    }
}

TEST(Vector, PopAndRemovalKeepOrderAndIgnoreBadIndices) {
    VectorPtr vector = makeVector({1, 2, 3, 4});
    ZVRemoveElementAt(vector.get(), 1);
    EXPECT_EQ(contents(vector.get()), (std::vector<ZVWord>{1, 3, 4}));
    ZVRemoveElementAt(vector.get(), 2);
    EXPECT_EQ(contents(vector.get()), (std::vector<ZVWord>{1, 3}));
    ZVRemoveElementAt(vector.get(), 2);
    ZVRemoveElementAt(vector.get(), -1);
    EXPECT_EQ(contents(vector.get()), (std::vector<ZVWord>{1, 3}));
    EXPECT_EQ(ZVPopElement(vector.get()), 3);
    EXPECT_EQ(ZVPopElement(vector.get()), 1);
    EXPECT_EQ(ZVPopElement(vector.get()), 0);
    EXPECT_EQ(ZVVectorSize(vector.get()), 0);
}

TEST(Vector, RemoveAllKeepsStorage) {
    VectorPtr vector = makeVector({1, 2, 3, 4, 5});
    ZVWord *data = vector->data;
    ZVRemoveAllElements(vector.get());
    ZVRemoveAllElements(nullptr);
    EXPECT_EQ(vector->size, 0);
    EXPECT_EQ(vector->capacity, 12);
    EXPECT_EQ(vector->data, data);
}

TEST(VectorSort, SmallCaseMovesCompanionsAlong) {
    VectorPtr keys = makeVector({3, 1, 2});
    VectorPtr names = makeVector({'c', 'a', 'b'});
    VectorPtr second = makeVector({30, 10, 20});
    ZVSortVectors(keys.get(), names.get(), second.get(), 1);
    EXPECT_EQ(contents(keys.get()), (std::vector<ZVWord>{1, 2, 3}));
    EXPECT_EQ(contents(names.get()), (std::vector<ZVWord>{'a', 'b', 'c'}));
    EXPECT_EQ(contents(second.get()), (std::vector<ZVWord>{10, 20, 30}));
    ZVSortVectors(keys.get(), names.get(), nullptr, 0);
    EXPECT_EQ(contents(keys.get()), (std::vector<ZVWord>{3, 2, 1}));
    EXPECT_EQ(contents(names.get()), (std::vector<ZVWord>{'c', 'b', 'a'}));
}

TEST(VectorSort, OrdersBySignedValue) {
    VectorPtr keys = makeVector({5, -1, 0, INT64_MIN, INT64_MAX, -7});
    ZVSortVectors(keys.get(), nullptr, nullptr, 1);
    EXPECT_EQ(contents(keys.get()), (std::vector<ZVWord>{INT64_MIN, -7, -1, 0, 5, INT64_MAX}));
}

TEST(VectorSort, ShortOrRepeatedCompanionsAreNotCorrupted) {
    VectorPtr keys = makeVector({4, 3, 2, 1});
    VectorPtr shortCompanion = makeVector({9, 8});
    VectorPtr companion = makeVector({40, 30, 20, 10});
    ZVSortVectors(keys.get(), shortCompanion.get(), companion.get(), 1);
    EXPECT_EQ(contents(shortCompanion.get()), (std::vector<ZVWord>{9, 8}));
    EXPECT_EQ(contents(companion.get()), (std::vector<ZVWord>{10, 20, 30, 40}));
    ZVSortVectors(keys.get(), companion.get(), companion.get(), 0);
    EXPECT_EQ(contents(companion.get()), (std::vector<ZVWord>{40, 30, 20, 10}));
    ZVSortVectors(keys.get(), keys.get(), nullptr, 1);
    EXPECT_EQ(contents(keys.get()), (std::vector<ZVWord>{1, 2, 3, 4}));
}

// Random, duplicate-heavy, sorted and reversed inputs against std::sort; the
// companion holds each word's original index, so alignment is checked too.
TEST(VectorSort, AgreesWithStdSortAndKeepsPairs) {
    std::mt19937_64 random(42);
    auto check = [](std::vector<ZVWord> input, bool ascending) {
        VectorPtr keys(ZVNewVector(0));
        VectorPtr origin(ZVNewVector(0));
        for (size_t i = 0; i < input.size(); i++) {
            ZVAddElement(keys.get(), input[i]);
            ZVAddElement(origin.get(), static_cast<ZVWord>(i));
        }
        ZVSortVectors(keys.get(), origin.get(), nullptr, ascending ? 1 : 0);
        std::vector<ZVWord> expected = input;
        if (ascending) std::sort(expected.begin(), expected.end());
        else std::sort(expected.begin(), expected.end(), std::greater<>());
        ASSERT_EQ(contents(keys.get()), expected);
        std::vector<bool> seen(input.size());
        for (int i = 0; i < origin->size; i++) {
            ZVWord from = origin->data[i];
            ASSERT_EQ(input[from], keys->data[i]);
            ASSERT_FALSE(seen[from]);
            seen[from] = true;
        }
    };
    std::vector<ZVWord> large(200000);
    for (ZVWord &word : large) word = static_cast<ZVWord>(random());
    std::vector<ZVWord> duplicates(50000);
    for (ZVWord &word : duplicates) word = static_cast<ZVWord>(random() % 7) - 3;
    std::vector<ZVWord> sorted(100000);
    for (size_t i = 0; i < sorted.size(); i++) sorted[i] = static_cast<ZVWord>(i);
    std::vector<ZVWord> reversed(sorted.rbegin(), sorted.rend());
    std::vector<ZVWord> equal(100000, 5);
    for (bool ascending : {true, false}) {
        for (const auto &input : {large, duplicates, sorted, reversed, equal, std::vector<ZVWord>{1, 1},
                                  std::vector<ZVWord>{2, 1, 2, 1, 2}}) {
            check(input, ascending);
        }
    }
}

TEST(VectorSort, FewerThanTwoWordsAreLeftAlone) {
    VectorPtr one = makeVector({9});
    VectorPtr companion = makeVector({1, 2});
    ZVSortVectors(one.get(), companion.get(), nullptr, 1);
    EXPECT_EQ(contents(companion.get()), (std::vector<ZVWord>{1, 2}));
    ZVSortVectors(nullptr, nullptr, nullptr, 1);
}
