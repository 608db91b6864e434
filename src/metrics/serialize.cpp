// The metrics as an element tree for extension libraries: one map per metric
// that has been switched on, with its summaries and its samples in time order.
#include <cstdio>

#include "metrics/metrics_internal.h"
#include "support/containers.h"
#include "support/elements.h"

namespace {

void putInt(SEElement *map, const char *key, int32_t value) { SEMapPut(map, key, SENewInt32(value)); }

void putString(SEElement *map, const char *key, const char *value) {
    if (value != nullptr) SEMapPut(map, key, SENewStringFromC(value));
}

bool validType(const MetricRecord &metric, const char *suffix) {
    if (metric.type == 1 || metric.type == 2) return true;
    fprintf(stderr, "** Invalid metric type %d while serializing storage info of metric %s%s **\n", metric.type,
            metric.name, suffix);
    return false;
}

bool putStorage(SEElement *map, const MetricRecord &metric) {
    if (metric.storageBuff == nullptr) return true;
    if (!validType(metric, "")) return false;
    int words = 2 + 3 * metric.type;
    SEElement *list = SENewList(ZVVectorSize(metric.storageBuff));
    for (int i = 0; i < ZVVectorSize(metric.storageBuff); ++i) {
        auto *record = reinterpret_cast<const int32_t *>(ZVElementAt(metric.storageBuff, i));
        SEListAdd(list, SENewData(SE_INT32_DATA, record, words, 1));
    }
    SEMapPut(map, "storageBuff", list);
    return true;
}

// Oldest first: after a wrap the oldest sample is the one at the next index.
bool putEntries(SEElement *map, const MetricRecord &metric) {
    const MetricRingBuffer *ring = metric.entryBuff;
    if (!ring->wrapped && ring->next == 0) return true;
    if (!validType(metric, ring->wrapped ? " (2)" : " (3)")) return false;
    int words = ring->type + 1;
    SEElement *entries;
    if (ring->wrapped) {
        entries = SENewData(SE_INT32_DATA, ring->samples + ring->next * words, (ring->capacity - ring->next) * words, 1);
        SEAppendToInt32Data(entries, ring->samples, ring->next * words);
    } else {
        entries = SENewData(SE_INT32_DATA, ring->samples, ring->next * words, 1);
    }
    SEMapPut(map, "entryBuff", entries);
    return true;
}

SEElement *metricMap(const MetricRecord &metric) {
    SEElement *map = SENewMap(10, "metric_hash");
    putInt(map, "id", metric.id);
    putString(map, "name", metric.name);
    putInt(map, "type", metric.type);
    putString(map, "desc1", metric.desc1);
    putString(map, "desc2", metric.desc2);
    putString(map, "hname", metric.hname);
    putInt(map, "unit", metric.unit);
    putInt(map, "munique", metric.munique);
    putInt(map, "style", metric.style);
    putInt(map, "factor", metric.factor);
    putInt(map, "period", metric.period);
    putInt(map, "enable", metric.enable);
    if (!putStorage(map, metric) || !putEntries(map, metric)) {
        SEFree(map);
        return nullptr;
    }
    return map;
}

}  // namespace

SEElement *serializeMetrics(void) {
    MetricsState &state = Metrics();
    SEElement *root = SENewMap(1, "metric_hash");
    SEElement *list = SENewList(kMetricCount);
    // Holding the list's mutex keeps a metric from being switched on half-seen.
    MetricLockEnter(state.onMutex);
    for (int i = 0; state.metrics != nullptr && i < kMetricCount; ++i) {
        MetricRecord &metric = state.metrics[i];
        if (metric.entryBuff == nullptr) continue;
        MetricLockEnter(metric.bufferMutex);
        SEElement *map = metricMap(metric);
        MetricLockLeave(metric.bufferMutex);
        if (map != nullptr) {
            SEListAdd(list, map);
        } else {
            fprintf(stderr, "** Failed to save metric %d %s into snapshot **\n", metric.id, metric.name);
        }
    }
    MetricLockLeave(state.onMutex);
    SEMapPut(root, "metrics", list);
    return root;
}

void freeSerializedMetrics(SEElement *tree) {
    if (tree != nullptr) SEFree(tree);
}
