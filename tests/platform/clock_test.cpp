// Clocks and processor facts: monotonic readings agree with each other, with
// sleeping and with the C library's wall clock; CPUID and the TSC respond.
#include <gtest/gtest.h>

#include <ctime>

#include "platform/clock.h"
#include "platform/cpu.h"
#include "platform/thread.h"

TEST(Clock, MonotonicReadingsAgreeAndFollowSleepAndTheWallClockMatchesTheCLibrary) {
    int64_t before = MonotonicNanos();
    uint32_t millis = MonotonicMillis();
    int64_t after = MonotonicNanos();
    uint64_t tsc = ReadTimeStampCounter();
    // The millisecond reading falls between the nanosecond readings around
    // it; unsigned differences keep this true across the 32-bit wrap.
    uint32_t low = static_cast<uint32_t>(before / 1000000);
    uint32_t high = static_cast<uint32_t>(after / 1000000);
    EXPECT_LE(static_cast<uint32_t>(millis - low), static_cast<uint32_t>(high - low));
    SleepMillis(30);
    EXPECT_GE(static_cast<uint32_t>(MonotonicMillis() - millis), 29u);
    EXPECT_GE(MonotonicNanos() - before, 30 * 1000000);
    EXPECT_GT(ReadTimeStampCounter(), tsc);
    // The wall clock matches the C library's.
    int64_t start = static_cast<int64_t>(std::time(nullptr));
    int64_t wallMillis = WallClockMillis(), wallSeconds = WallClockSeconds();
    int64_t end = static_cast<int64_t>(std::time(nullptr));
    EXPECT_TRUE(start <= wallMillis / 1000 && wallMillis / 1000 <= wallSeconds && wallSeconds <= end);
}

TEST(Cpu, CpuIdReportsTheTimeStampCounterAndZerosBeyondTheLastLeaf) {
    uint32_t last = CpuId(0).eax;
    EXPECT_GE(last, 1u);
    EXPECT_NE(CpuId(1).edx & 0x10u, 0u);  // every x86-64 processor has a TSC
    CpuIdRegisters beyond = CpuId(last + 1);
    EXPECT_EQ(beyond.eax | beyond.ebx | beyond.ecx | beyond.edx, 0u);
}
