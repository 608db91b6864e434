// The class-load hook's instrumentation cost: parse, instrument and write the
// classes of java.base that the class-file model parses, with and without
// line probes (classes in memory before timing). Items are classes, bytes
// are the original class bytes: time per class and per KB. The second
// argument 1 keeps only classes without the newer constant kinds (method
// handles, invokedynamic...), the set that older builds parse: the same
// classes for comparisons across versions.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "classfile/classfile.h"
#include "pri/filters/class_tables.h"
#include "pri/rewrite/instrument.h"
#include "support/heap.h"
#include "zvtool/class_sources.h"

namespace {

struct Corpus {
    std::vector<LoadedClass> classes;
    int64_t bytes = 0;
};

bool HasNewerConstants(const JCRClass *jclass) {
    for (int i = 1; i < jclass->constant_pool_count; ++i) {
        const JCRConstant *entry = jclass->constant_pool[i];
        if (entry != nullptr && entry->tag > JCR_CONSTANT_NameAndType) return true;
    }
    return false;
}

// The parsable classes; the parser's messages for the others go to /dev/null.
const Corpus &JavaBase(bool classicOnly) {
    static Corpus corpora[2];
    static bool loaded[2];
    if (loaded[classicOnly]) return corpora[classicOnly];
    loaded[classicOnly] = true;
    corpora[classicOnly] = [classicOnly] {
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
            bool skip = classicOnly && HasNewerConstants(jclass);
            JCRFreeClass(jclass);
            if (skip) continue;
            c.bytes += static_cast<int64_t>(loaded.bytes.size());
            c.classes.push_back(std::move(loaded));
        }
        dup2(saved, STDERR_FILENO);
        close(saved);
        close(null);
        return c;
    }();
    return corpora[classicOnly];
}

void BM_Instrument(benchmark::State &state) {
    const Corpus &corpus = JavaBase(state.range(1) != 0);
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
        PRIFreeClassTables(PRIInstallClassTables(PRINewClassTables()));
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * corpus.bytes);
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(corpus.classes.size()));
    state.counters["classes"] = static_cast<double>(corpus.classes.size());
}
BENCHMARK(BM_Instrument)->ArgsProduct({{0, 1}, {0, 1}})->Unit(benchmark::kMillisecond);

}  // namespace
