// zvtool diff: two collapsed-stack profiles of one program compared. Writes
// a flame graph of AFTER whose frames are coloured by the change of their
// share since BEFORE (red grew, blue shrank), and prints the methods whose
// self share changed most.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "commands.h"
#include "file_input.h"
#include "reports.h"

namespace {

// Collapsed stacks of long runs grow large, but not this large.
constexpr long long kLargestProfileMiB = 1024;

bool readProfile(const char *path, profiler::NamedProfile &profile) {
    std::string text;
    if (!ReadInputFile(path, kLargestProfileMiB, &text)) return false;
    std::string error = profiler::ParseCollapsed(text, profile);
    if (error.empty() && profile.weight == 0) error = "no stacks with a weight";
    if (!error.empty()) std::fprintf(stderr, "%s: %s\n", path, error.c_str());
    return error.empty();
}

std::string baseName(const char *path) {
    const char *slash = std::strrchr(path, '/');
    return slash != nullptr ? slash + 1 : path;
}

}  // namespace

int DiffCommand(int argc, char **argv) {
    const char *paths[2] = {nullptr, nullptr};
    const char *out = nullptr;
    int top = 20;
    int given = 0;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--out") == 0 && i + 1 < argc) {
            out = argv[++i];
        } else if (std::strcmp(argv[i], "--top") == 0 && i + 1 < argc) {
            char *end = nullptr;
            long value = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || value < 1 || value > 100000) {
                std::fprintf(stderr, "zvtool diff: --top takes a whole number from 1 to 100000, not '%s'\n", argv[i]);
                return kUsageError;
            }
            top = static_cast<int>(value);
        } else if (given < 2 && argv[i][0] != '-') {
            paths[given++] = argv[i];
        } else {
            return kUsageError;
        }
    }
    if (given != 2 || out == nullptr) return kUsageError;

    profiler::NamedProfile before, after;
    if (!readProfile(paths[0], before) || !readProfile(paths[1], after)) return 1;
    std::string title = "Differential flame graph: " + baseName(paths[1]) + " against " + baseName(paths[0]) +
                        " (red grew, blue shrank)";
    std::ofstream file(out, std::ios::binary | std::ios::trunc);
    file << profiler::DiffFlameGraphHtml(before, after, title);
    file.close();
    if (!file) {
        std::fprintf(stderr, "%s: could not be written: %s\n", out, std::strerror(errno));
        return 1;
    }

    std::printf("Self share, %s against %s (percent of each profile; the largest changes first):\n",
                baseName(paths[1]).c_str(), baseName(paths[0]).c_str());
    int shown = 0;
    for (const profiler::ShareChange &change : profiler::SelfShareChanges(before, after)) {
        if (shown++ == top || std::fabs(change.change()) < 0.005) break;
        std::printf("  %+7.2f  %6.2f%% -> %6.2f%%  %s\n", change.change(), change.before, change.after,
                    change.method.c_str());
    }
    if (shown == 1) std::printf("  (no method's share changed)\n");
    std::fprintf(stderr, "zvtool diff: wrote %s\n", out);
    return 0;
}
