// Metrics: capacity rules at their limits, hourly summaries of a full ring
// buffer, the sampling loop's timing and the serialized tree. (Default and
// configured periods and sizes are checked in a real VM end to end.)
#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "config/config.h"
#include "ext/extensions.h"
#include "metrics/metrics_internal.h"
#include "support/element_helpers.h"
#include "support/heap.h"

namespace {

// The services record the agent hands to metrics, over std locks (monitors
// too: the loop itself, which waits, is not run here); the counts are what
// the handler table would answer.
std::vector<std::unique_ptr<std::recursive_mutex>> gLocks;
jint gClasses = 0, gActive = 0, gTotal = 0;

void *createLock() { return gLocks.emplace_back(new std::recursive_mutex).get(); }
void enterLock(void *lock) { static_cast<std::recursive_mutex *>(lock)->lock(); }
void leaveLock(void *lock) { static_cast<std::recursive_mutex *>(lock)->unlock(); }
void *allocateMonitor(const char *) { return createLock(); }
int enterMonitor(void *m) {
    enterLock(m);
    return 1;
}

template <typename Function>
ZVWord word(Function function) {
    return reinterpret_cast<ZVWord>(function);
}

ZVServices makeServices() {
    ZVServices services{};
    ZVWord *w = services.words;
    w[6] = word(createLock), w[7] = word(enterLock), w[8] = word(leaveLock);
    w[9] = word(allocateMonitor), w[10] = word(enterMonitor), w[11] = word(leaveLock);
    w[12] = word(+[](void *, int32_t) {}), w[13] = word(+[](void *) {});
    w[29] = word(+[] { return gClasses; }), w[30] = word(+[] { return gActive; }), w[31] = word(+[] { return gTotal; });
    return services;
}

constexpr int32_t kHeap = 0, kThreads = 5, kClasses = 6;

class MetricsTest : public ::testing::Test {
  protected:
    ZVServices services = makeServices();
    void SetUp() override {
        delete MetricsInstall(new MetricsState());
        MetricsInit(sStrdup("host-a"), &services);
        gClasses = gActive = gTotal = 0;
    }
    void TearDown() override {
        delete MetricsInstall(new MetricsState());
        gLocks.clear();
    }
    // MetricOn with what it wrote to standard error.
    static std::string on(int32_t id, int32_t size, int32_t sizeType, int32_t period, int *result = nullptr) {
        testing::internal::CaptureStderr();
        int r = MetricOn(id, size, sizeType, period);
        if (result != nullptr) *result = r;
        return testing::internal::GetCapturedStderr();
    }
    static std::vector<int32_t> ints(const SEElement *data) {
        EXPECT_NE(data, nullptr);
        if (data == nullptr) return {};
        auto *items = reinterpret_cast<const int32_t *>(data->data);
        return std::vector<int32_t>(items, items + data->value);
    }
};

const std::string kTooSmall(const char *name) {
    return std::string("Buffer size specified for metric '") + name +
           "' is too small, using minimum default value of 50 samples...\n";
}

TEST_F(MetricsTest, CapacityFollowsTimeAndMemoryRulesAndRefusesUnsoundSettings) {
    struct Case {
        int32_t id, size, sizeType, period, capacity;
        std::string message;
    } cases[] = {
        {kHeap, 36000, 1, 2, 18000, ""},
        {kHeap, 100, 2, 2, 50, kTooSmall("Java Heap")},  // raised to 600 bytes
        {kHeap, 6011, 2, 2, 500, ""},
        {kClasses, 100, 2, 2, 50, kTooSmall("Class Count")},  // 400 bytes
        {kClasses, 4000, 2, 9, 500, ""},
        {kThreads, 500, 1, 10, 50, ""},
        {kClasses, -7, 1, 1, 50, kTooSmall("Class Count")},
        {kHeap, 100, 0, 2, 0, "** Invalid size type 0 for metric 0 Java Heap **\n"},
        {kHeap, 100, 1, 0, 0, "** Invalid period 0 for metric 0 Java Heap **\n"},
        {kClasses, 100, 1, -5, 0, "** Invalid period -5 for metric 6 Class Count **\n"},
        {kClasses, 100, 1, 2147484, 0, "** Invalid period 2147484 for metric 6 Class Count **\n"},
        {kClasses, 2147483647, 1, 2147483, 1000, ""},
        {kHeap, 2147483647, 1, 1, 0, "** Buffer size 2147483647 too large for metric 0 Java Heap **\n"},
        {kClasses, 2147483647, 2, 1, 268435455, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.id) + " " + std::to_string(c.size) + " " + std::to_string(c.sizeType) +
                     " " + std::to_string(c.period));
        testing::internal::CaptureStderr();
        EXPECT_EQ(MetricCapacity(*getMetric(c.id), c.size, c.sizeType, c.period), c.capacity);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.message);
    }
}

TEST_F(MetricsTest, RefusedMetricStaysOffAndASecondSwitchOnIsRefused) {
    int result = 0;
    EXPECT_EQ(on(kHeap, 100, 1, 0, &result), "** Invalid period 0 for metric 0 Java Heap **\n");
    EXPECT_EQ(result, -1);
    EXPECT_EQ(getMetric(kHeap)->enable, 0);
    EXPECT_EQ(getMetric(kHeap)->entryBuff, nullptr);
    EXPECT_EQ(on(9, 36000, 1, 2, &result), "** Failed to find metrid with ID 9 **\n");
    EXPECT_EQ(on(kHeap, 36000, 1, 2, &result), "");
    EXPECT_EQ(result, 0);
    MetricRingBuffer *ring = getMetric(kHeap)->entryBuff;
    EXPECT_EQ(on(kHeap, 100, 2, 5, &result), "** Metric already on 0 Java Heap **\n");
    EXPECT_EQ(result, -1);
    EXPECT_EQ(getMetric(kHeap)->entryBuff, ring);
    EXPECT_EQ(getMetric(kHeap)->period, 2);
    ElementPtr tree(serializeMetrics());
    EXPECT_EQ(SEListSize(SEMapGet(tree.get(), "metrics")), 1);
}

// Samples as (time, values...) rows; each record as its words.
struct SummaryCase {
    int32_t type;
    std::vector<int64_t> samples;
    std::vector<std::vector<int64_t>> records;
};

// The sample an hour on closes the window (a zero is a minimum); a last
// sample alone still gets its record; two values interleave minimum, average
// and maximum; unsigned words average without overflow; a clock set back does
// not close the window.
TEST(MetricSummaries, WindowsCloseAtAnHourAndCarryMinimumAverageMaximum) {
    const SummaryCase cases[] = {
        {1, {100, 7, 1000, 0, 3699, 9, 3700, 4, 5000, 5, 7300, 3, 7400, 8}, {{100, 3600, 0, 5, 9}, {5000, 2400, 3, 5, 8}}},
        {1, {0, 2, 3600, 4, 4000, 6}, {{0, 3600, 2, 3, 4}, {4000, 0, 6, 6, 6}}},
        {2, {0, 1, 100, 10, 2, 50, 20, 6, 75}, {{0, 20, 1, 50, 3, 75, 6, 100}}},
        {1, {0, 0xF0000000, 1, 0xF0000002, 2, 0x10}, {{0, 2, 0x10, 0xA0000006, 0xF0000002}}},
        {1, {5000, 1, 10, 2, 5100, 3}, {{5000, 100, 1, 2, 3}}},
    };
    for (const SummaryCase &c : cases) {
        SCOPED_TRACE(c.samples.size());
        std::vector<int32_t> samples;
        for (int64_t word : c.samples) samples.push_back(static_cast<int32_t>(static_cast<uint32_t>(word)));
        ZVVector *storage = ZVNewVector(4);
        MetricSummarise(c.type, samples.data(), static_cast<int32_t>(samples.size() / (c.type + 1)), storage);
        ASSERT_EQ(ZVVectorSize(storage), static_cast<int>(c.records.size()));
        for (size_t r = 0; r < c.records.size(); ++r) {
            auto *record = reinterpret_cast<int32_t *>(ZVElementAt(storage, static_cast<int>(r)));
            std::vector<int32_t> expected;
            for (int64_t word : c.records[r]) expected.push_back(static_cast<int32_t>(static_cast<uint32_t>(word)));
            EXPECT_EQ(std::vector<int32_t>(record, record + expected.size()), expected) << "record " << r;
            sFree(record);
        }
        ZVFreeVector(storage);
    }
}

TEST_F(MetricsTest, AWrappedBufferIsSummarisedAndSerializedOldestFirst) {
    ASSERT_EQ(on(kClasses, 400, 2, 2), "");  // 50 samples
    MetricRecord *metric = getMetric(kClasses);
    EXPECT_EQ(hasMetricsData(), 0);
    for (int i = 0; i < 53; ++i) {
        gClasses = i;
        MetricTakeSample(metric, nullptr, 1000 + 2 * i);
        if (i == 49) {
            EXPECT_EQ(metric->entryBuff->wrapped, 1);
            EXPECT_EQ(metric->entryBuff->next, 0);
        }
    }
    EXPECT_EQ(hasMetricsData(), 1);
    ElementPtr tree(serializeMetrics());
    const SEElement *map = SEListGet(SEMapGet(tree.get(), "metrics"), 0);  // the one metric on
    ASSERT_NE(map, nullptr);
    EXPECT_STREQ(SEGetString(SEMapGet(map, "name")), "Class Count");
    std::vector<int32_t> entries = ints(SEMapGet(map, "entryBuff"));
    ASSERT_EQ(entries.size(), 100u);
    for (size_t s = 0; s < 50; ++s) {
        EXPECT_EQ(entries[2 * s], 1006 + 2 * int32_t(s)) << s;
        EXPECT_EQ(entries[2 * s + 1], 3 + int32_t(s)) << s;
    }
    const SEElement *storage = SEMapGet(map, "storageBuff");
    ASSERT_EQ(SEListSize(storage), 1);
    EXPECT_EQ(ints(SEListGet(storage, 0)), (std::vector<int32_t>{1000, 98, 0, 24, 49}));
}

TEST_F(MetricsTest, LoopSamplesWhatIsDueWithinATenthOfASecondAndSleepsUntilTheNext) {
    EXPECT_EQ(MetricsLoopPass(nullptr, 0), 0);  // nothing on: wait for a notice
    ASSERT_EQ(on(kThreads, 3600, 1, 2), "");
    ASSERT_EQ(on(kClasses, 3600, 1, 5), "");
    auto samples = [](int32_t id) { return getMetric(id)->entryBuff->next; };
    struct Step {
        uint32_t now;
        int32_t wait, threads, classes;
    } steps[] = {
        {100, 2000, 1, 1},   // both due at once
        {2000, 2000, 2, 1},  // 100 ms early is on time
        {3000, 1000, 2, 1},
        {4000, 1100, 3, 1},
        {4999, 101, 3, 1},  // 101 ms early is too early
        {5000, 1000, 3, 2},
    };
    for (const Step &s : steps) {
        EXPECT_EQ(MetricsLoopPass(nullptr, s.now), s.wait) << s.now;
        EXPECT_EQ(samples(kThreads), s.threads) << s.now;
        EXPECT_EQ(samples(kClasses), s.classes) << s.now;
    }
    metricsChanged();  // everything active is due at once
    EXPECT_EQ(MetricsLoopPass(nullptr, 5010), 2000);
    EXPECT_EQ(samples(kThreads), 4);
    EXPECT_EQ(samples(kClasses), 3);
}

}  // namespace
