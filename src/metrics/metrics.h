// Metrics as the agent core starts them at VM initialisation: the registry,
// switching metrics on, and the sampling loop.
#pragma once

#include <jni.h>

struct ZVServices;
struct ZVMetricSetting;

// Stores the host name (taking ownership of the copy) and the services
// record, and prepares the loop.
void MetricsInit(const char *hostName, ZVServices *services);
// Switches on the built-in metric named by a configured setting.
void MetricOnFromSetting(const ZVMetricSetting *setting);
// Switches on the built-in metrics with their default buffers.
void AllMetricsOn(void);
// The body of the sampling thread; does not return.
void runMetricsLoop(JNIEnv *env);
