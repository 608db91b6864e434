// Exact method timing as a service of the agent: the context class reads the
// clock at the entries and exits of the timed methods once its flag is set,
// keeps a call tree per thread, and merges the trees on request.
#include <jni.h>

#include <algorithm>
#include <cstdint>

#include "contract/java_contract.h"
#include "pri/clock/clock.h"
#include "pri/runtime/context_runtime.h"
#include "zvi.h"

namespace {

namespace jc = java_contract;

jclass contextClass(JNIEnv *env) { return env != nullptr ? PRIState().contextClass : nullptr; }

// Time-stamp counter: ticks per microsecond; monotonic counter: nanoseconds,
// its frequency in ticks per millisecond; millisecond timer: microseconds.
double nanosPerTick() {
    int32_t mode = PRI_CLOCK_MILLIS;
    int64_t frequency = PRIGetClockFrequency(&mode);
    if (frequency <= 0) return 1000.0;
    switch (mode) {
        case PRI_CLOCK_TSC: return 1000.0 / static_cast<double>(frequency);
        case PRI_CLOCK_COUNTER: return 1e6 / static_cast<double>(frequency);
        default: return 1000.0;
    }
}

}  // namespace

int zviTimeMethods(JNIEnv *env, const int32_t *numbers, int32_t count) {
    jclass context = contextClass(env);
    if (context == nullptr || count < 0 || (numbers == nullptr && count > 0)) return 0;
    jmethodID mark = env->GetStaticMethodID(context, jc::kMarkTimed.name, jc::kMarkTimed.descriptor);
    jintArray array = mark != nullptr ? env->NewIntArray(count) : nullptr;
    if (array != nullptr) {
        env->SetIntArrayRegion(array, 0, count, reinterpret_cast<const jint *>(numbers));
        env->CallStaticVoidMethod(context, mark, array);
        env->DeleteLocalRef(array);
    }
    return PRIClearException(env) || array == nullptr ? 0 : 1;
}

int zviStartMethodTiming(JNIEnv *env, int onlyMarked) {
    jclass context = contextClass(env);
    // The context class reads the clock natives, bound by the bootstrap.
    if (context == nullptr || !PRIState().bootstrapDone) return 0;
    // An empty mark list first, so that no method is timed before it is marked.
    if (onlyMarked != 0 && zviTimeMethods(env, nullptr, 0) == 0) return 0;
    return PRISetContextSwitch(env, context, jc::kTimeMethods.name, true) ? 1 : 0;
}

int64_t *zviGetMethodTimes(JNIEnv *env, int32_t *outNodes) {
    if (outNodes != nullptr) *outNodes = 0;
    jclass context = contextClass(env);
    if (context == nullptr || outNodes == nullptr) return nullptr;
    jmethodID read = env->GetStaticMethodID(context, jc::kMethodTimes.name, jc::kMethodTimes.descriptor);
    auto times = read != nullptr ? static_cast<jlongArray>(env->CallStaticObjectMethod(context, read)) : nullptr;
    if (PRIClearException(env) || times == nullptr) return nullptr;
    jsize length = env->GetArrayLength(times);
    // The heap's blocks are counted in an int: a larger tree is not handed over.
    int32_t nodes = std::min<int32_t>(length, INT32_MAX / sizeof(int64_t) - 1) / ZV_TIMED_NODE_WORDS;
    auto *values = static_cast<int64_t *>(
        sMalloc(static_cast<int>((nodes * ZV_TIMED_NODE_WORDS + 1) * sizeof(int64_t))));
    if (values != nullptr) {
        env->GetLongArrayRegion(times, 0, nodes * ZV_TIMED_NODE_WORDS, reinterpret_cast<jlong *>(values));
        *outNodes = nodes;
        // The Java side times in the clock's units: nanoseconds for the caller.
        double scale = nanosPerTick();
        for (int32_t node = 0; node < nodes; ++node)
            for (int word = 3; word < ZV_TIMED_NODE_WORDS; ++word) {
                int64_t &time = values[node * ZV_TIMED_NODE_WORDS + word];
                time = static_cast<int64_t>(static_cast<double>(time) * scale + 0.5);
            }
    }
    env->DeleteLocalRef(times);
    return values;
}
