// Measures the time-stamp counter's rate against 50 ms of the monotonic
// counter, with the process and the thread raised so that the measurement
// is not interrupted.
#include <memory>
#include <vector>

#include "pri/clock_internal.h"
#include "platform/thread.h"

namespace {

constexpr int64_t kMeasureMillis = 50;

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

int64_t PRIMeasureTSCRate(const PRIClockSources &sources) {
    int64_t target = sources.counterFrequency() / 1000 * kMeasureMillis;
    PriorityBoost boost;
    sources.counter();
    sources.timeStampCounter();  // warm-up
    int64_t start = sources.counter();
    auto first = static_cast<int64_t>(sources.timeStampCounter());
    while (sources.counter() - start < target) {
    }
    auto second = static_cast<int64_t>(sources.timeStampCounter());
    return (second - first) / (kMeasureMillis * 1000);
}
