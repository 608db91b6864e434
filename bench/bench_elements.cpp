// Throughput of the element text parser over a generated document of about
// 1 MB, of the canonical writer, and of the argument normalizer.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <random>
#include <string>

#include "support/elements.h"
#include "support/heap.h"

namespace {

// Nested maps and lists of words and quoted strings with escapes.
void appendValue(std::string &out, std::mt19937 &random, int depth) {
    switch (depth < 4 ? random() % 4 : random() % 2) {
    case 0: out += "word" + std::to_string(random() % 100000); break;
    case 1: out += "\"a quoted string, with \\\"escapes\\\" and \\u00e9 (" + std::to_string(random() % 1000) + ")\""; break;
    case 2:
        out += '(';
        for (int i = 0, n = 2 + static_cast<int>(random() % 6); i < n; i++) {
            if (i > 0) out += ", ";
            appendValue(out, random, depth + 1);
        }
        out += ')';
        break;
    default:
        out += "{\n";
        for (int i = 0, n = 2 + static_cast<int>(random() % 6); i < n; i++) {
            out += "  key" + std::to_string(i) + " = ";
            appendValue(out, random, depth + 1);
            out += ";\n";
        }
        out += '}';
        break;
    }
}

const std::string &document() {
    static const std::string text = [] {
        std::mt19937 random(42);
        std::string out = "{\n";
        for (int i = 0; out.size() < (1 << 20); i++) {
            out += "// entry " + std::to_string(i) + "\nentry" + std::to_string(i) + " = ";
            appendValue(out, random, 0);
            out += ";\n";
        }
        return out + "}\n";
    }();
    return text;
}

void BM_ParseText(benchmark::State &state) {
    const std::string &text = document();
    for (auto _ : state) {
        SEReader *reader = SEReaderFromString(text.data(), static_cast<int>(text.size()));
        SEElement *element = SERead(reader);
        if (element == nullptr) std::abort();
        SEFree(element);
        SEReaderFree(reader);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_ParseText)->Unit(benchmark::kMillisecond);

void BM_WriteText(benchmark::State &state) {
    const std::string &text = document();
    SEReader *reader = SEReaderFromString(text.data(), static_cast<int>(text.size()));
    SEElement *element = SERead(reader);
    SEReaderFree(reader);
    int64_t bytes = 0;
    for (auto _ : state) {
        char *out = SEWrite(element);
        bytes += static_cast<int64_t>(std::char_traits<char>::length(out));
        sFree(out);
    }
    state.SetBytesProcessed(bytes);
    SEFree(element);
}
BENCHMARK(BM_WriteText)->Unit(benchmark::kMillisecond);

// A long relaxed argument string: entries with plain, quoted and list values.
void BM_NormalizeArguments(benchmark::State &state) {
    std::string text;
    for (int i = 0; text.size() < 64 * 1024; i++)
        text += "option" + std::to_string(i) + "=value" + std::to_string(i) + ",path" + std::to_string(i) +
                "=\"/opt/app/lib " + std::to_string(i) + "\",list" + std::to_string(i) + "=(a,b,c),";
    for (auto _ : state) {
        char *out = SENormalizeArguments(text.c_str());
        if (out == nullptr) std::abort();
        sFree(out);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_NormalizeArguments)->Unit(benchmark::kMicrosecond);

}  // namespace
