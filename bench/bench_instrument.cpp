// The class-load hook's instrumentation cost: parse, instrument and write the
// classes of java.base that the class-file model parses, with and without
// line probes (classes in memory before timing). Items are classes, bytes
// are the original class bytes: time per class and per KB.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "classfile/classfile.h"
#include "pri/class_tables.h"
#include "pri/instrument.h"
#include "pri/runtime_settings.h"
#include "support/heap.h"
#include "zvtool/class_sources.h"

namespace {

struct Corpus {
    std::vector<LoadedClass> classes;
    int64_t bytes = 0;
};

// The parsable classes; the parser's messages for the others go to /dev/null.
const Corpus &JavaBase() {
    static Corpus corpus = [] {
        Corpus c;
        std::vector<LoadedClass> all;
        LoadClasses({ZV_JAVA_BASE_JMOD}, &all);
        std::fflush(stderr);
        int saved = dup(STDERR_FILENO);
        int null = open("/dev/null", O_WRONLY);
        dup2(null, STDERR_FILENO);
        for (LoadedClass &loaded : all) {
            JCRClass *jclass = JCRParseClass(loaded.bytes.data(), static_cast<int>(loaded.bytes.size()));
            if (jclass == nullptr) continue;
            JCRFreeClass(jclass);
            c.bytes += static_cast<int64_t>(loaded.bytes.size());
            c.classes.push_back(std::move(loaded));
        }
        dup2(saved, STDERR_FILENO);
        close(saved);
        close(null);
        return c;
    }();
    return corpus;
}

void BM_Instrument(benchmark::State &state) {
    const Corpus &corpus = JavaBase();
    if (corpus.classes.empty()) {
        state.SkipWithError("no parsable classes in java.base.jmod");
        return;
    }
    PRIRuntimeSettings settings;
    settings.instrumentLines = static_cast<int>(state.range(0));
    PRISetSettings(settings);
    PRICreateClassTables();
    for (auto _ : state) {
        for (const LoadedClass &loaded : corpus.classes) {
            JCRClass *jclass = JCRParseClass(loaded.bytes.data(), static_cast<int>(loaded.bytes.size()));
            PRIInstrumentClass(jclass, nullptr, 0);
            int length = 0;
            sFree(JCRWriteClass(jclass, &length));
            JCRFreeClass(jclass);
        }
        // The entries wait for class-load events that never come here.
        state.PauseTiming();
        PRIResetClassTables();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * corpus.bytes);
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(corpus.classes.size()));
    state.counters["classes"] = static_cast<double>(corpus.classes.size());
}
BENCHMARK(BM_Instrument)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
