#include "sampler.h"

#include <time.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "profiler_state.h"
#include "zvi.h"

namespace profiler {

namespace {

constexpr const char *kThreadName = "profiler sampler";
constexpr const char *kSystemPrefix = "__ZV__";

ProfilerState::Sampler &state() { return Profiler().sampler; }

void release(JNIEnv *self, JNIEnv *thread) {
    auto found = state().records.find(thread);
    if (found == state().records.end()) return;
    zviFreeLowLevelBuffer(self, found->second);
    delete found->second;
    state().records.erase(found);
}

bool sampled(JNIEnv *self, JNIEnv *thread) {
    if (thread == self || zviIsAuditThread(thread)) return false;
    const char *name = zviGetThreadName(thread);
    return name == nullptr || strncmp(name, kSystemPrefix, strlen(kSystemPrefix)) != 0;
}

int64_t monotonicNanos() {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

std::string threadName(JNIEnv *thread) {
    zviDataLock();  // the registry frees the name when the thread ends
    const char *name = zviGetThreadName(thread);
    std::string copy = name != nullptr ? name : "?";
    zviDataUnlock();
    return copy;
}

ThreadState stateOf(JNIEnv *thread) {
    switch (zviGetThreadState(thread)) {
        case ZV_THREAD_BLOCKED: return kBlocked;
        case ZV_THREAD_WAITING: return kWaiting;
        case ZV_THREAD_SLEEPING: return kSleeping;
        case ZV_THREAD_NATIVE: return kNative;
        default: return kRunning;
    }
}

// CPU time the thread used since its previous snapshot; -1 when its clock
// cannot be read. A thread seen for the first time counts from its start
// when it started since the previous snapshot; one that has used more CPU
// time than that (there at the first snapshot, or registered again under a
// new name, as the main thread is at the exit) counts from now on.
int64_t cpuUsed(ZVSampleRecord &record, int64_t elapsed) {
    int64_t now = zviGetThreadCPUTime(record.thread);
    if (now < 0) return -1;
    auto before = static_cast<int64_t>(record.callerWord);
    record.callerWord = static_cast<ZVWord>(now);
    if (before == 0 && (state().firstSnapshot || now > elapsed)) return 0;
    return now > before ? now - before : 0;
}

// Frames come top first, three words each: location, identifier, unused.
void addSample(const ZVSampleRecord &record, uint64_t weight, std::vector<Frame> &stack) {
    stack.clear();
    if (state().settings.threads) stack.push_back({Frame::kThread, state().threadNumbers[record.thread], 0});
    for (int32_t i = record.frameCount - 1; i >= 0; --i) {
        int32_t location = record.frames[3 * i], id = record.frames[3 * i + 1];
        stack.push_back({Frame::kMethod, id, location > 0 ? location : 0});
    }
    if (!state().settings.cpu) stack.push_back({Frame::kState, stateOf(record.thread), 0});
    state().profile.add(stack, weight);
}

void snapshot(JNIEnv *self, std::vector<ZVWord> &records, std::vector<Frame> &stack, std::vector<int64_t> &weights) {
    std::lock_guard<std::mutex> lock(state().profileMutex);
    if (state().stop) return;
    // The registry frees a thread's name when the thread ends: hold its lock
    // while the names are read. A thread is reported ended after it left the
    // registry, and its JNIEnv can be another thread's only after that: so
    // the ends taken under the same lock as the list are those of every
    // listed environment's earlier owner, whose records go first.
    std::vector<JNIEnv *> threads, ended;
    zviDataLock();
    for (JNIEnv **at = zviGetActiveThreads(); at != nullptr && *at != nullptr; ++at)
        if (sampled(self, *at)) threads.push_back(*at);
    {
        std::lock_guard<std::mutex> guard(state().endedMutex);
        ended.swap(state().ended);
    }
    zviDataUnlock();
    for (JNIEnv *thread : ended) release(self, thread);
    int64_t now = monotonicNanos();
    int64_t elapsed = state().firstSnapshot ? state().settings.periodMs * int64_t{1000000} : now - state().lastSnapshot;
    state().lastSnapshot = now;
    uint64_t cpu = 0;
    records.clear();
    weights.clear();
    for (JNIEnv *thread : threads) {
        ZVSampleRecord *&record = state().records[thread];
        if (record == nullptr) {
            record = new ZVSampleRecord{};
            record->thread = thread;
            if (state().settings.threads) {
                state().threadNumbers[thread] = static_cast<int32_t>(state().threadNames.size());
                state().threadNames.push_back(threadName(thread));
            }
        }
        // In CPU mode a sample weighs the CPU time its thread used since the
        // previous one: a thread that did not run has nothing to weigh.
        int64_t used = cpuUsed(*record, elapsed);
        if (used > 0) cpu += static_cast<uint64_t>(used);
        if (state().settings.cpu && used == 0) continue;
        records.push_back(reinterpret_cast<ZVWord>(record));
        weights.push_back(state().settings.cpu ? used : elapsed);
    }
    state().firstSnapshot = false;
    // Paused: the threads' CPU clocks are read on, so that the samples after
    // the pause weigh only what was used after it; nothing is added.
    if (state().paused) return;
    state().profile.addTime(static_cast<uint64_t>(elapsed), cpu);
    // The agent reads the records through a vector record over ours.
    ZVVector view{static_cast<int32_t>(records.size()), static_cast<int32_t>(records.size()), records.data()};
    zviSampleThreads(self, &view, 1);
    for (size_t i = 0; i < records.size(); ++i) {
        const auto *record = reinterpret_cast<const ZVSampleRecord *>(records[i]);
        // Without a CPU clock, a thread that ran stands for the whole period.
        int64_t weight = weights[i] >= 0 ? weights[i] : record->hasRun ? elapsed : 0;
        if (record->frameCount > 0 && weight > 0) addSample(*record, static_cast<uint64_t>(weight), stack);
    }
}

void sleepUntil(struct timespec &next) {
    next.tv_nsec += static_cast<long>(state().settings.periodMs) * 1000000L;
    while (next.tv_nsec >= 1000000000L) {
        next.tv_nsec -= 1000000000L;
        ++next.tv_sec;
    }
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr) != 0 && !state().stop) {
    }
    // After a long stall, start the period again from now rather than catch up.
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    if (now.tv_sec > next.tv_sec + 1) next = now;
}

void samplerMain(void *argument) {
    auto *self = static_cast<JNIEnv *>(argument);
    zviSetSamplerThread(self);
    std::vector<ZVWord> records;
    std::vector<Frame> stack;
    std::vector<int64_t> weights;
    struct timespec next;
    clock_gettime(CLOCK_MONOTONIC, &next);
    int64_t intervalNanos = int64_t{state().settings.intervalSeconds} * 1000000000;
    int64_t intervalEnd = monotonicNanos() + intervalNanos;
    while (!state().stop) {
        sleepUntil(next);
        if (!state().stop) snapshot(self, records, stack, weights);
        if (intervalNanos > 0 && state().intervalHandler && !state().stop && monotonicNanos() >= intervalEnd) {
            state().intervalHandler();
            // After a stall (or slow writes), the next interval is a whole one from now.
            intervalEnd += intervalNanos;
            if (intervalEnd < monotonicNanos()) intervalEnd = monotonicNanos() + intervalNanos;
        }
    }
}

}  // namespace

bool StartSampler(const Settings &settings) {
    state().settings = settings;
    state().profile = Profile(settings.lines || !settings.pprof.empty());  // pprof locations carry lines
    state().started = zviCreateSystemThread(kThreadName, samplerMain) == JNI_OK;
    return state().started;
}

void ResetProfile() {
    std::lock_guard<std::mutex> lock(state().profileMutex);
    state().profile = Profile(state().profile.keepsLines());
}

void PauseSampling(bool paused) {
    std::lock_guard<std::mutex> lock(state().profileMutex);
    state().paused = paused;
}

bool SamplingPaused() { return state().paused; }

void OnInterval(std::function<void()> handler) { state().intervalHandler = std::move(handler); }

void StopSampler() {
    std::lock_guard<std::mutex> lock(state().profileMutex);
    state().stop = true;
}

void ThreadEnded(JNIEnv *env) {
    if (!state().started || state().stop) return;
    std::lock_guard<std::mutex> lock(state().endedMutex);
    state().ended.push_back(env);
}

Settings SamplerSettings() {
    std::lock_guard<std::mutex> lock(state().profileMutex);
    return state().settings;
}

void ReadProfile(const std::function<void(const Profile &, const std::vector<std::string> &)> &reader) {
    std::lock_guard<std::mutex> lock(state().profileMutex);
    reader(state().profile, state().threadNames);
}

}  // namespace profiler
