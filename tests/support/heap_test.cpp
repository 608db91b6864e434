// The agent heap's edge cases: refused sizes and string copies.
#include <gtest/gtest.h>

#include "capture.h"
#include "support/heap.h"

TEST(Heap, NullCopiesToNullAndNegativeSizeIsRefusedWithMessage) {
    EXPECT_EQ(sStrdup(nullptr), nullptr);
    EXPECT_EQ(StderrOf([&] { EXPECT_EQ(sMalloc(-5), nullptr); }), "Malloc for -5 bytes failed\nAbout to crash\n");
    sFree(nullptr);
}
