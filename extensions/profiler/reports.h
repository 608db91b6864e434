// The profile as a person reads it: collapsed stacks (one line per stack,
// frames joined by ';', then its weight in microseconds), a text call tree
// with a flat profile, and a self-contained HTML flame graph.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "profile.h"

namespace profiler {

struct ReportInfo {
    std::string mode;      // "wall clock" or "CPU"
    int periodMs = 10;     // the sampler period
    bool callsKnown = false;
    std::map<std::string, uint64_t> calls;  // method → calls counted
};

// A frame name safe for the collapsed format: no ';', no spaces, no control characters.
std::string CollapsedFrame(std::string_view name);
std::string CollapsedStacks(const NamedProfile &profile);
std::string TextReport(const NamedProfile &profile, const ReportInfo &info);
std::string FlameGraphHtml(const NamedProfile &profile, const ReportInfo &info);

// The profile in the pprof format, gzip-compressed: one sample per call path
// with its sample count and time, locations with lines where the profile keeps
// them, functions with their files; the exact call counts, when known, as a
// sample type "calls" of their own (one sample per method, with the method
// alone on its stack, as counts belong to methods rather than paths).
std::string PprofProfile(const Profile &profile, const Names &names, const ReportInfo &info);

// Collapsed stacks read back (weights in microseconds, each line one sample):
// "" or what is wrong and on which line.
std::string ParseCollapsed(std::string_view text, NamedProfile &profile);

// Two profiles of one program compared by shares (percent of each profile's
// weight), as a change in percentage points.
struct ShareChange {
    std::string method;
    double before = 0, after = 0;
    double change() const { return after - before; }
};
// Every method's self share, the largest changes (either way) first.
std::vector<ShareChange> SelfShareChanges(const NamedProfile &before, const NamedProfile &after);
// Each node of `after`'s tree → the change of its total share from the node
// at the same call path in `before` (absent there: from 0).
std::unordered_map<const NamedNode *, double> PathShareChanges(const NamedProfile &before,
                                                               const NamedProfile &after);
// The flame graph of `after`, frames coloured by PathShareChanges: red grew,
// blue shrank, grey stayed.
std::string DiffFlameGraphHtml(const NamedProfile &before, const NamedProfile &after, std::string_view title);

}  // namespace profiler
