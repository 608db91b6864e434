// The profile as a person reads it: collapsed stacks (one line per stack,
// frames joined by ';', then its weight in microseconds), a text call tree
// with a flat profile, and a self-contained HTML flame graph.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "profile.h"

namespace profiler {

// A report line printed into a string (lines are short: 512 bytes at most).
inline std::string format(const char *pattern, auto... values) {
    char buffer[512];
    snprintf(buffer, sizeof buffer, pattern, values...);
    return buffer;
}

inline double percent(uint64_t part, uint64_t whole) { return whole > 0 ? 100.0 * part / whole : 0.0; }

// What a section's heading adds when it shows only its first `shown` of
// `all` rows: " (the first 40 of 1234)"; "" when it shows them all.
inline std::string FirstOf(size_t shown, size_t all) {
    return all > shown ? format(" (the first %zu of %zu)", shown, all) : std::string();
}
// What a call tree's heading adds for the paths it leaves out.
inline std::string TreeCutoff(double share) { return format(" (paths under %g%% left out)", share * 100); }

// A call-tree node's children, the heaviest first (ties in their stored order).
inline std::vector<const NamedNode *> HeaviestFirst(const NamedNode &node) {
    std::vector<const NamedNode *> children;
    for (const auto &entry : node.children) children.push_back(entry.second.get());
    std::stable_sort(children.begin(), children.end(),
                     [](const NamedNode *a, const NamedNode *b) { return a->total > b->total; });
    return children;
}

struct ReportInfo {
    std::string mode;      // "wall clock" or "CPU"
    int periodMs = 10;     // the sampler period
    bool callsKnown = false;
    std::map<std::string, uint64_t> calls;  // method → calls counted
    std::string title{};   // the flame graph's title, when not a sampled profile's
    bool bytes = false;    // weights are bytes rather than nanoseconds
};

// A frame name safe for the collapsed format: no ';', no spaces, no control characters.
std::string CollapsedFrame(std::string_view name);
// Weights are the self weights divided by `divisor` (nanoseconds to
// microseconds by default), or with `counts` the numbers of samples.
std::string CollapsedStacks(const NamedProfile &profile, uint64_t divisor = 1000, bool counts = false);
std::string TextReport(const NamedProfile &profile, const ReportInfo &info);
std::string FlameGraphHtml(const NamedProfile &profile, const ReportInfo &info);

// Exact method times: a node of the merged call tree (see zviGetMethodTimes).
struct TimedNode {
    int32_t parent = 0;  // index of the parent node; node 0 is the root
    int32_t method = 0;
    uint64_t calls = 0, total = 0, min = 0, max = 0;  // nanoseconds
};
// One method's calls on every path, recursive ones included.
struct TimedMethod {
    uint64_t calls = 0;
    uint64_t all = 0;  // the time of every call added up (a recursive call's inside its caller's too)
    uint64_t min = UINT64_MAX, max = 0;
};
struct TimedProfile {
    // Weights are nanoseconds; a node's samples are its calls.
    NamedProfile named;
    std::map<std::string, TimedMethod> methods;
};
// The tree `nodes` less what the earlier tree `before` had on the same call
// paths: the calls and the time since then (an interval's, or since a reset).
// The least and greatest time of a call stay those of the whole run.
std::vector<TimedNode> TimesSince(std::span<const TimedNode> before, std::span<const TimedNode> nodes);
// Names the tree: nodes of one name under one parent merge; a node's self
// time is its total less its children's.
TimedProfile NameTimes(std::span<const TimedNode> nodes, const Names &names);
// The flat profile with exact self and total times, least, average and
// greatest time of a call, and calls; the call tree with each path's calls.
std::string TimingReport(const TimedProfile &profile, const ReportInfo &info);
// A profile of events (allocations, contention): `title`, then the leaf
// frames (classes) by weight, the frames just below them (sites), and the
// call tree; weights shown as bytes or seconds as `info` says.
std::string EventReport(const NamedProfile &profile, const ReportInfo &info);

// A class as a Java programmer writes it, from its signature:
// "Ljava/lang/String;" → "java.lang.String", "[[I" → "int[][]".
std::string ClassName(std::string_view signature);

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
