// Clocks: monotonic readings agree with each other, with sleeping and with
// the C library's wall clock.
#include <gtest/gtest.h>

#include <ctime>

#include "platform/clock.h"
#include "platform/thread.h"

TEST(Clock, MonotonicReadingsNeverGoBackAndAgree) {
    int64_t previous = MonotonicNanos();
    for (int i = 0; i < 10000; i++) {
        int64_t now = MonotonicNanos();
        ASSERT_GE(now, previous);
        previous = now;
    }
    int64_t before = MonotonicNanos();
    uint32_t millis = MonotonicMillis();
    int64_t after = MonotonicNanos();
    EXPECT_GE(millis, static_cast<uint32_t>(before / 1000000));
    EXPECT_LE(millis, static_cast<uint32_t>(after / 1000000));
    EXPECT_EQ(kMonotonicFrequency, 1000000000);
}

TEST(Clock, SleepAdvancesTheMonotonicClock) {
    uint32_t start = MonotonicMillis();
    int64_t startNanos = MonotonicNanos();
    SleepMillis(30);
    EXPECT_GE(static_cast<uint32_t>(MonotonicMillis() - start), 29u);
    EXPECT_GE(MonotonicNanos() - startNanos, 30 * 1000000);
}

TEST(Clock, WallClockMatchesTheCLibrary) {
    int64_t before = static_cast<int64_t>(std::time(nullptr));
    int64_t seconds = WallClockSeconds();
    int64_t millis = WallClockMillis();
    int64_t after = static_cast<int64_t>(std::time(nullptr));
    EXPECT_GE(seconds, before);
    EXPECT_LE(seconds, after);
    EXPECT_GE(millis / 1000, seconds);
    EXPECT_LE(millis / 1000, after);
}
