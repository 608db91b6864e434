// The thread sampler: for a list of threads, whether each ran since the last
// snapshot, and a copy of its instrumented call stack, read in place from the
// context's array while the thread keeps running.
#include <algorithm>

#include "platform/local_ref.h"
#include "platform/race_hints.h"
#include "pri/runtime/context_runtime.h"
#include "pri/runtime/markers.h"
#include "pri/rewrite/instrument.h"
#include "support/heap.h"

namespace {

constexpr int32_t kSeenBySnapshot = 1;  // bits of hasRunCounter; the context clears them
constexpr int32_t kSeenByQuery = 2;
constexpr jint kRunnable = 1;
constexpr jint kInterrupted = 0x4000;
constexpr int kFirstSampleFrames = 8;

// Sets mark in the context's hasRunCounter (looked up with the context
// class's other members at the bootstrap); true when it was clear.
bool markSeen(JNIEnv *env, jobject context, int32_t mark) {
    jfieldID field = PRIState().hasRunCounterField;
    if (field == nullptr) return false;
    jint counter = env->GetIntField(context, field);
    if ((counter & mark) != 0) return false;
    env->SetIntField(context, field, counter | mark);
    return true;
}

// Whether the VM says the thread is running and its CPU time moved.
bool vmSaysRan(JNIEnv *sampler, JNIEnv *thread) {
    const PRIAgentQueries &agent = PRIState().agent;
    if (agent.threadStatus == nullptr || agent.threadHasRun == nullptr) return false;
    bool classic = PRISettings().vm.greenThreads && agent.disableGC != nullptr && agent.suspendThread != nullptr;
    jint status = agent.threadStatus(thread);
    if (classic) {
        agent.disableGC();
        agent.suspendThread(thread);
    }
    bool ran = (status & ~kInterrupted) == kRunnable && agent.threadHasRun(sampler, thread, 0, 0) != 0;
    if (classic) {
        agent.resumeThread(thread);
        agent.enableGC();
    }
    return ran;
}

// Frames from the top of stack down, below the lowest "Overhead" marker,
// adjacent frames of one group as one, at most capacity; returns the count written.
int copyFrames(const jint *ints, int sp, int32_t *frames, int capacity) {
    int written = 0;
    uint32_t lastGroup = 0;
    for (int n = 0, i = sp; n < sp / 2 && written < capacity; ++n, i -= 2) {
        uint32_t id = static_cast<uint32_t>(ints[i + 1]);
        if (id == kPRIOverheadMarker) {
            written = 0;
            lastGroup = 0;
        } else if (!(PRIIsGroupMethodID(id) && id == lastGroup)) {
            frames[3 * written] = ints[i];
            frames[3 * written + 1] = static_cast<int32_t>(id);
            ++written;
            lastGroup = PRIIsGroupMethodID(id) ? id : 0;
        }
    }
    return written;
}

// A frame buffer for the record that holds frames (up to the most a sample
// keeps), sized by the depths the thread reached: most threads stay shallow,
// and a buffer for the deepest stack would cost every thread 88 KB. The
// first one starts small (96 bytes) and doubles to the depth of the first
// sample: a thread that waits a few frames deep pays for those frames.
bool roomFor(ZVSampleRecord *record, int frames) {
    frames = std::min(frames, kPRISampleFrames);
    if (record->capacity >= frames && record->capacity > 0) return true;
    int capacity = std::max(record->capacity, kFirstSampleFrames);
    while (capacity < frames) capacity = std::min(2 * capacity, kPRISampleFrames);
    auto *bigger = static_cast<int32_t *>(sMalloc(capacity * 3 * static_cast<int>(sizeof(int32_t))));
    if (bigger == nullptr) return record->capacity > 0;
    if (record->capacity > 0) sFree(record->frames);
    record->frames = bigger;
    record->capacity = capacity;
    return true;
}

void sampleOne(JNIEnv *sampler, ZVSampleRecord *record, bool includeIdle) {
    PRIRuntime &rt = PRIState();
    record->frameCount = 0;
    // The thread may end at any moment: its slot is read only under the
    // locks its end takes, and the record's reference is the sampler's own.
    if (record->context == nullptr) record->context = PRINewContextReference(sampler, record->thread);
    record->hasRun = record->context != nullptr && markSeen(sampler, record->context, kSeenBySnapshot) ? 1 : 0;
    if (record->hasRun == 0) record->hasRun = vmSaysRan(sampler, record->thread) ? 1 : 0;
    if (record->context == nullptr || (!includeIdle && record->hasRun == 0)) return;
    jint sp = sampler->GetIntField(record->context, rt.stackPointerField);
    if (sp < 0) return;
    LocalRef stack(sampler, static_cast<jintArray>(sampler->GetObjectField(record->context, rt.callStackField)));
    if (!stack) return;
    // The thread may grow its array meanwhile; this one stays as it is.
    jsize length = sampler->GetArrayLength(stack);
    if (sp > length - 2) sp = length - 2;
    if (!roomFor(record, sp / 2)) return;
    auto *ints = static_cast<jint *>(sampler->GetPrimitiveArrayCritical(stack, nullptr));
    if (ints != nullptr) {
        // The array is the running thread's, read in place (see the top).
        UncheckedReads javaHeap;
        record->frameCount = sp > 0 ? copyFrames(ints, sp, record->frames, record->capacity) : 0;
        sampler->ReleasePrimitiveArrayCritical(stack, ints, 0);
    }
}

}  // namespace

void PRISampleThreads(JNIEnv *sampler, ZVVector *records, int includeIdle) {
    if (sampler == nullptr || records == nullptr || PRIState().stackPointerField == nullptr) return;
    for (int i = 0; i < ZVVectorSize(records); ++i) {
        auto *record = reinterpret_cast<ZVSampleRecord *>(ZVElementAt(records, i));
        if (record != nullptr && record->thread != nullptr) sampleOne(sampler, record, includeIdle != 0);
    }
}

void PRIFreeSampleRecord(JNIEnv *env, void *pointer) {
    auto *record = static_cast<ZVSampleRecord *>(pointer);
    if (record == nullptr) return;
    if (record->capacity > 0) sFree(record->frames);
    if (record->context != nullptr && env != nullptr) env->DeleteGlobalRef(record->context);
    record->context = nullptr;
}

int PRISamplerThreadHasRun(JNIEnv *sampler, JNIEnv *thread) {
    if (PRIState().hasRunCounterField == nullptr) return 0;
    JNIEnv *env = sampler != nullptr ? sampler : getCurrentJNIEnv();
    jobject context = PRINewContextReference(env, thread);
    if (context == nullptr) return 0;
    bool first = markSeen(env, context, kSeenByQuery);
    env->DeleteGlobalRef(context);
    return first ? 1 : 0;
}
