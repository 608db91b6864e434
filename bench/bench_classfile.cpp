// Parse and write throughput of the class-file model over the classes of
// guava.jar that it can parse (loaded into memory before timing).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "classfile/classfile.h"
#include "support/heap.h"
#include "zvtool/class_sources.h"

namespace {

const char kJar[] = "/usr/share/java/guava.jar";

struct Corpus {
    std::vector<LoadedClass> classes;
    int64_t bytes = 0;
};

// The parsable classes of the jar; the parser's messages for the others
// (invokedynamic users) go to /dev/null.
const Corpus &GuavaClasses() {
    static Corpus corpus = [] {
        Corpus c;
        std::vector<LoadedClass> all;
        LoadClasses({kJar}, &all);
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

void Report(benchmark::State &state, const Corpus &corpus) {
    state.SetBytesProcessed(state.iterations() * corpus.bytes);
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(corpus.classes.size()));
    state.counters["classes"] = static_cast<double>(corpus.classes.size());
}

void BM_ParseWrite(benchmark::State &state) {
    const Corpus &corpus = GuavaClasses();
    if (corpus.classes.empty()) {
        state.SkipWithError("no parsable classes in guava.jar");
        return;
    }
    for (auto _ : state) {
        for (const LoadedClass &loaded : corpus.classes) {
            JCRClass *jclass = JCRParseClass(loaded.bytes.data(), static_cast<int>(loaded.bytes.size()));
            int length = 0;
            uint8_t *bytes = JCRWriteClass(jclass, &length);
            benchmark::DoNotOptimize(bytes);
            sFree(bytes);
            JCRFreeClass(jclass);
        }
    }
    Report(state, corpus);
}
BENCHMARK(BM_ParseWrite)->Unit(benchmark::kMillisecond);

void BM_Parse(benchmark::State &state) {
    const Corpus &corpus = GuavaClasses();
    for (auto _ : state) {
        for (const LoadedClass &loaded : corpus.classes) {
            JCRClass *jclass = JCRParseClass(loaded.bytes.data(), static_cast<int>(loaded.bytes.size()));
            benchmark::DoNotOptimize(jclass);
            JCRFreeClass(jclass);
        }
    }
    Report(state, corpus);
}
BENCHMARK(BM_Parse)->Unit(benchmark::kMillisecond);

void BM_Write(benchmark::State &state) {
    const Corpus &corpus = GuavaClasses();
    std::vector<JCRClass *> parsed;
    for (const LoadedClass &loaded : corpus.classes)
        parsed.push_back(JCRParseClass(loaded.bytes.data(), static_cast<int>(loaded.bytes.size())));
    for (auto _ : state) {
        for (const JCRClass *jclass : parsed) {
            int length = 0;
            uint8_t *bytes = JCRWriteClass(jclass, &length);
            benchmark::DoNotOptimize(bytes);
            sFree(bytes);
        }
    }
    for (JCRClass *jclass : parsed) JCRFreeClass(jclass);
    Report(state, corpus);
}
BENCHMARK(BM_Write)->Unit(benchmark::kMillisecond);

// What the instrumentation adds per class: every method's Code attribute
// parsed and written back.
void BM_ParseWriteWithCode(benchmark::State &state) {
    const Corpus &corpus = GuavaClasses();
    for (auto _ : state) {
        for (const LoadedClass &loaded : corpus.classes) {
            JCRClass *jclass = JCRParseClass(loaded.bytes.data(), static_cast<int>(loaded.bytes.size()));
            for (int m = 0; m < jclass->methods_count; m++) {
                JCRMember *method = jclass->methods[m];
                for (int a = 0; a < method->attributes_count; a++) {
                    const char *name = JCRUtf8At(jclass, method->attributes[a]->name_index);
                    if (name == nullptr || std::strcmp(name, "Code") != 0) continue;
                    JCRCode *code = JCRParseCode(jclass, method->attributes[a]);
                    JCRAttribute *written = JCRWriteCode(jclass, code);
                    JCRRelease(&jclass->arena, method->attributes[a]);
                    method->attributes[a] = written;
                    JCRFreeCode(code);
                }
            }
            int length = 0;
            uint8_t *bytes = JCRWriteClass(jclass, &length);
            benchmark::DoNotOptimize(bytes);
            sFree(bytes);
            JCRFreeClass(jclass);
        }
    }
    Report(state, corpus);
}
BENCHMARK(BM_ParseWriteWithCode)->Unit(benchmark::kMillisecond);

}  // namespace
