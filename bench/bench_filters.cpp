// Filter queries as instrumentation makes them: one method text per query,
// scanned against every entry of the sample filter file and a larger file.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "pri/filters/filters.h"

namespace {

// Loads without the progress line, which would mix with the benchmark table.
void LoadQuietly(const std::string &path) {
    std::fflush(stdout);
    int saved = dup(1);
    int null = open("/dev/null", O_WRONLY);
    if (null >= 0) dup2(null, 1);
    PRILoadFilterFile(path.c_str());
    std::fflush(stdout);
    if (saved >= 0) dup2(saved, 1);
    if (null >= 0) close(null);
    if (saved >= 0) close(saved);
}

// A filter file of `entries` package groups, none of which matches java.*.
std::string WriteLargeFilter(int entries) {
    std::string path = (std::filesystem::temp_directory_path() / "zv_bench_filters.txt").string();
    std::ofstream out(path);
    out << "{ Content = (";
    for (int i = 0; i < entries; i++)
        out << "{ grp = t; cpu = t; cnd = { PatternList = (\"com.acme.module" << i
            << ".*\", \"!*Test*\"); Operation = AND; } },";
    out << "); }";
    return path;
}

void BM_SampleFilterMiss(benchmark::State &state) {
    PRIFreeFilters(PRIInstallFilters(PRINewFilters()));
    LoadQuietly(ZV_SOURCE_DIR "/examples/filters.txt");
    for (auto _ : state)
        benchmark::DoNotOptimize(PRIFilterGroupOf("org/example/Service", "handle",
                                                  "(Ljava/lang/String;I)Ljava/lang/Object;", 1));
    PRIFreeFilters(PRIInstallFilters(PRINewFilters()));
}
BENCHMARK(BM_SampleFilterMiss);

void BM_SampleFilterHit(benchmark::State &state) {
    PRIFreeFilters(PRIInstallFilters(PRINewFilters()));
    LoadQuietly(ZV_SOURCE_DIR "/examples/filters.txt");
    for (auto _ : state)
        benchmark::DoNotOptimize(PRIFilterEliminates("com/acme/model/Order", "getId", "()J", 1));
    PRIFreeFilters(PRIInstallFilters(PRINewFilters()));
}
BENCHMARK(BM_SampleFilterHit);

void BM_LargeFilterMiss(benchmark::State &state) {
    PRIFreeFilters(PRIInstallFilters(PRINewFilters()));
    std::string path = WriteLargeFilter(static_cast<int>(state.range(0)));
    LoadQuietly(path);
    for (auto _ : state)
        benchmark::DoNotOptimize(PRIFilterIgnoresCPU("java/util/HashMap", "get",
                                                     "(Ljava/lang/Object;)Ljava/lang/Object;", 1));
    state.SetItemsProcessed(state.iterations() * state.range(0));
    PRIFreeFilters(PRIInstallFilters(PRINewFilters()));
    std::filesystem::remove(path);
}
BENCHMARK(BM_LargeFilterMiss)->Arg(10)->Arg(100)->Arg(1000);

}  // namespace
