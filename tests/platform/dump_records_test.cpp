// The dump record writer's byte layout and the reuse of tag numbers.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/dump_writer.h"
#include "platform/tag_numbers.h"

TEST(DumpWriter, NumbersAreBigEndianAndIDsInMachineOrder) {
    DumpWriter out;
    out.u1(0x22);
    out.id(0x01020304);
    size_t countAt = out.size();
    out.u4(0);
    out.u2(0xA1B2);
    out.u8(0x1122334455667788ull);
    out.patchU4(countAt, 5);
    const unsigned char expected[] = {0x22, 0, 0, 0, 5, 0xA1, 0xB2, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};
    ASSERT_EQ(out.size(), 5 + sizeof expected - 1);
    EXPECT_EQ(static_cast<unsigned char>(out.begin()[0]), 0x22);
    uint32_t id = 0;
    memcpy(&id, out.begin() + 1, 4);
    EXPECT_EQ(id, 0x01020304u);  // read back as the agent's readers do
    EXPECT_EQ(memcmp(out.begin() + 5, expected + 1, sizeof expected - 1), 0);
}

// Past the first run only numbers that no live object holds come back, and
// numbers handed out after a collection are not handed out again.
TEST(TagNumbers, ReusesOnlyFreeNumbersAfterTheFirstRun) {
    int collections = 0;
    std::vector<int64_t> live = {5, 2, 3};
    TagNumbers numbers(5, [&] {
        ++collections;
        return live;
    });
    for (int64_t expected = 1; expected <= 5; ++expected) EXPECT_EQ(numbers.take(), expected);
    EXPECT_EQ(collections, 0);
    EXPECT_EQ(numbers.take(), 1);
    EXPECT_EQ(numbers.take(), 4);
    EXPECT_EQ(collections, 1);
    live = {1, 2, 3, 4, 5};
    EXPECT_EQ(numbers.take(), 0);  // every number held: none, after one more look
    EXPECT_EQ(collections, 2);
    live = {1, 3, 4, 5};
    EXPECT_EQ(numbers.take(), 2);
    EXPECT_EQ(collections, 3);
}
