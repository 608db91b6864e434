// The samplers of the built-in metrics: the Java heap through JNI on the
// metrics thread, thread and class counts from the services record.
#include <cstdio>

#include "metrics/metrics_internal.h"

namespace {

bool failed(JNIEnv *env, const char *message) {
    fputs(message, stderr);
    env->ExceptionClear();
    return false;
}

bool findRuntime(JNIEnv *env) {
    MetricsState &metrics = Metrics();
    if (metrics.runtime != nullptr) return true;
    jclass runtimeClass = env->FindClass("java/lang/Runtime");
    if (runtimeClass == nullptr) return failed(env, "** Zentrova Error: failed to find Runtime class **\n");
    bool found = false;
    jmethodID getRuntime = env->GetStaticMethodID(runtimeClass, "getRuntime", "()Ljava/lang/Runtime;");
    if (getRuntime == nullptr) {
        failed(env, "** Zentrova Error: failed to find getRuntime object **\n");
    } else if (jobject runtime = env->CallStaticObjectMethod(runtimeClass, getRuntime);
               runtime == nullptr || env->ExceptionCheck()) {
        failed(env, "** Zentrova Error: failed to  retrieve Runtime **\n");
    } else {
        metrics.totalMemory = env->GetMethodID(runtimeClass, "totalMemory", "()J");
        metrics.freeMemory =
            metrics.totalMemory != nullptr ? env->GetMethodID(runtimeClass, "freeMemory", "()J") : nullptr;
        if (metrics.freeMemory == nullptr) {
            failed(env, "** Zentrova Error: failed to retrieve free/totalMemory methods **\n");
        } else {
            metrics.runtime = env->NewGlobalRef(runtime);
            found = metrics.runtime != nullptr;
        }
        env->DeleteLocalRef(runtime);
    }
    env->DeleteLocalRef(runtimeClass);
    return found;
}

// Sizes are unsigned 32-bit words in the sample: a larger heap reads as the
// largest size a word holds rather than as its low bits.
int32_t sizeWord(jlong bytes) {
    if (bytes <= 0) return 0;
    if (bytes >= jlong(UINT32_MAX)) return static_cast<int32_t>(UINT32_MAX);
    return static_cast<int32_t>(static_cast<uint32_t>(bytes));
}

}  // namespace

void SampleJavaHeap(JNIEnv *env, int32_t *values) {
    MetricsState &metrics = Metrics();
    if (env == nullptr || !findRuntime(env)) return;
    jlong total = env->CallLongMethod(metrics.runtime, metrics.totalMemory);
    jlong free = env->ExceptionCheck() ? 0 : env->CallLongMethod(metrics.runtime, metrics.freeMemory);
    if (env->ExceptionCheck()) {
        env->ExceptionClear();
        return;
    }
    values[0] = sizeWord(total - free);
    values[1] = sizeWord(total);
}

void SampleThreadCount(JNIEnv *, int32_t *values) {
    values[0] = MetricServiceCount(30);
    values[1] = MetricServiceCount(31);
}

void SampleClassCount(JNIEnv *, int32_t *values) { values[0] = MetricServiceCount(29); }
