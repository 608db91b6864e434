// Entry points of the metrics module as the agent core calls them. Minimal
// stand-ins until the metrics registry and its sampling loop fill them in.
#include "metrics/metrics.h"

#include <chrono>
#include <thread>

#include "support/heap.h"

namespace {
char *gHostName = nullptr;  // owned: MetricsInit takes the caller's copy
}

void MetricsInit(const char *hostName, ZVServices *) {
    sFree(gHostName);
    gHostName = const_cast<char *>(hostName);
}
void MetricOnFromSetting(const ZVMetricSetting *) {}
void AllMetricsOn(void) {}

// The loop never returns. Until metrics exist it waits in Java, on a lock
// object of its own, rather than sleeping in native code: HotSpot's exit
// waits up to 300 ms for threads that run native code, not for threads
// blocked in Object.wait.
void runMetricsLoop(JNIEnv *env) {
    jclass objectClass = env->FindClass("java/lang/Object");
    jmethodID wait = objectClass ? env->GetMethodID(objectClass, "wait", "()V") : nullptr;
    jobject lock = wait ? env->AllocObject(objectClass) : nullptr;
    if (lock != nullptr && env->MonitorEnter(lock) == JNI_OK) {
        for (;;) {
            env->CallVoidMethod(lock, wait);
            env->ExceptionClear();  // an interrupt ends one wait, not the loop
        }
    }
    env->ExceptionClear();
    for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
}
