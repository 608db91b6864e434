#include "event_profiles.h"

#include <cmath>
#include <mutex>
#include <unordered_map>

#include "profiler_state.h"
#include "reports.h"
#include "zvi.h"

namespace profiler {

namespace {

using EventProfile = ProfilerState::Events;

void add(EventProfile &events, JNIEnv *env, const char *signature, uint64_t weight) {
    // Frames come top first.
    PRIBacktrace *backtrace = zviGetCurrentBacktraceForEnv(env);
    std::vector<Frame> stack;
    int32_t count = backtrace != nullptr && backtrace->frames != nullptr ? backtrace->count : 0;
    stack.reserve(static_cast<size_t>(count) + 1);
    for (int32_t i = count - 1; i >= 0; --i) {
        const PRIBacktraceFrame &frame = backtrace->frames[i];
        stack.push_back({Frame::kMethod, frame.method, frame.location > 0 ? frame.location : 0});
    }
    std::string name = ClassName(signature);
    std::lock_guard<std::mutex> lock(events.mutex);
    auto [found, fresh] = events.numbers.emplace(name, static_cast<int32_t>(events.labels.size()));
    if (fresh) events.labels.push_back(name);
    stack.push_back({Frame::kLabel, found->second, 0});
    events.profile.add(stack, weight);
}

// A sample stands for the bytes allocated since the previous one: about the
// interval for objects much smaller than it; an object of size s is picked
// with the chance 1 - e^(-s/interval), so it weighs s divided by that.
void allocationSampled(JNIEnv *env, const char *signature, int64_t size) {
    double bytes = size > 0 ? static_cast<double>(size) : 1.0;
    double weight = bytes / -std::expm1(-bytes / Profiler().allocationInterval);
    add(Profiler().allocations, env, signature, static_cast<uint64_t>(weight + 0.5));
}

void monitorContended(JNIEnv *env, const char *signature, int64_t blockedNanos) {
    add(Profiler().locks, env, signature, static_cast<uint64_t>(blockedNanos > 0 ? blockedNanos : 0));
}

}  // namespace

bool StartAllocationProfile(long intervalBytes) {
    Profiler().allocationInterval = static_cast<double>(intervalBytes);
    return zviStartAllocationSampling(intervalBytes, allocationSampled) != 0;
}

bool StartLockProfile() { return zviStartContentionEvents(monitorContended) != 0; }

void ReadEventProfile(Kind kind,
                      const std::function<void(const Profile &, const std::vector<std::string> &)> &reader) {
    EventProfile &events = kind == Kind::kAlloc ? Profiler().allocations : Profiler().locks;
    std::lock_guard<std::mutex> lock(events.mutex);
    reader(events.profile, events.labels);
}

void ResetEventProfiles() {
    for (EventProfile *events : {&Profiler().allocations, &Profiler().locks}) {
        std::lock_guard<std::mutex> lock(events->mutex);
        events->profile = Profile(events->profile.keepsLines());
    }
}

}  // namespace profiler
