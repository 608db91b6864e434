// The text report: what was sampled, the flat profile by self time, the
// hottest source lines, and the call tree by total time.
#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <vector>

#include "reports.h"

namespace profiler {

namespace {

constexpr size_t kFlatRows = 40;
constexpr size_t kLineRows = 20;
// Call-tree nodes below this share of all samples are left out.
constexpr double kTreeCutoff = 0.005;
constexpr int kTreeDepth = 100;

double seconds(uint64_t nanos) { return nanos / 1e9; }

void tree(const NamedNode &node, int depth, uint64_t all, std::string &out) {
    for (const NamedNode *child : HeaviestFirst(node)) {
        if (child->total < all * kTreeCutoff) break;
        out += std::string(2 * depth, ' ');
        out += format("%5.1f%% %8.2fs  self %5.1f%%  ", percent(child->total, all), seconds(child->total),
                      percent(child->self, all));
        out += child->name + '\n';
        if (depth + 1 < kTreeDepth) tree(*child, depth + 1, all, out);
    }
}

}  // namespace

std::string TextReport(const NamedProfile &profile, const ReportInfo &info) {
    const uint64_t all = profile.weight;
    std::string out = format("Profile (%s, one sample every %d ms): %" PRIu64 " samples, %.2f s\n",
                             info.mode.c_str(), info.periodMs, profile.samples, seconds(all));
    out += format("Sampled %.2f s of wall time, in which the sampled threads used %.2f s of CPU time\n\n",
                  seconds(profile.wallNanos), seconds(profile.cpuNanos));

    out += "Flat profile, by self time" + FirstOf(kFlatRows, profile.methods.size()) + "\n";
    out += " self%    self s  total%   total s   samples        calls  method\n";
    std::vector<std::pair<std::string, MethodTotals>> rows(profile.methods.begin(), profile.methods.end());
    std::stable_sort(rows.begin(), rows.end(), [](const auto &a, const auto &b) {
        return a.second.self != b.second.self ? a.second.self > b.second.self : a.second.total > b.second.total;
    });
    for (size_t i = 0; i < rows.size() && i < kFlatRows; ++i) {
        const auto &[method, totals] = rows[i];
        auto found = info.calls.find(method);
        std::string calls = !info.callsKnown ? "-"
                            : found != info.calls.end() ? std::to_string(found->second)
                                                        : "0";
        out += format("%5.1f %9.2f  %5.1f %9.2f %9" PRIu64 " %12s  ", percent(totals.self, all),
                      seconds(totals.self), percent(totals.total, all), seconds(totals.total), totals.samples,
                      calls.c_str());
        out += method + '\n';
    }

    out += "\nHot lines, by self time" + FirstOf(kLineRows, profile.lines.size()) + "\n";
    out += " self%    self s  line\n";
    std::vector<std::pair<std::string, uint64_t>> lines(profile.lines.begin(), profile.lines.end());
    std::stable_sort(lines.begin(), lines.end(), [](const auto &a, const auto &b) { return a.second > b.second; });
    for (size_t i = 0; i < lines.size() && i < kLineRows; ++i) {
        const auto &[where, weight] = lines[i];
        out += format("%5.1f %9.3f  ", percent(weight, all), seconds(weight));
        out += where + '\n';
    }

    if (info.callsKnown) {
        out += "\nCalls, most called first" + FirstOf(kFlatRows, info.calls.size()) + "\n";
        out += "       calls  method\n";
        std::vector<std::pair<std::string, uint64_t>> called(info.calls.begin(), info.calls.end());
        std::stable_sort(called.begin(), called.end(), [](const auto &a, const auto &b) { return a.second > b.second; });
        for (size_t i = 0; i < called.size() && i < kFlatRows; ++i)
            out += format("%12" PRIu64 "  ", called[i].second) + called[i].first + '\n';
    }

    out += "\nCall tree, by total time" + TreeCutoff(kTreeCutoff) + "\n";
    tree(profile.root, 0, all, out);
    return out;
}

}  // namespace profiler
