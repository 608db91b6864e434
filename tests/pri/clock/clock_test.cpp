// The profiler clock: mode and frequency from chosen sources, the calibration
// and its priority boost, and the real clock. The real clock initialises once
// per process, so those tests run only as ctest runs them: one per process.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "capture.h"
#include "platform/clock.h"
#include "platform/cpu.h"
#include "platform/thread.h"
#include "pri/clock/clock.h"
#include "pri/clock/clock_internal.h"

namespace {

constexpr char kWarning[] =
    "If you are running with SpeedStep on, or on a machine with multiple CPUs\n"
    "that have not had their TSCs synchronized, please re-run your application with the:\n"
    "\tdisableTSC=t\n"
    "flag set.\n";

// A counter advancing 0.1 ms per reading with a 2.4 GHz time-stamp counter
// in step; the third reading (the spin) notes the watched threads' priorities.
namespace fake {
int64_t frequency = kMonotonicFrequency, nanos = 0;
bool hasTSC = true;
int readings = 0;
ThreadHandle *watched[2] = {};
int seen[2] = {};
int64_t counter() {
    if (++readings == 3)
        for (int i = 0; i < 2; i++) seen[i] = ThreadPriority(watched[i]);
    return nanos += 100000;
}
const PRIClockSources sources{[] { return frequency; }, counter,
                              [] { return static_cast<uint64_t>(nanos) * 12 / 5; }, [] { return hasTSC; }};
}  // namespace fake

std::string chooseAndCapture(int64_t frequency, bool hasTSC, int disable, PRIClockChoice *choice) {
    fake::frequency = frequency;
    fake::hasTSC = hasTSC;
    return StderrOf([&] { *choice = PRIChooseClock(fake::sources, disable); });
}

}  // namespace

TEST(ClockChoice, ModeAndFrequencyFollowTheSourcesAndTheSetting) {
    PRIClockChoice choice{};
    EXPECT_EQ(chooseAndCapture(3579545, true, 1, &choice), "");
    EXPECT_TRUE(choice.mode == PRI_CLOCK_COUNTER && choice.frequency == 3579);
    chooseAndCapture(3579545, false, 0, &choice);
    EXPECT_TRUE(choice.mode == PRI_CLOCK_COUNTER && choice.frequency == 3579);
    EXPECT_EQ(chooseAndCapture(0, true, 0, &choice), "");  // no counter: the millisecond timer
    EXPECT_TRUE(choice.mode == PRI_CLOCK_MILLIS && choice.frequency == 1);
    EXPECT_EQ(chooseAndCapture(kMonotonicFrequency, true, 0, &choice),
              std::string("Determined CPU Frequency as 2400 Mhz\n") + kWarning);
    EXPECT_TRUE(choice.mode == PRI_CLOCK_TSC && choice.frequency == 2400);
}

TEST(TSCCalibration, RaisesEveryThreadWhileMeasuringAndPutsEachBackAsItWas) {
    ThreadHandle *self = OpenCurrentThread();
    int original = ThreadPriority(self);
    SetThreadPriority(self, original - 1);  // lowering a nice value needs privileges
    bool privileged = ThreadPriority(self) == original - 1;
    std::atomic<ThreadHandle *> other{nullptr};
    std::atomic<bool> done{false};
    std::thread helper([&] {
        ThreadHandle *handle = OpenCurrentThread();
        SetThreadPriority(handle, 7);
        other = handle;
        while (!done) SleepMillis(1);
        CloseThreadHandle(handle);
    });
    while (other == nullptr) SleepMillis(1);
    SetThreadPriority(self, 3);
    fake::watched[0] = self;
    fake::watched[1] = other;
    fake::frequency = kMonotonicFrequency;
    fake::readings = 0;
    EXPECT_EQ(PRIMeasureTSCRate(fake::sources), 2400);
    EXPECT_EQ(fake::seen[0], privileged ? kThreadPriorityTimeCritical : 3);
    EXPECT_EQ(fake::seen[1], privileged ? kThreadPriorityTimeCritical : 7);
    EXPECT_EQ(ThreadPriority(self), 3);
    EXPECT_EQ(ThreadPriority(other), 7);
    done = true;
    helper.join();
    SetThreadPriority(self, original);
    CloseThreadHandle(self);
}

TEST(ProfilerClock, WithTheCounterDisabledTheMonotonicCounterServesSilently) {
    if (PRIClockIsInitialized()) GTEST_SKIP() << "the clock is initialised once per process";
    PRIClockSetDisableTSC(1);
    int32_t mode = 0;
    testing::internal::CaptureStderr();
    EXPECT_EQ(PRIGetClockFrequency(&mode), 1000000);  // initialises on first use
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(mode, PRI_CLOCK_COUNTER);
    EXPECT_EQ(ZVContext_frequency(nullptr, nullptr), 1000000);
    int64_t before = MonotonicNanos();
    int64_t slow = ZVContext_currentTimeSlow(nullptr, nullptr);
    EXPECT_TRUE(before <= slow && slow <= MonotonicNanos());
}

TEST(ProfilerClock, TimeStampCounterModeReportsItsRateOnceStampsInItsUnitsAndKeepsPriorities) {
    if (PRIClockIsInitialized()) GTEST_SKIP() << "the clock is initialised once per process";
    ThreadHandle *self = OpenCurrentThread();
    SetThreadPriority(self, 4);
    testing::internal::CaptureStderr();
    PRIClockInitialize();
    PRIClockInitialize();
    int32_t mode = 0;
    int64_t mhz = PRIGetClockFrequency(&mode);
    EXPECT_EQ(PRIGetClockFrequency(nullptr), mhz);
    std::string out = testing::internal::GetCapturedStderr();
    EXPECT_EQ(ThreadPriority(self), 4);
    CloseThreadHandle(self);
    EXPECT_EQ(mode, PRI_CLOCK_TSC);
    EXPECT_EQ(out, "Determined CPU Frequency as " + std::to_string(mhz) + " Mhz\n" + kWarning);

    int64_t nanos = MonotonicNanos();
    uint64_t millis = MonotonicMillis(), tsc = ReadTimeStampCounter();
    auto slow = static_cast<uint64_t>(ZVContext_currentTimeSlow(nullptr, nullptr));
    auto fast = static_cast<uint64_t>(ZVContext_currentTimeFast(nullptr, nullptr));
    auto time0 = static_cast<uint64_t>(PRITimeStampCounterTime0(nullptr, nullptr));
    EXPECT_TRUE(slow % 1000 == 0 && millis * 1000 <= slow && slow <= uint64_t{MonotonicMillis()} * 1000);
    EXPECT_TRUE(tsc <= fast && fast <= time0 && time0 <= ReadTimeStampCounter());
    SleepMillis(200);
    double measured = static_cast<double>(ReadTimeStampCounter() - tsc) * 1000 / (MonotonicNanos() - nanos);
    EXPECT_NEAR(static_cast<double>(mhz), measured, measured * 0.05);
}

TEST(TSCCalibration, TwoCalibrationsOnABusyMachineAgreeWithinOnePercent) {
    if ((CpuId(1).edx & 0x10u) == 0) GTEST_SKIP() << "no time-stamp counter";
    std::atomic<bool> done{false};
    auto spin = [&] {
        while (!done) {
        }
    };
    std::thread busy[2] = {std::thread(spin), std::thread(spin)};
    int64_t first = PRIMeasureTSCRate(PRISystemClockSources());
    int64_t second = PRIMeasureTSCRate(PRISystemClockSources());
    done = true;
    for (std::thread &thread : busy) thread.join();
    EXPECT_NEAR(static_cast<double>(first), static_cast<double>(second), first * 0.01);
}
