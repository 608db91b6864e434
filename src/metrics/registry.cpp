// The built-in metrics and switching them on: MetricsInit, MetricOn and the
// registry questions of the exports.
#include <cstdio>
#include <cstring>

#include "config/config.h"
#include "ext/extensions.h"
#include "metrics/metrics_internal.h"
#include "support/containers.h"
#include "support/heap.h"

namespace {

const MetricRecord kBuiltIn[kMetricCount] = {
    {0, "Java Heap", 2, "Used", "Total", 0, 1, 0, 1, SampleJavaHeap, nullptr, nullptr, 0, 0, 0, 0, nullptr, nullptr},
    {5, "Thread Count", 2, "Active", "Total", 3, 1, 0, 1, SampleThreadCount, nullptr, nullptr, 0, 0, 0, 0, nullptr, nullptr},
    {6, "Class Count", 1, "Count", nullptr, 3, 1, 0, 0, SampleClassCount, nullptr, nullptr, 0, 0, 0, 0, nullptr, nullptr},
};

MetricsState *gState = new MetricsState();

constexpr int32_t kDefaultBufferSeconds = 36000;
constexpr int32_t kDefaultPeriod = 2;
constexpr int32_t kMinimumSamples = 50;
constexpr int32_t kStorageCapacity = 100;
// The countdown and the loop's wait are 32-bit milliseconds.
constexpr int32_t kLongestPeriod = INT32_MAX / 1000;

template <typename Function>
Function service(int word) {
    ZVServices *services = gState->services;
    return services != nullptr ? reinterpret_cast<Function>(services->words[word]) : nullptr;
}

int sampleBytes(int32_t type) { return (type + 1) * static_cast<int>(sizeof(int32_t)); }

MetricRecord *findById(int32_t id) {
    for (MetricRecord &metric : gState->registry) {
        if (metric.id == id) return &metric;
    }
    return nullptr;
}

bool isEnabled(int index) {
    for (int i = 0; i < gState->enabledCount; ++i) {
        if (gState->enabled[i] == index) return true;
    }
    return false;
}

void freeStorage(ZVVector *storage) {
    if (storage == nullptr) return;
    for (int i = 0; i < ZVVectorSize(storage); ++i) sFree(reinterpret_cast<void *>(ZVElementAt(storage, i)));
    ZVFreeVector(storage);
}

void freeRing(MetricRingBuffer *ring) {
    if (ring == nullptr) return;
    sFree(ring->samples);
    sFree(ring);
}

// Wakes the loop: the gate opens with the first metric, and a metric switched
// on later is sampled without waiting out the current sleep.
void wakeLoop(bool openGate) {
    MetricMonitorEnter(gState->loopMonitor);
    if (openGate) gState->gateOpen = true;
    gState->wakePending = true;
    MetricMonitorNotify(gState->loopMonitor);
    MetricMonitorExit(gState->loopMonitor);
}

}  // namespace

MetricsState::MetricsState() {
    for (int i = 0; i < kMetricCount; ++i) registry[i] = kBuiltIn[i];
}

MetricsState::~MetricsState() {
    for (MetricRecord &metric : registry) {
        freeRing(metric.entryBuff);
        freeStorage(metric.storageBuff);
    }
    sFree(hostName);
    sFree(enabled);
    sFree(all);
}

MetricsState &Metrics() { return *gState; }

MetricsState *MetricsInstall(MetricsState *state) {
    MetricsState *old = gState;
    gState = state;
    return old;
}

void *MetricLockCreate() {
    auto create = service<void *(*)()>(ZV_SERVICE_LOCK_CREATE);
    return create != nullptr ? create() : nullptr;
}
void MetricLockEnter(void *lock) {
    auto enter = service<void (*)(void *)>(ZV_SERVICE_LOCK_ENTER);
    if (lock != nullptr && enter != nullptr) enter(lock);
}
void MetricLockLeave(void *lock) {
    auto leave = service<void (*)(void *)>(ZV_SERVICE_LOCK_LEAVE);
    if (lock != nullptr && leave != nullptr) leave(lock);
}
void *MetricMonitorAllocate(const char *name) {
    auto allocate = service<void *(*)(const char *)>(9);
    return allocate != nullptr ? allocate(name) : nullptr;
}
void MetricMonitorEnter(void *monitor) {
    auto enter = service<int (*)(void *)>(10);
    if (monitor != nullptr && enter != nullptr) enter(monitor);
}
void MetricMonitorExit(void *monitor) {
    auto exit = service<void (*)(void *)>(11);
    if (monitor != nullptr && exit != nullptr) exit(monitor);
}
void MetricMonitorWait(void *monitor, int32_t milliseconds) {
    auto wait = service<void (*)(void *, int32_t)>(12);
    if (monitor != nullptr && wait != nullptr) wait(monitor, milliseconds);
}
void MetricMonitorNotify(void *monitor) {
    auto notify = service<void (*)(void *)>(13);
    if (monitor != nullptr && notify != nullptr) notify(monitor);
}
int32_t MetricServiceCount(int word) {
    auto count = service<jint (*)()>(word);
    return count != nullptr ? count() : 0;
}

void MetricsInit(const char *hostName, ZVServices *services) {
    sFree(gState->hostName);
    gState->hostName = const_cast<char *>(hostName);
    gState->services = services;
    gState->metrics = gState->registry;
    if (gState->enabled == nullptr) {
        gState->enabled = static_cast<int32_t *>(sMalloc(kMetricCount * sizeof(int32_t)));
    }
    gState->enabledCount = 0;
    // Once per process: a second start (tests load the agent many times)
    // keeps the locks the first made.
    if (gState->onMutex == nullptr) gState->onMutex = MetricLockCreate();
    // The sampling thread's start gate is a flag waited for on the loop
    // monitor rather than this mutex held until the first metric is on: a
    // mutex must be released by the thread that holds it, and a thread
    // blocked on one counts as running native code, which VM exit waits for.
    if (gState->timerMutex == nullptr) gState->timerMutex = MetricLockCreate();
    gState->gateOpen = false;
    if (gState->loopMonitor == nullptr) gState->loopMonitor = MetricMonitorAllocate("MetricsLoopMonitor");
}

int32_t MetricCapacity(const MetricRecord &metric, int32_t bufferSize, int32_t bufferSizeType, int32_t period) {
    if (bufferSizeType != 1 && bufferSizeType != 2) {
        fprintf(stderr, "** Invalid size type %d for metric %d %s **\n", bufferSizeType, metric.id, metric.name);
        return 0;
    }
    if (metric.type != 1 && metric.type != 2) {
        fprintf(stderr, "** Invalid type %d for metric %d %s **\n", metric.type, metric.id, metric.name);
        return 0;
    }
    // A period below one second would divide by zero or sample without pause.
    if (period < 1 || period > kLongestPeriod) {
        fprintf(stderr, "** Invalid period %d for metric %d %s **\n", period, metric.id, metric.name);
        return 0;
    }
    const char *tooSmall =
        "Buffer size specified for metric '%s' is too small, using minimum default value of %d samples...\n";
    int64_t capacity;
    if (bufferSizeType == 2) {
        int32_t minimum = kMinimumSamples * sampleBytes(metric.type);
        if (bufferSize < minimum) {
            fprintf(stderr, tooSmall, metric.name, kMinimumSamples);
            bufferSize = minimum;
        }
        capacity = bufferSize / sampleBytes(metric.type);
    } else {
        capacity = bufferSize / period;
        if (capacity < kMinimumSamples) {
            fprintf(stderr, tooSmall, metric.name, kMinimumSamples);
            capacity = kMinimumSamples;
        }
    }
    // The heap takes allocation sizes as int.
    if (capacity * sampleBytes(metric.type) > INT32_MAX) {
        fprintf(stderr, "** Buffer size %d too large for metric %d %s **\n", bufferSize, metric.id, metric.name);
        return 0;
    }
    return static_cast<int32_t>(capacity);
}

int MetricOn(int32_t id, int32_t bufferSize, int32_t bufferSizeType, int32_t period) {
    MetricRecord *metric = findById(id);
    if (metric == nullptr) {
        fprintf(stderr, "** Failed to find metrid with ID %d **\n", id);
        return -1;
    }
    int index = static_cast<int>(metric - gState->registry);
    MetricLockEnter(gState->onMutex);
    // Buffers are made only for a metric that has none: the loop may be
    // sampling into the ones it has.
    if (isEnabled(index) || metric->entryBuff != nullptr) {
        fprintf(stderr, "** Metric already on %d %s **\n", metric->id, metric->name);
        MetricLockLeave(gState->onMutex);
        return -1;
    }
    // Settings are checked before anything is made, so a refused metric
    // stays entirely off.
    int32_t capacity = MetricCapacity(*metric, bufferSize, bufferSizeType, period);
    MetricRingBuffer *ring = nullptr;
    ZVVector *storage = nullptr;
    void *mutex = nullptr;
    if (capacity > 0) {
        ring = static_cast<MetricRingBuffer *>(sMalloc(sizeof(MetricRingBuffer)));
        storage = ZVNewVector(kStorageCapacity);
        if (ring != nullptr) {
            *ring = MetricRingBuffer{metric->type, nullptr, capacity, 0, 0};
            ring->samples = static_cast<int32_t *>(sMalloc(capacity * sampleBytes(metric->type)));
        }
        if (ring == nullptr || ring->samples == nullptr || storage == nullptr) {
            fprintf(stderr, "** Failed to allocate the buffers of metric %d %s **\n", metric->id, metric->name);
            freeRing(ring);
            freeStorage(storage);
            capacity = 0;
        } else {
            mutex = MetricLockCreate();  // "Buffer_mutex"
        }
    }
    if (capacity == 0) {
        MetricLockLeave(gState->onMutex);
        return -1;
    }
    metric->hname = gState->hostName;
    metric->period = period;
    metric->countdown = 0;
    metric->bufferMutex = mutex;
    metric->storageBuff = storage;
    metric->entryBuff = ring;
    metric->enable = 1;
    metric->active = 1;
    if (gState->enabled != nullptr) gState->enabled[gState->enabledCount++] = index;
    MetricLockLeave(gState->onMutex);
    wakeLoop(true);
    return 0;
}

void MetricOnFromSetting(const ZVMetricSetting *setting) {
    if (setting == nullptr || setting->name == nullptr) return;
    for (const MetricRecord &metric : gState->registry) {
        if (std::strcmp(metric.name, setting->name) != 0) continue;
        if (metric.id == -1) return;
        int32_t size = setting->bufferSize, sizeType = setting->bufferSizeType, period = setting->period;
        if (sizeType == -1 || size == -1) {
            size = kDefaultBufferSeconds;
            sizeType = 1;
        }
        if (period == -1) period = kDefaultPeriod;
        MetricOn(metric.id, size, sizeType, period);
        return;
    }
}

void AllMetricsOn(void) {
    for (const MetricRecord &metric : kBuiltIn) MetricOn(metric.id, kDefaultBufferSeconds, 1, kDefaultPeriod);
}

MetricRecord **getAllMetrics(int32_t *count) {
    // Built once: callers keep the array, so it is never replaced.
    MetricLockEnter(gState->onMutex);
    if (gState->all == nullptr) {
        gState->all = static_cast<MetricRecord **>(sMalloc(kMetricCount * sizeof(MetricRecord *)));
        gState->allCount = 0;
        for (MetricRecord &metric : gState->registry) {
            if (gState->all != nullptr && metric.enable) gState->all[gState->allCount++] = &metric;
        }
    }
    MetricLockLeave(gState->onMutex);
    if (count != nullptr) *count = gState->allCount;
    return gState->all;
}

MetricRecord *getMetric(int32_t id) { return findById(id); }

int32_t hasMetricsData(void) {
    bool data = false;
    MetricLockEnter(gState->onMutex);
    for (MetricRecord &metric : gState->registry) {
        if (data || metric.entryBuff == nullptr) continue;
        MetricLockEnter(metric.bufferMutex);
        data = (metric.storageBuff != nullptr && ZVVectorSize(metric.storageBuff) > 0) ||
               metric.entryBuff->wrapped || metric.entryBuff->next > 0;
        MetricLockLeave(metric.bufferMutex);
    }
    MetricLockLeave(gState->onMutex);
    return data ? 1 : 0;
}

ZVServices *getMetricsCallback(void) { return gState->services; }

int32_t areMetricsOffline(void) { return 0; }

void metricsChanged(void) {
    MetricLockEnter(gState->timerMutex);
    MetricLockEnter(gState->onMutex);
    gState->enabledCount = 0;
    for (int i = 0; i < kMetricCount && gState->enabled != nullptr; ++i) {
        if (!gState->registry[i].active) continue;
        gState->registry[i].countdown = 0;
        gState->enabled[gState->enabledCount++] = i;
    }
    MetricLockLeave(gState->onMutex);
    MetricLockLeave(gState->timerMutex);
    wakeLoop(false);
}
