// The metrics module's shared state and the steps its files share; tests
// drive the same steps with their own clock readings.
#pragma once

#include <jni.h>

#include <cstdint>

#include "metrics/metrics.h"

// Recent samples of one metric: (time, value) or (time, value1, value2)
// words per sample, time in seconds. Values are unsigned 32-bit quantities
// kept in the signed words of the serialized form.
struct MetricRingBuffer {
    int32_t type;
    int32_t *samples;
    int32_t capacity;  // samples
    int32_t next;
    int32_t wrapped;
};

constexpr int kMetricCount = 3;
// Summaries cut the ring buffer into windows of this many seconds.
constexpr int64_t kSummaryWindowSeconds = 3600;
// A metric whose countdown is below this is due in the current pass.
constexpr int32_t kDueToleranceMillis = 101;

// Lock order: timerMutex, then onMutex, then one metric's bufferMutex.
// The module's owner record. The running agent's is created when the library
// loads and never destroyed: the metrics loop runs until the process ends.
struct MetricsState {
    ZVServices *services = nullptr;
    char *hostName = nullptr;         // owned
    MetricRecord *metrics = nullptr;  // the registry once MetricsInit ran
    int32_t *enabled = nullptr;       // indices into metrics; guarded by onMutex
    int32_t enabledCount = 0;
    void *onMutex = nullptr;      // "MetricsOnMutex"
    void *timerMutex = nullptr;   // "TimerThreadMutex"
    void *loopMonitor = nullptr;  // "MetricsLoopMonitor"
    bool gateOpen = false;        // guarded by loopMonitor
    bool wakePending = false;     // guarded by loopMonitor
    bool hadPass = false;
    uint32_t previousPass = 0;       // monotonic milliseconds
    MetricRecord **all = nullptr;    // what getAllMetrics returns, built once
    int32_t allCount = 0;
    MetricRecord registry[kMetricCount];  // the built-in metrics
    // java.lang.Runtime for the heap sampler: found on first use and kept; a
    // failed lookup is tried again next sample.
    jobject runtime = nullptr;  // global reference
    jmethodID totalMemory = nullptr;
    jmethodID freeMemory = nullptr;

    MetricsState();
    MetricsState(const MetricsState &) = delete;
    MetricsState &operator=(const MetricsState &) = delete;
    // Releases the buffers and names the record owns.
    ~MetricsState();
};

MetricsState &Metrics();
// Installs state as the module's record and returns the one it replaces, to
// be freed once no thread uses it (tests).
MetricsState *MetricsInstall(MetricsState *state);

// The services record's locks and monitors; each accepts a null object and
// then does nothing, so a record without them degrades to no locking.
void *MetricLockCreate();
void MetricLockEnter(void *lock);
void MetricLockLeave(void *lock);
void *MetricMonitorAllocate(const char *name);
void MetricMonitorEnter(void *monitor);
void MetricMonitorExit(void *monitor);
void MetricMonitorWait(void *monitor, int32_t milliseconds);
void MetricMonitorNotify(void *monitor);
// A count from the services record (word 29, 30 or 31); 0 when absent.
int32_t MetricServiceCount(int word);

// The samplers of the built-in metrics.
void SampleJavaHeap(JNIEnv *env, int32_t *values);
void SampleThreadCount(JNIEnv *env, int32_t *values);
void SampleClassCount(JNIEnv *env, int32_t *values);

// Number of samples a metric's ring buffer holds for these settings, or 0
// when the settings are refused (a message says why).
int32_t MetricCapacity(const MetricRecord &metric, int32_t bufferSize, int32_t bufferSizeType,
                       int32_t period);
// Appends to storage one summary record (5 or 8 words from sMalloc) per
// window of the samples, in order.
void MetricSummarise(int32_t type, const int32_t *samples, int32_t count, ZVVector *storage);
// Takes one sample of a switched-on metric stamped with the given time.
void MetricTakeSample(MetricRecord *metric, JNIEnv *env, uint32_t seconds);
// One pass of the sampling loop at the given monotonic time: samples what is
// due and returns how long to wait (0: until notified).
int32_t MetricsLoopPass(JNIEnv *env, uint32_t nowMillis);
