// zvtool roundtrip PATH...: parses and writes back every class found and
// counts identical, different and unparsable classes (grouped by the
// parser's messages). Fails when a parsable class changes; with --strict
// also when a class fails for any reason but an unknown constant-pool kind.
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

// Sends standard error to a temporary file so that the parser's messages for
// each class can be read back and used as the reason of a failure.
class StderrCapture {
public:
    StderrCapture() {
        std::fflush(stderr);
        file_ = std::tmpfile();
        saved_ = dup(STDERR_FILENO);
        if (file_ != nullptr && saved_ >= 0) dup2(fileno(file_), STDERR_FILENO);
    }
    ~StderrCapture() {
        std::fflush(stderr);
        if (saved_ >= 0) {
            dup2(saved_, STDERR_FILENO);
            close(saved_);
        }
        if (file_ != nullptr) std::fclose(file_);
    }
    off_t mark() const { return lseek(STDERR_FILENO, 0, SEEK_CUR); }
    // What was written since `from`, newlines turned into " / ".
    std::string since(off_t from) const {
        off_t to = mark();
        std::string text(to > from ? static_cast<size_t>(to - from) : 0, '\0');
        if (!text.empty() && pread(STDERR_FILENO, text.data(), text.size(), from) != static_cast<ssize_t>(text.size()))
            text.clear();
        while (!text.empty() && text.back() == '\n') text.pop_back();
        for (size_t at; (at = text.find('\n')) != std::string::npos;) text.replace(at, 1, " / ");
        return text.empty() ? "(no message)" : text;
    }

private:
    FILE *file_ = nullptr;
    int saved_ = -1;
};

struct Counts {
    int identical = 0;
    std::vector<std::string> different;
    std::map<std::string, int> unparsable;  // reason -> classes
    int unparsableCount = 0;
};

void RoundTrip(const std::string &name, std::span<const uint8_t> bytes, const StderrCapture &capture,
               Counts *counts) {
    off_t before = capture.mark();
    JCRClass *jclass = bytes.size() > INT_MAX ? nullptr : JCRParseClass(bytes.data(), static_cast<int>(bytes.size()));
    if (jclass == nullptr) {
        counts->unparsable[capture.since(before)]++;
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

bool ExpectedFailure(const std::string &reason) {
    return reason.rfind("Unknown Constant pool type ", 0) == 0 &&
           reason.find(" / ZV encountered corrupt class, skipping constant-pool parse") != std::string::npos &&
           reason.find(" / ", reason.find(" / ") + 3) == std::string::npos;
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
    bool unexpected = false;
    for (const auto &[reason, count] : counts.unparsable) {
        std::printf("  %6d  %s\n", count, reason.c_str());
        unexpected = unexpected || !ExpectedFailure(reason);
    }
    for (const std::string &name : counts.different) std::printf("different: %s\n", name.c_str());
    if (!allRead) std::printf("some inputs could not be read\n");
    if (total == 0) std::printf("no class files found\n");
    bool failed = !counts.different.empty() || !allRead || total == 0 || (strict && unexpected);
    return failed ? 1 : 0;
}
