#include "sampler.h"

#include <time.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "agent/agent.h"
#include "method_names.h"
#include "pri/runtime.h"
#include "support/containers.h"

namespace profiler {

namespace {

constexpr const char *kThreadName = "profiler sampler";
constexpr const char *kSystemPrefix = "__ZV__";

Settings gSettings;
std::atomic<bool> gStop{false};
std::mutex gProfileMutex;  // the profile and the records
Profile gProfile;
std::unordered_map<JNIEnv *, ZVSampleRecord *> gRecords;
std::atomic<bool> gStarted{false};
std::mutex gEndedMutex;
std::vector<JNIEnv *> gEnded;  // threads unregistered since the last snapshot

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

// Frames come top first, three words each: location, identifier, unused.
void addSample(const ZVSampleRecord &record, std::vector<SampledFrame> &stack) {
    stack.clear();
    for (int32_t i = record.frameCount - 1; i >= 0; --i) {
        int32_t location = record.frames[3 * i], id = record.frames[3 * i + 1];
        SampledFrame frame;
        frame.method = FrameName(id);
        frame.line = location > 0 ? location : 0;
        frame.name = gSettings.lines && frame.line > 0 ? frame.method + ":" + std::to_string(frame.line) : frame.method;
        stack.push_back(std::move(frame));
    }
    gProfile.add(stack);
}

void snapshot(JNIEnv *self, ZVVector *records, std::vector<SampledFrame> &stack) {
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
    ZVRemoveAllElements(records);
    for (JNIEnv *thread : threads) {
        ZVSampleRecord *&record = gRecords[thread];
        if (record == nullptr) {
            record = new ZVSampleRecord{};
            record->thread = thread;
        }
        ZVAddElement(records, reinterpret_cast<ZVWord>(record));
    }
    zviSampleThreads(self, records, gSettings.cpu ? 0 : 1);
    for (int i = 0; i < ZVVectorSize(records); ++i) {
        const auto *record = reinterpret_cast<const ZVSampleRecord *>(ZVElementAt(records, i));
        if (record->frameCount > 0 && (!gSettings.cpu || record->hasRun)) addSample(*record, stack);
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

// The agent hands its CPU profiler options to the Java side just after the
// extensions start: they are read there until they have arrived.
bool adoptAgentOptions(JNIEnv *env) {
    jclass main = env->FindClass("meridyn/audit/Main");
    jfieldID period = main != nullptr ? env->GetStaticFieldID(main, "samplerPeriod", "I") : nullptr;
    jfieldID time = main != nullptr ? env->GetStaticFieldID(main, "samplerTime", "I") : nullptr;
    bool arrived = false;
    if (period != nullptr && time != nullptr) {
        jint samplerPeriod = env->GetStaticIntField(main, period);
        arrived = samplerPeriod != 0;
        std::lock_guard<std::mutex> lock(gProfileMutex);
        if (arrived) AdoptAgentOptions(gSettings, samplerPeriod, env->GetStaticIntField(main, time));
    }
    if (env->ExceptionCheck()) env->ExceptionClear();
    if (main != nullptr) env->DeleteLocalRef(main);
    return arrived || main == nullptr;
}

void samplerMain(void *argument) {
    auto *self = static_cast<JNIEnv *>(argument);
    zviSetSamplerThread(self);
    ZVVector *records = ZVNewVector(16);
    std::vector<SampledFrame> stack;
    struct timespec next;
    clock_gettime(CLOCK_MONOTONIC, &next);
    // Until the audit system is up (a few samples at most).
    int optionChecks = 20;
    while (!gStop) {
        sleepUntil(next);
        if (optionChecks > 0 && adoptAgentOptions(self)) optionChecks = 0;
        else if (optionChecks > 0) --optionChecks;
        if (!gStop) snapshot(self, records, stack);
    }
    ZVFreeVector(records);
}

}  // namespace

bool StartSampler(const Settings &settings) {
    gSettings = settings;
    gStarted = zviCreateSystemThread(kThreadName, samplerMain) == JNI_OK;
    return gStarted;
}

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

void ReadProfile(const std::function<void(const Profile &)> &reader) {
    std::lock_guard<std::mutex> lock(gProfileMutex);
    reader(gProfile);
}

}  // namespace profiler
