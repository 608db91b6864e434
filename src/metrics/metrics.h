// Metrics: a fixed set of VM-wide metrics sampled on the audit system's
// metrics thread into ring buffers and hourly summaries, handed out as
// element trees. The agent core starts them at VM initialisation; extension
// libraries read them through the exports.
#pragma once

#include <jni.h>

#include <cstdint>

#include "platform/export.h"

struct SEElement;
struct ZVMetricSetting;
struct ZVServices;
struct ZVVector;
struct MetricRingBuffer;

// One sampler call fills the value words of one sample (one or two words).
typedef void (*MetricSampler)(JNIEnv *env, int32_t *values);

// One per built-in metric; extensions read these records in place.
struct MetricRecord {
    int32_t id;  // -1: never switched on from a setting
    const char *name;
    int32_t type;  // 1: one value per sample; 2: two values
    const char *desc1;
    const char *desc2;
    int32_t unit;
    int32_t factor;
    int32_t munique;
    int32_t style;
    MetricSampler sampler;
    MetricRingBuffer *entryBuff;  // null until switched on
    ZVVector *storageBuff;        // of int32_t summary records (5 or 8 words), or null
    int32_t period;               // seconds between samples
    int32_t enable;
    int32_t active;     // the metrics metricsChanged samples
    int32_t countdown;  // milliseconds until the next sample
    const char *hname;
    void *bufferMutex;  // "Buffer_mutex": guards entryBuff and storageBuff
};

// Stores the host name (taking ownership of the copy; null is accepted) and
// the services record, and prepares the loop.
void MetricsInit(const char *hostName, ZVServices *services);
// Switches one metric on; size type 1 is seconds, 2 bytes. 0 on success,
// -1 (with a message on standard error) when the metric stays off.
int MetricOn(int32_t id, int32_t bufferSize, int32_t bufferSizeType, int32_t period);
// Switches on the built-in metric named by a configured setting.
void MetricOnFromSetting(const ZVMetricSetting *setting);
// Switches on the built-in metrics with their default buffers.
void AllMetricsOn(void);
// The body of the metrics thread; does not return.
void runMetricsLoop(JNIEnv *env);

ZV_EXPORT MetricRecord **getAllMetrics(int32_t *count);
ZV_EXPORT MetricRecord *getMetric(int32_t id);
ZV_EXPORT int32_t hasMetricsData(void);
ZV_EXPORT SEElement *serializeMetrics(void);
ZV_EXPORT void freeSerializedMetrics(SEElement *tree);
ZV_EXPORT ZVServices *getMetricsCallback(void);
ZV_EXPORT int32_t areMetricsOffline(void);
ZV_EXPORT void metricsChanged(void);
