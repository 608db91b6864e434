// Overhead counters: one counter set per thread key, each a table from
// counter name to accumulated time, number of starts and start time.
#include <cinttypes>
#include <cstdio>
#include <mutex>

#include "diag/diag.h"
#include "platform/clock.h"
#include "platform/mutex.h"
#include "support/heap.h"

namespace {

struct Counter {
    uint64_t time;    // milliseconds
    uint64_t starts;
    uint64_t start;   // the timer at the last start with bit 32 set; 0 when stopped
};

constexpr uint64_t kRunning = uint64_t{1} << 32;

ZVHashTable *gCounters = nullptr;  // "OverheadCounters": thread key to counter set
RecursiveMutex *gMutex = nullptr;
std::once_flag gInitialized;
uint32_t (*gClock)(void) = MonotonicMillis;

void initialize() {
    gMutex = CreateRecursiveMutex();
    gCounters = ZVHashNew(16, nullptr, nullptr, "OverheadCounters", 0);
}

ZVHashTable *newCounterSet() { return ZVHashNew(16, ZVStringHash, ZVStringEquals, "", 0); }

// The caller holds the mutex.
ZVHashTable *counterSet(ZVWord threadKey) {
    auto *set = reinterpret_cast<ZVHashTable *>(ZVHashGet(gCounters, threadKey));
    if (set == nullptr && (set = newCounterSet()) != nullptr) ZVHashPut(gCounters, threadKey, reinterpret_cast<ZVWord>(set));
    return set;
}

Counter *find(ZVHashTable *set, const char *name) {
    return set != nullptr ? reinterpret_cast<Counter *>(ZVHashGet(set, reinterpret_cast<ZVWord>(name))) : nullptr;
}

// Counters live as long as the process, so their names are kept as copies:
// the caller's string need not outlive its last start.
Counter *add(ZVHashTable *set, const char *name) {
    auto *counter = static_cast<Counter *>(sMalloc(sizeof(Counter)));
    char *key = sStrdup(name);
    if (counter == nullptr || key == nullptr) {
        sFree(counter);
        sFree(key);
        return nullptr;
    }
    *counter = Counter{};
    ZVHashPut(set, reinterpret_cast<ZVWord>(key), reinterpret_cast<ZVWord>(counter));
    return counter;
}

template <typename Visit>
void forEach(ZVHashTable *table, Visit visit) {
    for (ZVHashIterator *it = ZVHashNext(ZVHashIterate(table)); it != nullptr; it = ZVHashNext(it)) {
        visit(it->key, it->value);
    }
}

void printHeader() { printf("                Name\tOverhead\tInvocations Avg overhead\n"); }

int32_t low(uint64_t value) { return static_cast<int32_t>(static_cast<uint32_t>(value)); }

}  // namespace

void initOverheadCounters(void) { std::call_once(gInitialized, initialize); }

void ZVSetOverheadClock(uint32_t (*clock)(void)) { gClock = clock != nullptr ? clock : MonotonicMillis; }

// The dump reads every thread's counters, so starts and stops take the
// mutex too: a set that grows while the dump walks it would be torn.
void startOverheadCounter(ZVWord threadKey, const char *name) {
    if (name == nullptr) return;
    initOverheadCounters();
    MutexGuard guard(gMutex);
    ZVHashTable *set = counterSet(threadKey);
    Counter *counter = find(set, name);
    if (counter == nullptr && (counter = add(set, name)) == nullptr) return;
    if (counter->start != 0) {
        fprintf(stderr, "Should not happen: unclosed startOverheadCounter (%s)\n", name);
        return;
    }
    counter->starts += 1;
    counter->start = kRunning | gClock();
}

void stopOverheadCounter(ZVWord threadKey, const char *name) {
    if (name == nullptr) return;
    initOverheadCounters();
    MutexGuard guard(gMutex);
    Counter *counter = find(counterSet(threadKey), name);
    if (counter == nullptr) {
        fprintf(stderr, "error: stopOverheadCounter called for unknown key %s\n", name);
        return;
    }
    // A stop without a start would add the whole timer reading.
    if (counter->start == 0) return;
    // Unsigned 32-bit difference: the timer wraps after about 49.7 days.
    counter->time += static_cast<uint32_t>(gClock() - static_cast<uint32_t>(counter->start));
    counter->start = 0;
}

void dumpOverheadCounters(void) {
    initOverheadCounters();
    ZVHashTable *cumulative = ZVHashNew(32, ZVStringHash, ZVStringEquals, "tmpcum", 0);
    printHeader();
    {
        MutexGuard guard(gMutex);
        forEach(gCounters, [&](ZVWord threadKey, ZVWord setWord) {
            printf("\nThread 0x%" PRIxPTR ":\n", static_cast<uintptr_t>(threadKey));
            forEach(reinterpret_cast<ZVHashTable *>(setWord), [&](ZVWord key, ZVWord value) {
                const auto *counter = reinterpret_cast<const Counter *>(value);
                auto starts = static_cast<int64_t>(counter->starts);
                int64_t average = starts != 0 ? static_cast<int64_t>(counter->time) / starts : 0;
                printf("%20s\t%dms\t%d\t%d\n", reinterpret_cast<const char *>(key), low(counter->time),
                       low(counter->starts), low(static_cast<uint64_t>(average)));
                if (cumulative == nullptr) return;
                auto *sum = reinterpret_cast<Counter *>(ZVHashGet(cumulative, key));
                if (sum == nullptr) {
                    sum = static_cast<Counter *>(sMalloc(sizeof(Counter)));
                    if (sum == nullptr) return;
                    *sum = Counter{};
                    ZVHashPut(cumulative, key, reinterpret_cast<ZVWord>(sum));
                }
                sum->time += counter->time;
                sum->starts += counter->starts;
            });
        });
    }
    printf("\n*** Cummulative values ***\n");
    printHeader();
    if (cumulative == nullptr) return;
    forEach(cumulative, [&](ZVWord key, ZVWord value) {
        auto *sum = reinterpret_cast<Counter *>(value);
        double average = sum->starts != 0 ? static_cast<double>(sum->time) / static_cast<double>(sum->starts) : 0;
        printf("%20s\t%dms\t%d\t%g\n", reinterpret_cast<const char *>(key), low(sum->time), low(sum->starts),
               average);
        sFree(sum);
    });
    ZVHashFree(cumulative);
}
