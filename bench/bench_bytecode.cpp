// Bytecode editor throughput: decode + encode of every method of the classes
// of guava.jar that the class model parses, and the instrumentation path
// (decode, entry insertion, stack depth, check, encode).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "classfile/bytecode.h"
#include "support/heap.h"
#include "zvtool/class_sources.h"

namespace {

struct Corpus {
    std::vector<JCRClass *> classes;
    std::vector<std::pair<const JCRClass *, JCRCode *>> codes;
    int64_t codeBytes = 0;
};

// Parsed once, outside every timed loop; never freed.
const Corpus &guava() {
    static const Corpus corpus = [] {
        Corpus c;
        // Unparsable classes print why; keep the benchmark output readable.
        std::fflush(stderr);
        int saved = dup(STDERR_FILENO);
        int null = open("/dev/null", O_WRONLY);
        if (null >= 0) dup2(null, STDERR_FILENO);
        std::vector<LoadedClass> loaded;
        LoadClasses({"/usr/share/java/guava.jar"}, &loaded);
        for (const LoadedClass &loadedClass : loaded) {
            const std::vector<uint8_t> &bytes = loadedClass.bytes;
            JCRClass *jclass = JCRParseClass(bytes.data(), static_cast<int>(bytes.size()));
            if (jclass == nullptr) continue;
            c.classes.push_back(jclass);
            for (int m = 0; m < jclass->methods_count; m++) {
                JCRAttribute *attribute = JCRFindMemberAttribute(jclass, jclass->methods[m], "Code");
                JCRCode *code = attribute == nullptr ? nullptr : JCRParseCode(jclass, attribute);
                if (code == nullptr) continue;
                c.codes.emplace_back(jclass, code);
                c.codeBytes += code->code_length;
            }
        }
        std::fflush(stderr);
        if (saved >= 0) dup2(saved, STDERR_FILENO);
        if (saved >= 0) close(saved);
        if (null >= 0) close(null);
        return c;
    }();
    return corpus;
}

void BM_DecodeEncode(benchmark::State &state) {
    const Corpus &corpus = guava();
    if (corpus.codes.empty()) {
        state.SkipWithError("no parsable classes in /usr/share/java/guava.jar");
        return;
    }
    for (auto _ : state) {
        for (const auto &[jclass, code] : corpus.codes) {
            JCRInsnList *list = JCRDecodeCode(code);
            int length = 0;
            uint8_t *bytes = JCREncodeCode(list, &length);
            benchmark::DoNotOptimize(bytes);
            sFree(bytes);
            JCRFreeInsnList(list);
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(corpus.codes.size()));
    state.SetBytesProcessed(state.iterations() * corpus.codeBytes);
    state.counters["methods"] = static_cast<double>(corpus.codes.size());
}
BENCHMARK(BM_DecodeEncode)->Unit(benchmark::kMillisecond);

void BM_InstrumentEntry(benchmark::State &state) {
    const Corpus &corpus = guava();
    if (corpus.codes.empty()) {
        state.SkipWithError("no parsable classes in /usr/share/java/guava.jar");
        return;
    }
    uint8_t callOperands[2] = {0, 1};
    const JCRInsn call = {JCR_OP_INVOKESTATIC, 2, callOperands};
    std::vector<uint8_t> scratch;
    std::vector<JCRExceptionEntry> exceptions;
    for (auto _ : state) {
        for (const auto &[jclass, code] : corpus.codes) {
            // Insertion relocates in place: edit a copy of the code.
            scratch.assign(code->code, code->code + code->code_length);
            exceptions.assign(code->exception_table, code->exception_table + code->exception_table_length);
            JCRCode copy = *code;
            copy.code = scratch.data();
            copy.exception_table = exceptions.data();
            JCRInsnList *list = JCRDecodeCode(&copy);
            JCRInsertAt(list, &call, 1, 0, &copy, nullptr, JCR_INSERT_SKIP_INSERTED);
            benchmark::DoNotOptimize(JCRComputeMaxStack(jclass, &copy, list));
            benchmark::DoNotOptimize(JCRCheckCode(list, 0));
            int length = 0;
            uint8_t *bytes = JCREncodeCode(list, &length);
            benchmark::DoNotOptimize(bytes);
            sFree(bytes);
            JCRFreeInsnList(list);
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(corpus.codes.size()));
    state.SetBytesProcessed(state.iterations() * corpus.codeBytes);
}
BENCHMARK(BM_InstrumentEntry)->Unit(benchmark::kMillisecond);

}  // namespace
