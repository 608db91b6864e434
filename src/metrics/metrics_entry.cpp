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

// The loop never returns; until metrics exist it only sleeps.
void runMetricsLoop(JNIEnv *) {
    for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
}
