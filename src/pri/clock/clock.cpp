// The profiler clock: the mode and frequency chosen once per process, and
// the time routines that the Java side's natives are bound to. The routines
// are lock-free and run on every instrumented method entry and exit.
#include "pri/clock/clock.h"

#include <atomic>
#include <cstdio>
#include <mutex>

#include "platform/clock.h"
#include "platform/cpu.h"
#include "pri/clock/clock_internal.h"

namespace {

std::atomic<int> disableTSC{0};
std::atomic<int32_t> clockMode{PRI_CLOCK_MILLIS};
std::atomic<int64_t> clockFrequency{1};
std::atomic<bool> initialized{false};
std::mutex initializing;  // a lazy frequency query may race the initialisation

// The time-stamp counter's rate is measured from the clock's initialisation
// (the agent's load) to the first time the rate is asked for (once the VM
// runs): a window of the VM's own start-up instead of one spent spinning.
constexpr int64_t kMinimumWindowMillis = 10;
std::atomic<bool> ratePending{false};
PRITSCStamp rateStart{};  // under initializing

void settleRate() {
    std::lock_guard<std::mutex> lock(initializing);
    if (!ratePending.load(std::memory_order_relaxed)) return;
    const PRIClockSources &sources = PRISystemClockSources();
    int64_t frequency = sources.counterFrequency();
    int64_t window = frequency / 1000 * kMinimumWindowMillis;
    while (sources.counter() - rateStart.counter < window) {
    }
    auto rate = static_cast<int64_t>(PRITSCRateBetween(rateStart, PRITakeTSCStamp(sources), frequency) + 0.5);
    PRIReportTSCRate(rate);
    clockFrequency = rate;
    ratePending.store(false, std::memory_order_release);
}

int64_t monotonicFrequency() { return kMonotonicFrequency; }
uint64_t timeStampCounter() { return ReadTimeStampCounter(); }
bool hasTimeStampCounter() { return (CpuId(1).edx & 0x10u) != 0; }

// timeGetTime() x 1000: 32-bit milliseconds widened, then multiplied in 64 bits.
jlong millisTimes1000() { return static_cast<jlong>(static_cast<uint64_t>(MonotonicMillis()) * 1000); }

}  // namespace

const PRIClockSources &PRISystemClockSources() {
    static const PRIClockSources sources{monotonicFrequency, MonotonicNanos, timeStampCounter,
                                         hasTimeStampCounter};
    return sources;
}

PRIClockChoice PRIChooseClock(const PRIClockSources &sources, int disable) {
    int64_t counterFrequency = sources.counterFrequency();
    if (counterFrequency <= 0) return {PRI_CLOCK_MILLIS, 1};
    if (disable == 0 && sources.hasTimeStampCounter()) {
        int64_t rate = PRIMeasureTSCRate(sources);
        PRIReportTSCRate(rate);
        return {PRI_CLOCK_TSC, rate};
    }
    return {PRI_CLOCK_COUNTER, counterFrequency / 1000};
}

void PRIReportTSCRate(int64_t rate) {
    // A note of the agent's, not the program's output.
    fprintf(stderr, "Determined CPU Frequency as %d Mhz\n", static_cast<int>(static_cast<uint32_t>(rate)));
    fprintf(stderr, "If you are running with SpeedStep on, or on a machine with multiple CPUs\n"
            "that have not had their TSCs synchronized, please re-run your application with the:\n"
            "\tdisableTSC=t\n"
            "flag set.\n");
    fflush(stderr);
}

void PRIClockSetDisableTSC(int disable) { disableTSC = disable; }

void PRIClockInitialize(void) {
    std::lock_guard<std::mutex> lock(initializing);
    if (initialized) return;
    const PRIClockSources &sources = PRISystemClockSources();
    if (disableTSC == 0 && sources.counterFrequency() > 0 && sources.hasTimeStampCounter()) {
        rateStart = PRITakeTSCStamp(sources);
        ratePending.store(true, std::memory_order_release);
        clockMode = PRI_CLOCK_TSC;
        initialized = true;
        return;
    }
    PRIClockChoice choice = PRIChooseClock(sources, disableTSC);
    clockFrequency = choice.frequency;
    clockMode = choice.mode;
    initialized = true;
}

int PRIClockIsInitialized(void) { return initialized ? 1 : 0; }

int32_t PRIClockMode(void) { return clockMode.load(std::memory_order_relaxed); }

int64_t PRIGetClockFrequency(int32_t *mode) {
    if (!initialized) PRIClockInitialize();
    if (ratePending.load(std::memory_order_acquire)) settleRate();
    if (mode != nullptr) *mode = clockMode;
    return clockFrequency;
}

jlong JNICALL PRITimeStampCounterTime0(JNIEnv *, jclass) { return static_cast<jlong>(ReadTimeStampCounter()); }

jlong JNICALL ZVContext_currentTimeFast(JNIEnv *, jclass) { return static_cast<jlong>(ReadTimeStampCounter()); }

jlong JNICALL ZVContext_currentTimeSlow(JNIEnv *, jclass) {
    if (clockMode.load(std::memory_order_relaxed) >= 0) return millisTimes1000();
    return MonotonicNanos();
}

jlong JNICALL ZVContext_frequency(JNIEnv *, jclass) { return PRIGetClockFrequency(nullptr); }
