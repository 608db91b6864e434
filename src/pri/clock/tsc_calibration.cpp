// Measures the time-stamp counter's rate against the monotonic counter, with
// the process and the thread raised. A busy machine may still take the
// processor away between two readings, so each end of a measurement is a
// counter stamp bracketed by two counter readings (the narrowest of a few
// tries), and the median of several measurements is kept: one run's answer
// is then the next run's within a fraction of a percent.
#include <algorithm>
#include <array>
#include <memory>
#include <vector>

#include "pri/clock/clock_internal.h"
#include "platform/thread.h"

namespace {

constexpr int kRounds = 5;
// Five rounds: 10 ms of the VM's start-up in all. Each end is read to within
// a bracket of some tens of nanoseconds, a few parts per million of a round.
constexpr int64_t kRoundMillis = 2;
constexpr int kBracketTries = 8;

// Raises the process's priority class and the calling thread's priority for
// its lifetime (best effort) and puts every thread back to the priority it
// had, rather than to a default, so a priority the user chose survives.
class PriorityBoost {
public:
    PriorityBoost() : thread_(OpenCurrentThread()), saved_(ProcessThreadPriorities()) {
        if (ThreadPriority(thread_.get()) == kThreadPriorityUnknown) return;
        raised_ = true;
        SetProcessPriorityClass(ProcessPriorityClass::Realtime);
        SetThreadPriority(thread_.get(), kThreadPriorityTimeCritical);
        YieldThread();
    }
    ~PriorityBoost() {
        if (raised_) RestoreThreadPriorities(saved_);
    }
    PriorityBoost(const PriorityBoost &) = delete;
    PriorityBoost &operator=(const PriorityBoost &) = delete;

private:
    struct CloseHandle {
        void operator()(ThreadHandle *handle) const { CloseThreadHandle(handle); }
    };
    std::unique_ptr<ThreadHandle, CloseHandle> thread_;
    std::vector<ThreadPriorityRecord> saved_;
    bool raised_ = false;
};

}  // namespace

PRITSCStamp PRITakeTSCStamp(const PRIClockSources &sources) {
    PRITSCStamp best{};
    int64_t narrowest = INT64_MAX;
    for (int i = 0; i < kBracketTries; ++i) {
        int64_t before = sources.counter();
        auto tsc = static_cast<int64_t>(sources.timeStampCounter());
        int64_t width = sources.counter() - before;
        if (width < narrowest) {
            narrowest = width;
            best = {before + width / 2, tsc};
        }
    }
    return best;
}

double PRITSCRateBetween(const PRITSCStamp &first, const PRITSCStamp &second, int64_t frequency) {
    double micros = static_cast<double>(second.counter - first.counter) * 1e6 / static_cast<double>(frequency);
    return micros > 0 ? static_cast<double>(second.tsc - first.tsc) / micros : 0;
}

namespace {

// Ticks per microsecond over one round.
double measureRound(const PRIClockSources &sources, int64_t frequency) {
    PRITSCStamp first = PRITakeTSCStamp(sources);
    int64_t target = frequency / 1000 * kRoundMillis;
    while (sources.counter() - first.counter < target) {
    }
    return PRITSCRateBetween(first, PRITakeTSCStamp(sources), frequency);
}

}  // namespace

int64_t PRIMeasureTSCRate(const PRIClockSources &sources) {
    int64_t frequency = sources.counterFrequency();
    if (frequency <= 0) return 0;
    PriorityBoost boost;
    sources.counter();
    sources.timeStampCounter();  // warm-up
    std::array<double, kRounds> rates{};
    for (double &rate : rates) rate = measureRound(sources, frequency);
    std::nth_element(rates.begin(), rates.begin() + kRounds / 2, rates.end());
    return static_cast<int64_t>(rates[kRounds / 2] + 0.5);
}
