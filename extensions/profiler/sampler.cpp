#include "sampler.h"

#include <time.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "zvi.h"

namespace profiler {

namespace {

constexpr const char *kThreadName = "profiler sampler";
constexpr const char *kSystemPrefix = "__ZV__";

// The state other threads read is never destroyed: VM threads (the audit
// port's, the sampler) may still read it while the process runs its exit
// destructors.
Settings &gSettings = *new Settings;
std::atomic<bool> gStop{false};
std::atomic<bool> gPaused{false};
std::mutex gProfileMutex;  // the profile and the records
Profile &gProfile = *new Profile;
std::unordered_map<JNIEnv *, ZVSampleRecord *> &gRecords = *new std::unordered_map<JNIEnv *, ZVSampleRecord *>;
// With threads=true: the number of each thread's record, and the names by number.
std::unordered_map<JNIEnv *, int32_t> &gThreadNumbers = *new std::unordered_map<JNIEnv *, int32_t>;
std::vector<std::string> &gThreadNames = *new std::vector<std::string>;
// A record's caller word holds its thread's CPU time at the previous snapshot.
bool gFirstSnapshot = true;
int64_t gLastSnapshot = 0;
std::atomic<bool> gStarted{false};
std::function<void()> &gIntervalHandler = *new std::function<void()>;
std::mutex gEndedMutex;
std::vector<JNIEnv *> &gEnded = *new std::vector<JNIEnv *>;  // threads unregistered since the last snapshot

void release(JNIEnv *self, JNIEnv *thread) {
    auto found = gRecords.find(thread);
    if (found == gRecords.end()) return;
    zviFreeLowLevelBuffer(self, found->second);
    delete found->second;
    gRecords.erase(found);
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
    if (before == 0 && (gFirstSnapshot || now > elapsed)) return 0;
    return now > before ? now - before : 0;
}

// Frames come top first, three words each: location, identifier, unused.
void addSample(const ZVSampleRecord &record, uint64_t weight, std::vector<Frame> &stack) {
    stack.clear();
    if (gSettings.threads) stack.push_back({Frame::kThread, gThreadNumbers[record.thread], 0});
    for (int32_t i = record.frameCount - 1; i >= 0; --i) {
        int32_t location = record.frames[3 * i], id = record.frames[3 * i + 1];
        stack.push_back({Frame::kMethod, id, location > 0 ? location : 0});
    }
    if (!gSettings.cpu) stack.push_back({Frame::kState, stateOf(record.thread), 0});
    gProfile.add(stack, weight);
}

void snapshot(JNIEnv *self, std::vector<ZVWord> &records, std::vector<Frame> &stack, std::vector<int64_t> &weights) {
    std::lock_guard<std::mutex> lock(gProfileMutex);
    if (gStop) return;
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
        std::lock_guard<std::mutex> guard(gEndedMutex);
        ended.swap(gEnded);
    }
    zviDataUnlock();
    for (JNIEnv *thread : ended) release(self, thread);
    int64_t now = monotonicNanos();
    int64_t elapsed = gFirstSnapshot ? gSettings.periodMs * int64_t{1000000} : now - gLastSnapshot;
    gLastSnapshot = now;
    uint64_t cpu = 0;
    records.clear();
    weights.clear();
    for (JNIEnv *thread : threads) {
        ZVSampleRecord *&record = gRecords[thread];
        if (record == nullptr) {
            record = new ZVSampleRecord{};
            record->thread = thread;
            if (gSettings.threads) {
                gThreadNumbers[thread] = static_cast<int32_t>(gThreadNames.size());
                gThreadNames.push_back(threadName(thread));
            }
        }
        // In CPU mode a sample weighs the CPU time its thread used since the
        // previous one: a thread that did not run has nothing to weigh.
        int64_t used = cpuUsed(*record, elapsed);
        if (used > 0) cpu += static_cast<uint64_t>(used);
        if (gSettings.cpu && used == 0) continue;
        records.push_back(reinterpret_cast<ZVWord>(record));
        weights.push_back(gSettings.cpu ? used : elapsed);
    }
    gFirstSnapshot = false;
    // Paused: the threads' CPU clocks are read on, so that the samples after
    // the pause weigh only what was used after it; nothing is added.
    if (gPaused) return;
    gProfile.addTime(static_cast<uint64_t>(elapsed), cpu);
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
    next.tv_nsec += static_cast<long>(gSettings.periodMs) * 1000000L;
    while (next.tv_nsec >= 1000000000L) {
        next.tv_nsec -= 1000000000L;
        ++next.tv_sec;
    }
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr) != 0 && !gStop) {
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
    int64_t intervalNanos = int64_t{gSettings.intervalSeconds} * 1000000000;
    int64_t intervalEnd = monotonicNanos() + intervalNanos;
    while (!gStop) {
        sleepUntil(next);
        if (!gStop) snapshot(self, records, stack, weights);
        if (intervalNanos > 0 && gIntervalHandler && !gStop && monotonicNanos() >= intervalEnd) {
            gIntervalHandler();
            // After a stall (or slow writes), the next interval is a whole one from now.
            intervalEnd += intervalNanos;
            if (intervalEnd < monotonicNanos()) intervalEnd = monotonicNanos() + intervalNanos;
        }
    }
}

}  // namespace

bool StartSampler(const Settings &settings) {
    gSettings = settings;
    gProfile = Profile(settings.lines || !settings.pprof.empty());  // pprof locations carry lines
    gStarted = zviCreateSystemThread(kThreadName, samplerMain) == JNI_OK;
    return gStarted;
}

void ResetProfile() {
    std::lock_guard<std::mutex> lock(gProfileMutex);
    gProfile = Profile(gProfile.keepsLines());
}

void PauseSampling(bool paused) {
    std::lock_guard<std::mutex> lock(gProfileMutex);
    gPaused = paused;
}

bool SamplingPaused() { return gPaused; }

void OnInterval(std::function<void()> handler) { gIntervalHandler = std::move(handler); }

void StopSampler() {
    std::lock_guard<std::mutex> lock(gProfileMutex);
    gStop = true;
}

void ThreadEnded(JNIEnv *env) {
    if (!gStarted || gStop) return;
    std::lock_guard<std::mutex> lock(gEndedMutex);
    gEnded.push_back(env);
}

Settings SamplerSettings() {
    std::lock_guard<std::mutex> lock(gProfileMutex);
    return gSettings;
}

void ReadProfile(const std::function<void(const Profile &, const std::vector<std::string> &)> &reader) {
    std::lock_guard<std::mutex> lock(gProfileMutex);
    reader(gProfile, gThreadNames);
}

}  // namespace profiler
