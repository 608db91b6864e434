// A metric's samples: the ring buffer it is sampled into, and the summaries
// of a full buffer by windows of an hour.
#include "metrics/metrics_internal.h"
#include "support/containers.h"
#include "support/heap.h"

namespace {

uint32_t word(const int32_t *samples, int words, int32_t sample, int offset) {
    return static_cast<uint32_t>(samples[sample * words + offset]);
}

// One record for samples first..last: start, duration, then per value the
// minimum, the average and the maximum (value-interleaved for two values).
int32_t *summary(int32_t type, const int32_t *samples, int32_t first, int32_t last) {
    int words = type + 1;
    auto *record = static_cast<int32_t *>(sMalloc((2 + 3 * type) * static_cast<int>(sizeof(int32_t))));
    if (record == nullptr) return nullptr;
    uint32_t start = word(samples, words, first, 0);
    record[0] = static_cast<int32_t>(start);
    record[1] = static_cast<int32_t>(word(samples, words, last, 0) - start);
    int32_t count = last - first + 1;
    for (int v = 0; v < type; ++v) {
        // From the window's own first value: a value of 0 is a minimum too.
        uint32_t minimum = word(samples, words, first, 1 + v), maximum = minimum;
        uint64_t sum = 0;
        for (int32_t i = first; i <= last; ++i) {
            uint32_t value = word(samples, words, i, 1 + v);
            if (value < minimum) minimum = value;
            if (value > maximum) maximum = value;
            sum += value;
        }
        record[2 + v] = static_cast<int32_t>(minimum);
        record[2 + type + v] = static_cast<int32_t>(sum / static_cast<uint64_t>(count));
        record[2 + 2 * type + v] = static_cast<int32_t>(maximum);
    }
    return record;
}

}  // namespace

void MetricSummarise(int32_t type, const int32_t *samples, int32_t count, ZVVector *storage) {
    if ((type != 1 && type != 2) || samples == nullptr || storage == nullptr) return;
    int words = type + 1;
    for (int32_t first = 0; first < count;) {
        int64_t start = word(samples, words, first, 0);
        int32_t last = first;
        // The sample an hour or more after the first closes the window and
        // belongs to it; the buffer's end closes the last one, however short,
        // so that no sample is left out of the summaries.
        while (last + 1 < count) {
            ++last;
            if (int64_t(word(samples, words, last, 0)) - start >= kSummaryWindowSeconds) break;
        }
        if (int32_t *record = summary(type, samples, first, last)) {
            ZVAddElement(storage, reinterpret_cast<ZVWord>(record));
        }
        first = last + 1;
    }
}

void MetricTakeSample(MetricRecord *metric, JNIEnv *env, uint32_t seconds) {
    MetricRingBuffer *ring = metric->entryBuff;
    if (ring == nullptr) return;
    // Sampled before the buffer is locked: a JNI call may take a while.
    int32_t values[2] = {0, 0};
    if (metric->sampler != nullptr) metric->sampler(env, values);
    MetricLockEnter(metric->bufferMutex);
    int words = ring->type + 1;
    int32_t *slot = ring->samples + ring->next * words;
    slot[0] = static_cast<int32_t>(seconds);
    for (int v = 1; v < words; ++v) slot[v] = values[v - 1];
    if (++ring->next == ring->capacity) {
        ring->wrapped = 1;
        ring->next = 0;
        MetricSummarise(ring->type, ring->samples, ring->capacity, metric->storageBuff);
    }
    MetricLockLeave(metric->bufferMutex);
}
