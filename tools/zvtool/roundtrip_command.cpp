// zvtool roundtrip PATH...: parses and writes back every class found and
// counts identical, different and unparsable classes (grouped by the
// parser's messages). Fails when a parsable class changes; with --strict
// also when a class cannot be parsed.
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "classfile/classfile.h"
#include "commands.h"
#include "support/heap.h"
#include "zvtool/class_sources.h"

namespace {

// Collects what the parser writes to standard error while one class is
// parsed, so that the text can serve as the reason of a failure; everything
// else (such as unreadable inputs) still reaches the real standard error.
class StderrCapture {
public:
    StderrCapture() : file_(std::tmpfile()), saved_(dup(STDERR_FILENO)) {}
    ~StderrCapture() {
        if (saved_ >= 0) close(saved_);
        if (file_ != nullptr) std::fclose(file_);
    }
    void begin() {
        std::fflush(stderr);
        if (file_ == nullptr || saved_ < 0) return;
        std::rewind(file_);
        dup2(fileno(file_), STDERR_FILENO);
    }
    // What was written since begin(), newlines turned into " / ".
    std::string end() {
        std::fflush(stderr);
        if (file_ == nullptr || saved_ < 0) return "(no message)";
        off_t length = lseek(STDERR_FILENO, 0, SEEK_CUR);
        dup2(saved_, STDERR_FILENO);
        std::string text(length > 0 ? static_cast<size_t>(length) : 0, '\0');
        if (!text.empty() && pread(fileno(file_), text.data(), text.size(), 0) != static_cast<ssize_t>(text.size()))
            text.clear();
        while (!text.empty() && text.back() == '\n') text.pop_back();
        for (size_t at; (at = text.find('\n')) != std::string::npos;) text.replace(at, 1, " / ");
        return text.empty() ? "(no message)" : text;
    }

private:
    FILE *file_;
    int saved_;
};

struct Counts {
    int identical = 0;
    std::vector<std::string> different;
    std::map<std::string, int> unparsable;  // reason -> classes
    int unparsableCount = 0;
};

void RoundTrip(const std::string &name, std::span<const uint8_t> bytes, StderrCapture &capture,
               Counts *counts) {
    capture.begin();
    JCRClass *jclass = bytes.size() > INT_MAX ? nullptr : JCRParseClass(bytes.data(), static_cast<int>(bytes.size()));
    std::string messages = capture.end();
    if (jclass == nullptr) {
        counts->unparsable[messages]++;
        counts->unparsableCount++;
        return;
    }
    int length = 0;
    uint8_t *written = JCRWriteClass(jclass, &length);
    if (written != nullptr && static_cast<size_t>(length) == bytes.size() &&
        std::memcmp(written, bytes.data(), bytes.size()) == 0)
        counts->identical++;
    else
        counts->different.push_back(name);
    sFree(written);
    JCRFreeClass(jclass);
}

}  // namespace

int RoundtripCommand(int argc, char **argv) {
    bool strict = false;
    std::vector<std::string> paths;
    for (int i = 0; i < argc; i++) {
        if (std::strcmp(argv[i], "--strict") == 0)
            strict = true;
        else if (argv[i][0] == '-')
            return kUsageError;
        else
            paths.push_back(argv[i]);
    }
    if (paths.empty()) return kUsageError;

    Counts counts;
    bool allRead = true;
    {
        StderrCapture capture;
        for (const std::string &path : paths) {
            allRead = ForEachClass(path, [&](const std::string &name, std::span<const uint8_t> bytes) {
                          RoundTrip(name, bytes, capture, &counts);
                      }) && allRead;
        }
    }
    int total = counts.identical + static_cast<int>(counts.different.size()) + counts.unparsableCount;
    std::printf("classes: %d\nidentical: %d\ndifferent: %zu\nnot parsable: %d\n", total, counts.identical,
                counts.different.size(), counts.unparsableCount);
    for (const auto &[reason, count] : counts.unparsable) std::printf("  %6d  %s\n", count, reason.c_str());
    for (const std::string &name : counts.different) std::printf("different: %s\n", name.c_str());
    if (!allRead) std::printf("some inputs could not be read\n");
    if (total == 0) std::printf("no class files found\n");
    bool failed = !counts.different.empty() || !allRead || total == 0 || (strict && counts.unparsableCount > 0);
    return failed ? 1 : 0;
}
