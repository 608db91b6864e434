// The profiler clock: mode and frequency from chosen sources, the calibration
// against a counter with known readings and its priority boost, and the real
// clock initialised once per process (each in a child process of its own).
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>

#include "platform/clock.h"
#include "platform/cpu.h"
#include "platform/thread.h"
#include "pri/clock.h"
#include "pri/clock_internal.h"

namespace {

constexpr char kWarning[] =
    "If you are running with SpeedStep on, or on a machine with multiple CPUs\n"
    "that have not had their TSCs synchronized, please re-run your application with the:\n"
    "\tdisableTSC=t\n"
    "flag set.\n";

// A counter that advances by `step` nanoseconds per reading and a 2.4 GHz
// time-stamp counter that follows it; the first reading while spinning
// notes the priorities of the watched threads.
namespace fake {
int64_t frequency = 0;
bool hasTSC = true;
int64_t nanos = 0;
int64_t step = 100000;
ThreadHandle *watched[2] = {};
int prioritiesSeen[2] = {kThreadPriorityUnknown, kThreadPriorityUnknown};
int readings = 0;

int64_t counterFrequency() { return frequency; }
int64_t counter() {
    if (++readings == 3)
        for (int i = 0; i < 2; i++) prioritiesSeen[i] = ThreadPriority(watched[i]);
    return nanos += step;
}
uint64_t timeStampCounter() { return static_cast<uint64_t>(nanos) * 12 / 5; }
bool hasTimeStampCounter() { return hasTSC; }
const PRIClockSources sources{counterFrequency, counter, timeStampCounter, hasTimeStampCounter};
}  // namespace fake

PRIClockChoice choose(int64_t frequency, bool hasTSC, int disable, std::string *out) {
    fake::frequency = frequency;
    fake::hasTSC = hasTSC;
    testing::internal::CaptureStdout();
    PRIClockChoice choice = PRIChooseClock(fake::sources, disable);
    *out = testing::internal::GetCapturedStdout();
    return choice;
}

// Runs body in a forked child with its standard output captured; the child
// hands back the Report that body returns.
template <typename Report>
struct ChildRun {
    std::string out;
    Report report{};
    bool completed = false;
};

template <typename Report, typename Body>
ChildRun<Report> runInChild(Body body) {
    ChildRun<Report> run;
    int out[2], report[2];
    if (pipe(out) != 0 || pipe(report) != 0) return run;
    fflush(stdout);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        Report result = body();
        fflush(stdout);
        _exit(write(report[1], &result, sizeof result) == sizeof result ? 0 : 1);
    }
    close(out[1]);
    close(report[1]);
    char buffer[4096];
    for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;) run.out.append(buffer, n);
    run.completed = read(report[0], &run.report, sizeof run.report) == sizeof run.report;
    close(out[0]);
    close(report[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    run.completed = run.completed && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

// Lowering a nice value needs privileges; raising it never does.
bool canRaisePriority(ThreadHandle *self) {
    int before = ThreadPriority(self);
    SetThreadPriority(self, before - 1);
    bool raised = ThreadPriority(self) == before - 1;
    SetThreadPriority(self, before);
    return raised;
}

}  // namespace

TEST(ClockChoice, ModeAndFrequencyFollowTheSourcesAndTheSetting) {
    std::string out;
    PRIClockChoice choice = choose(3579545, true, 1, &out);
    EXPECT_EQ(choice.mode, PRI_CLOCK_COUNTER);
    EXPECT_EQ(choice.frequency, 3579);
    EXPECT_EQ(out, "");

    choice = choose(3579545, false, 0, &out);
    EXPECT_EQ(choice.mode, PRI_CLOCK_COUNTER);
    EXPECT_EQ(choice.frequency, 3579);

    choice = choose(0, true, 0, &out);  // no counter: the millisecond timer
    EXPECT_EQ(choice.mode, PRI_CLOCK_MILLIS);
    EXPECT_EQ(choice.frequency, 1);
    EXPECT_EQ(out, "");
}

TEST(ClockChoice, TimeStampCounterModeMeasuresTheRateAndPrintsIt) {
    std::string out;
    PRIClockChoice choice = choose(kMonotonicFrequency, true, 0, &out);
    EXPECT_EQ(choice.mode, PRI_CLOCK_TSC);
    EXPECT_EQ(choice.frequency, 2400);
    EXPECT_EQ(out, std::string("Determined CPU Frequency as 2400 Mhz\n") + kWarning);
}

TEST(TSCCalibration, RaisesEveryThreadWhileMeasuringAndPutsEachBackAsItWas) {
    ThreadHandle *self = OpenCurrentThread();
    int original = ThreadPriority(self);
    bool privileged = canRaisePriority(self);
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
    EXPECT_EQ(fake::prioritiesSeen[0], privileged ? kThreadPriorityTimeCritical : 3);
    EXPECT_EQ(fake::prioritiesSeen[1], privileged ? kThreadPriorityTimeCritical : 7);
    EXPECT_EQ(ThreadPriority(self), 3);
    EXPECT_EQ(ThreadPriority(other), 7);

    done = true;
    helper.join();
    SetThreadPriority(self, original);
    CloseThreadHandle(self);
}

TEST(Clock, WithTheCounterDisabledTheMonotonicCounterServesSilently) {
    struct Report {
        int initializedBefore;
        int32_t mode;
        int64_t frequency, nativeFrequency;
        bool slowIsTheCounter;
    };
    auto run = runInChild<Report>([] {
        Report r{};
        PRIClockSetDisableTSC(1);
        r.initializedBefore = PRIClockIsInitialized();
        r.frequency = PRIGetClockFrequency(&r.mode);  // initialises on first use
        r.nativeFrequency = ZVContext_frequency(nullptr, nullptr);
        int64_t before = MonotonicNanos();
        int64_t slow = ZVContext_currentTimeSlow(nullptr, nullptr);
        r.slowIsTheCounter = before <= slow && slow <= MonotonicNanos();
        return r;
    });
    ASSERT_TRUE(run.completed);
    EXPECT_EQ(run.report.initializedBefore, 0);
    EXPECT_EQ(run.report.mode, PRI_CLOCK_COUNTER);
    EXPECT_EQ(run.report.frequency, 1000000);
    EXPECT_EQ(run.report.nativeFrequency, 1000000);
    EXPECT_TRUE(run.report.slowIsTheCounter);
    EXPECT_EQ(run.out, "");
}

TEST(Clock, TimeStampCounterModeReportsItsRateOnceAndStampsInItsUnits) {
    struct Report {
        int32_t mode;
        int64_t frequency;
        double independentMHz;
        bool slowIsMillisTimes1000, fastIsTheCounter, time0IsTheCounter;
        int priorityBefore, priorityAfter;
    };
    auto run = runInChild<Report>([] {
        Report r{};
        ThreadHandle *self = OpenCurrentThread();
        SetThreadPriority(self, 4);
        r.priorityBefore = ThreadPriority(self);
        PRIClockInitialize();
        PRIClockInitialize();
        r.priorityAfter = ThreadPriority(self);
        r.frequency = PRIGetClockFrequency(&r.mode);

        uint64_t millis = MonotonicMillis();
        jlong slow = ZVContext_currentTimeSlow(nullptr, nullptr);
        r.slowIsMillisTimes1000 = slow % 1000 == 0 && millis * 1000 <= static_cast<uint64_t>(slow) &&
                                  static_cast<uint64_t>(slow) <= uint64_t{MonotonicMillis()} * 1000;
        uint64_t tsc = ReadTimeStampCounter();
        auto fast = static_cast<uint64_t>(ZVContext_currentTimeFast(nullptr, nullptr));
        auto time0 = static_cast<uint64_t>(PRITimeStampCounterTime0(nullptr, nullptr));
        uint64_t after = ReadTimeStampCounter();
        r.fastIsTheCounter = tsc <= fast && fast <= after;
        r.time0IsTheCounter = fast <= time0 && time0 <= after;

        int64_t nanos = MonotonicNanos();
        tsc = ReadTimeStampCounter();
        SleepMillis(200);
        r.independentMHz = static_cast<double>(ReadTimeStampCounter() - tsc) * 1000 /
                           static_cast<double>(MonotonicNanos() - nanos);
        CloseThreadHandle(self);
        return r;
    });
    ASSERT_TRUE(run.completed);
    EXPECT_EQ(run.report.mode, PRI_CLOCK_TSC);
    EXPECT_EQ(run.out, "Determined CPU Frequency as " + std::to_string(run.report.frequency) + " Mhz\n" + kWarning);
    EXPECT_NEAR(static_cast<double>(run.report.frequency), run.report.independentMHz,
                run.report.independentMHz * 0.05);
    EXPECT_TRUE(run.report.slowIsMillisTimes1000);
    EXPECT_TRUE(run.report.fastIsTheCounter);
    EXPECT_TRUE(run.report.time0IsTheCounter);
    EXPECT_EQ(run.report.priorityBefore, 4);
    EXPECT_EQ(run.report.priorityAfter, 4);
}
