// Memory sizes and time spans: units, their order, the unit of a trailing
// number, malformed text, values that do not fit 32 bits, and the formatted
// time span. (That a formatted span parses back to its seconds is asserted by
// the time-span fuzz target, which every build runs over its corpus.)
#include <gtest/gtest.h>

#include <string>

#include "capture.h"
#include "support/heap.h"
#include "support/text.h"

namespace {

std::string Format(int seconds) {
    char *text = FormatTimeSpan(seconds);
    std::string result = text == nullptr ? "(null)" : text;
    sFree(text);
    return result;
}

}  // namespace

TEST(ParseTimeSpan, UnitsTrailingNumbersMalformedTextAndClamping) {
    EXPECT_EQ(ParseTimeSpan("90"), 90);
    EXPECT_EQ(ParseTimeSpan("1h30"), 5400);    // after hours: minutes
    EXPECT_EQ(ParseTimeSpan("1d2"), 93600);    // after days: hours
    EXPECT_EQ(ParseTimeSpan("1m30"), 90);      // after minutes: seconds
    EXPECT_EQ(ParseTimeSpan("2m 30s"), 150);
    EXPECT_EQ(ParseTimeSpan(" x1D2H3M4S"), 93784);
    for (const char *bad : {"", "never", "5x", "1h2h", "1h1d", "1m1h", "1s1m", "30s10"}) {
        EXPECT_EQ(ParseTimeSpan(bad), -1) << bad;
    }
    EXPECT_EQ(ParseTimeSpan(nullptr), -1);
    // Too long: clamped, with a message.
    EXPECT_EQ(StderrOf([] { EXPECT_EQ(ParseTimeSpan("999999999d"), 2147483647); }),
              "We could not parse time <999999999d> -- time specified was too long.  Defaulting to longest time.\n");
    // Exactly the longest: no message.
    EXPECT_EQ(StderrOf([] { EXPECT_EQ(ParseTimeSpan("24855d3h14m7s"), 2147483647); }), "");
    std::string err = StderrOf([] {
        EXPECT_EQ(ParseTimeSpan("99999999999999999999999999999d99999999999999999999h"), 2147483647);  // no wrap
        EXPECT_EQ(ParseTimeSpan("2147483648"), 2147483647);
    });
    EXPECT_NE(err.find("<2147483648>"), std::string::npos);
}

TEST(FormatTimeSpan, PartsPluralsAndBlanks) {
    EXPECT_EQ(Format(0), "(null)");
    EXPECT_EQ(Format(1), "1 second");
    EXPECT_EQ(Format(120), "2 minutes");
    EXPECT_EQ(Format(86400), "1 day");
    EXPECT_EQ(Format(90061), "1 day 1 hour 1 minute 1 second");
    EXPECT_EQ(Format(2 * 86400 + 5), "2 days 5 seconds");
}

TEST(ParseMemorySize, UnitsOrderMalformedTextAndClamping) {
    EXPECT_EQ(ParseMemorySize("512"), 512);
    EXPECT_EQ(ParseMemorySize("10m"), 10485760);
    EXPECT_EQ(ParseMemorySize("1G512M"), 1610612736);
    EXPECT_EQ(ParseMemorySize("1g 2m 3k 4b"), (1 << 30) + (2 << 20) + (3 << 10) + 4);
    EXPECT_EQ(ParseMemorySize("64K100"), 64 * 1024 + 100);
    for (const char *bad : {"", "none", "1M1G", "1K1M", "1B1K", "1M1M", "1B5"}) {
        EXPECT_EQ(ParseMemorySize(bad), -1) << bad;
    }
    EXPECT_EQ(StdoutOf([] { EXPECT_EQ(ParseMemorySize("10Q"), -1); }), "Unexpected char 'Q'\n");
    // Above 32 bits: clamped, with a message.
    EXPECT_EQ(ParseMemorySize("1G1023M1023K1023"), 2147483647);
    for (const char *text : {"2G", "2147483648", "99999999999999999999999999G"}) {
        EXPECT_EQ(StderrOf([&] { EXPECT_EQ(ParseMemorySize(text), 2147483647) << text; }),
                  std::string("We could not parse size <") + text +
                      "> -- size specified was too large.  Defaulting to largest size.\n");
    }
}
