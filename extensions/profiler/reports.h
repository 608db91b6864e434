// The profile as a person reads it: collapsed stacks (one line per stack,
// frames joined by ';', then its weight in microseconds), a text call tree
// with a flat profile, and a self-contained HTML flame graph.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

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

}  // namespace profiler
