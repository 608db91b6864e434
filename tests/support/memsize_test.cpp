// Memory sizes: units, their order, unexpected characters and sizes that do
// not fit 32 bits.
#include <gtest/gtest.h>

#include <string>

#include "support/text.h"

TEST(ParseMemorySize, UnitsOrderAndMalformedText) {
    EXPECT_EQ(ParseMemorySize("512"), 512);
    EXPECT_EQ(ParseMemorySize("10m"), 10485760);
    EXPECT_EQ(ParseMemorySize("1G512M"), 1610612736);
    EXPECT_EQ(ParseMemorySize("1g 2m 3k 4b"), (1 << 30) + (2 << 20) + (3 << 10) + 4);
    EXPECT_EQ(ParseMemorySize("64K100"), 64 * 1024 + 100);
    for (const char *bad : {"", "none", "1M1G", "1K1M", "1B1K", "1M1M", "1B5"}) {
        EXPECT_EQ(ParseMemorySize(bad), -1) << bad;
    }
    testing::internal::CaptureStdout();
    EXPECT_EQ(ParseMemorySize("10Q"), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Unexpected char 'Q'\n");
}

TEST(ParseMemorySize, SizesAbove32BitsAreClampedWithMessage) {
    EXPECT_EQ(ParseMemorySize("1G1023M1023K1023"), 2147483647);
    for (const char *text : {"2G", "2147483648", "99999999999999999999999999G"}) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(ParseMemorySize(text), 2147483647) << text;
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  std::string("We could not parse size <") + text +
                      "> -- size specified was too large.  Defaulting to largest size.\n");
    }
}
