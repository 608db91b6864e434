// Container costs: hash-table put and get with integer and string keys at
// 1k and 1M entries, integer-table put and get, and vector appends.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/containers.h"

namespace {

// Spread-out integer keys, as method and class identifiers or addresses would be.
ZVWord intKey(int64_t i) { return static_cast<ZVWord>(i * 2654435761LL + 1); }

std::vector<std::string> makeStringKeys(int64_t n) {
    std::vector<std::string> keys;
    keys.reserve(static_cast<size_t>(n));
    char text[64];
    for (int64_t i = 0; i < n; i++) {
        std::snprintf(text, sizeof text, "com/example/pkg%ld/Class%ld", static_cast<long>(i % 97), static_cast<long>(i));
        keys.emplace_back(text);
    }
    return keys;
}

void HashPutInt(benchmark::State &state) {
    const int64_t n = state.range(0);
    for (auto _ : state) {
        ZVHashTable *table = ZVHashNew(0, nullptr, nullptr, "bench", 0);
        for (int64_t i = 0; i < n; i++) ZVHashPut(table, intKey(i), i);
        benchmark::DoNotOptimize(table->count);
        state.PauseTiming();
        ZVHashFree(table);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * n);
}

void HashGetInt(benchmark::State &state) {
    const int64_t n = state.range(0);
    ZVHashTable *table = ZVHashNew(0, nullptr, nullptr, "bench", 0);
    for (int64_t i = 0; i < n; i++) ZVHashPut(table, intKey(i), i);
    int64_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(ZVHashGet(table, intKey(i)));
        if (++i == n) i = 0;
    }
    state.SetItemsProcessed(state.iterations());
    ZVHashFree(table);
}

void HashPutString(benchmark::State &state) {
    const int64_t n = state.range(0);
    std::vector<std::string> keys = makeStringKeys(n);
    for (auto _ : state) {
        ZVHashTable *table = ZVHashNew(0, ZVStringHash, ZVStringEquals, "bench", 0);
        for (int64_t i = 0; i < n; i++) ZVHashPut(table, reinterpret_cast<ZVWord>(keys[i].c_str()), i);
        benchmark::DoNotOptimize(table->count);
        state.PauseTiming();
        ZVHashFree(table);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * n);
}

// Probes are separate copies of the keys, so every hit runs the string compare.
void HashGetString(benchmark::State &state) {
    const int64_t n = state.range(0);
    std::vector<std::string> keys = makeStringKeys(n);
    std::vector<std::string> probes = keys;
    ZVHashTable *table = ZVHashNew(0, ZVStringHash, ZVStringEquals, "bench", 0);
    for (int64_t i = 0; i < n; i++) ZVHashPut(table, reinterpret_cast<ZVWord>(keys[i].c_str()), i);
    int64_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(ZVHashGet(table, reinterpret_cast<ZVWord>(probes[i].c_str())));
        if (++i == n) i = 0;
    }
    state.SetItemsProcessed(state.iterations());
    ZVHashFree(table);
}

// The integer table is fixed-size: sized for n, as its owners do.
void IntTablePut(benchmark::State &state) {
    const int64_t n = state.range(0);
    for (auto _ : state) {
        ZVIntTable *table = ZVIntTableNew(static_cast<int>(n), "bench");
        for (int64_t i = 0; i < n; i++) ZVIntTablePut(table, intKey(i), i);
        benchmark::DoNotOptimize(table->count);
        state.PauseTiming();
        ZVIntTableFree(table);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * n);
}

void IntTableGet(benchmark::State &state) {
    const int64_t n = state.range(0);
    ZVIntTable *table = ZVIntTableNew(static_cast<int>(n), "bench");
    for (int64_t i = 0; i < n; i++) ZVIntTablePut(table, intKey(i), i);
    int64_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(ZVIntTableGet(table, intKey(i)));
        if (++i == n) i = 0;
    }
    state.SetItemsProcessed(state.iterations());
    ZVIntTableFree(table);
}

void VectorAdd(benchmark::State &state) {
    const int64_t n = state.range(0);
    for (auto _ : state) {
        ZVVector *vector = ZVNewVector(0);
        for (int64_t i = 0; i < n; i++) ZVAddElement(vector, i);
        benchmark::DoNotOptimize(vector->data);
        ZVFreeVector(vector);
    }
    state.SetItemsProcessed(state.iterations() * n);
}

}  // namespace

BENCHMARK(HashPutInt)->Arg(1 << 10)->Arg(1 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(HashGetInt)->Arg(1 << 10)->Arg(1 << 20);
BENCHMARK(HashPutString)->Arg(1 << 10)->Arg(1 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(HashGetString)->Arg(1 << 10)->Arg(1 << 20);
BENCHMARK(IntTablePut)->Arg(1 << 10)->Arg(1 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(IntTableGet)->Arg(1 << 10)->Arg(1 << 20);
BENCHMARK(VectorAdd)->Arg(1 << 10)->Arg(1 << 20)->Unit(benchmark::kMicrosecond);
