// The sampling loop on the audit system's metrics thread: each pass samples
// the metrics that are due and sleeps until the nearest next one.
#include <algorithm>

#include "metrics/metrics_internal.h"
#include "platform/clock.h"
#include "platform/thread.h"

namespace {

// Without the metrics module started there is nothing to sample; the thread
// then waits in Java for good, since VM exit waits for threads in native code.
void waitInJava(JNIEnv *env) {
    jclass objectClass = env->FindClass("java/lang/Object");
    jmethodID wait = objectClass != nullptr ? env->GetMethodID(objectClass, "wait", "()V") : nullptr;
    jobject lock = wait != nullptr ? env->AllocObject(objectClass) : nullptr;
    if (lock != nullptr && env->MonitorEnter(lock) == JNI_OK) {
        for (;;) {
            env->CallVoidMethod(lock, wait);
            env->ExceptionClear();  // an interrupt ends one wait, not the loop
        }
    }
    env->ExceptionClear();
}

}  // namespace

int32_t MetricsLoopPass(JNIEnv *env, uint32_t nowMillis) {
    MetricsState &state = Metrics();
    int64_t elapsed = state.hadPass ? int64_t(uint32_t(nowMillis - state.previousPass)) : 0;
    elapsed = std::min<int64_t>(elapsed, INT32_MAX);
    int32_t nearest = INT32_MAX;
    MetricLockEnter(state.onMutex);
    for (int i = 0; i < state.enabledCount; ++i) {
        MetricRecord &metric = state.metrics[state.enabled[i]];
        metric.countdown = static_cast<int32_t>(std::max<int64_t>(int64_t(metric.countdown) - elapsed, INT32_MIN));
        if (metric.countdown < kDueToleranceMillis) {
            MetricTakeSample(&metric, env, static_cast<uint32_t>(WallClockSeconds()));
            metric.countdown = metric.period * 1000;
        }
        nearest = std::min(nearest, metric.countdown);
    }
    int32_t count = state.enabledCount;
    MetricLockLeave(state.onMutex);
    state.previousPass = nowMillis;
    state.hadPass = true;
    if (count == 0) return 0;
    return nearest <= 0 ? 1 : nearest;
}

// The waits are on a VM raw monitor, so the thread counts as blocked, not
// as running native code, and VM exit does not wait for it.
void runMetricsLoop(JNIEnv *env) {
    MetricsState &state = Metrics();
    if (state.loopMonitor == nullptr) {
        if (env != nullptr) waitInJava(env);
        for (;;) SleepMillis(3600 * 1000);
    }
    MetricMonitorEnter(state.loopMonitor);
    while (!state.gateOpen) MetricMonitorWait(state.loopMonitor, 0);
    MetricMonitorExit(state.loopMonitor);
    for (;;) {
        uint32_t now = MonotonicMillis();
        // metricsChanged holds this while it rebuilds the enabled list.
        MetricLockEnter(state.timerMutex);
        MetricLockLeave(state.timerMutex);
        int32_t wait = MetricsLoopPass(env, now);
        MetricMonitorEnter(state.loopMonitor);
        // A change that came after the pass would otherwise wait out the sleep.
        if (!state.wakePending) MetricMonitorWait(state.loopMonitor, wait);
        state.wakePending = false;
        MetricMonitorExit(state.loopMonitor);
    }
}
