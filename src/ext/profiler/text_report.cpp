// The text report: totals, the flat profile by self time, the hottest source
// lines, and the call tree by total time.
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

std::string format(const char *pattern, auto... values) {
    char buffer[512];
    snprintf(buffer, sizeof buffer, pattern, values...);
    return buffer;
}

double percent(uint64_t part, uint64_t whole) { return whole > 0 ? 100.0 * part / whole : 0.0; }

void tree(const TreeNode &node, int depth, const Profile &profile, double seconds, std::string &out) {
    std::vector<const TreeNode *> children;
    for (const auto &entry : node.children) children.push_back(entry.second.get());
    std::stable_sort(children.begin(), children.end(),
                     [](const TreeNode *a, const TreeNode *b) { return a->total > b->total; });
    for (const TreeNode *child : children) {
        if (child->total < profile.samples() * kTreeCutoff) break;
        out += std::string(2 * depth, ' ');
        out += format("%5.1f%% %8.2fs  self %5.1f%%  ", percent(child->total, profile.samples()),
                      child->total * seconds, percent(child->self, profile.samples()));
        out += child->name + '\n';
        if (depth + 1 < kTreeDepth) tree(*child, depth + 1, profile, seconds, out);
    }
}

}  // namespace

std::string TextReport(const Profile &profile, const ReportInfo &info) {
    const uint64_t all = profile.samples();
    const double seconds = info.periodMs / 1000.0;
    std::string out = format("Profile (%s, one sample every %d ms): %" PRIu64 " samples, %.2f s\n\n",
                             info.mode.c_str(), info.periodMs, all, all * seconds);

    out += "Flat profile, by self time\n";
    out += " self%    self s  total%   total s   samples        calls  method\n";
    std::vector<std::pair<std::string, MethodTotals>> rows(profile.methods().begin(), profile.methods().end());
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
                      totals.self * seconds, percent(totals.total, all), totals.total * seconds, totals.total,
                      calls.c_str());
        out += method + '\n';
    }

    out += "\nHot lines, by self time\n";
    out += " self%   samples  line\n";
    std::vector<std::pair<std::pair<std::string, int32_t>, uint64_t>> lines(profile.lines().begin(),
                                                                           profile.lines().end());
    std::stable_sort(lines.begin(), lines.end(), [](const auto &a, const auto &b) { return a.second > b.second; });
    for (size_t i = 0; i < lines.size() && i < kLineRows; ++i) {
        const auto &[where, samples] = lines[i];
        out += format("%5.1f %9" PRIu64 "  ", percent(samples, all), samples);
        out += where.first + (where.second > 0 ? ":" + std::to_string(where.second) : ":?") + '\n';
    }

    if (info.callsKnown) {
        out += "\nCalls, most called first\n";
        out += "       calls  method\n";
        std::vector<std::pair<std::string, uint64_t>> called(info.calls.begin(), info.calls.end());
        std::stable_sort(called.begin(), called.end(), [](const auto &a, const auto &b) { return a.second > b.second; });
        for (size_t i = 0; i < called.size() && i < kFlatRows; ++i)
            out += format("%12" PRIu64 "  ", called[i].second) + called[i].first + '\n';
    }

    out += "\nCall tree, by total time\n";
    tree(profile.root(), 0, profile, seconds, out);
    return out;
}

}  // namespace profiler
