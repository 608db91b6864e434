// The agent heap's edge cases: refused sizes and string copies.
#include <gtest/gtest.h>

#include "support/heap.h"

TEST(Heap, StrdupCopiesAndNegativeSizeIsRefusedWithMessage) {
    char *copy = sStrdup("abc");
    ASSERT_NE(copy, nullptr);
    EXPECT_STREQ(copy, "abc");
    sFree(copy);
    EXPECT_EQ(sStrdup(nullptr), nullptr);
    testing::internal::CaptureStderr();
    EXPECT_EQ(sMalloc(-5), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Malloc for -5 bytes failed\nAbout to crash\n");
    sFree(nullptr);
}
