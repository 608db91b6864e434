// Exact method times as reports show them: the merged call tree named, each
// method's calls with their least, average and greatest time, and the text
// report of the flat profile and the call tree with exact times.
#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <unordered_map>
#include <vector>

#include "reports.h"

namespace profiler {

namespace {

constexpr size_t kFlatRows = 60;
constexpr double kTreeCutoff = 0.001;  // call paths below this share of all time are left out
constexpr int kTreeDepth = 100;

double ms(uint64_t nanos) { return nanos / 1e6; }

// Self time is what the children's totals leave; the clock is monotonic, but
// a running call's children may have been read later than the call itself.
void settleSelf(NamedNode &root) {
    std::vector<NamedNode *> work{&root};
    while (!work.empty()) {
        NamedNode *node = work.back();
        work.pop_back();
        uint64_t children = 0;
        for (auto &entry : node->children) {
            children += entry.second->total;
            work.push_back(entry.second.get());
        }
        node->self = node->total > children ? node->total - children : 0;
    }
}

void tree(const NamedNode &node, int depth, uint64_t all, std::string &out) {
    for (const NamedNode *child : HeaviestFirst(node)) {
        if (child->total < all * kTreeCutoff) break;
        out += std::string(2 * depth, ' ');
        out += format("%5.1f%% %11.3f ms  self %5.1f%% %11.3f ms %12" PRIu64 " calls  ", percent(child->total, all),
                      ms(child->total), percent(child->self, all), ms(child->self), child->samples);
        out += child->name + '\n';
        if (depth + 1 < kTreeDepth) tree(*child, depth + 1, all, out);
    }
}

}  // namespace

std::vector<TimedNode> TimesSince(std::span<const TimedNode> before, std::span<const TimedNode> nodes) {
    // A node of `before` by its parent's index there and its method; the
    // parents come first in both trees, so a node's counterpart is found
    // from its parent's.
    auto key = [](size_t parent, int32_t method) { return (uint64_t{parent} << 32) | static_cast<uint32_t>(method); };
    std::unordered_map<uint64_t, size_t> earlier;
    for (size_t i = 1; i < before.size(); ++i) {
        int32_t up = before[i].parent;
        if (up >= 0 && static_cast<size_t>(up) < i) earlier.emplace(key(up, before[i].method), i);
    }
    constexpr size_t kNone = SIZE_MAX;
    std::vector<size_t> counterpart(nodes.size(), kNone);
    if (!before.empty()) counterpart[0] = 0;
    std::vector<TimedNode> out(nodes.begin(), nodes.end());
    for (size_t i = 1; i < nodes.size(); ++i) {
        int32_t up = nodes[i].parent;
        if (up < 0 || static_cast<size_t>(up) >= i || counterpart[up] == kNone) continue;
        auto found = earlier.find(key(counterpart[up], nodes[i].method));
        if (found == earlier.end()) continue;
        counterpart[i] = found->second;
        const TimedNode &then = before[found->second];
        out[i].calls -= std::min(out[i].calls, then.calls);
        out[i].total -= std::min(out[i].total, then.total);
    }
    return out;
}

TimedProfile NameTimes(std::span<const TimedNode> nodes, const Names &names) {
    TimedProfile out;
    NamedProfile &named = out.named;
    named.root.name = "all";
    std::vector<NamedNode *> at(nodes.size(), &named.root);
    std::unordered_map<int32_t, std::string> methodNames;
    for (size_t i = 1; i < nodes.size(); ++i) {
        const TimedNode &node = nodes[i];
        // Parents come first; anything else hangs at the root.
        NamedNode *parent = node.parent >= 0 && static_cast<size_t>(node.parent) < i ? at[node.parent] : &named.root;
        auto known = methodNames.find(node.method);
        if (known == methodNames.end()) known = methodNames.emplace(node.method, names.method(node.method)).first;
        const std::string &name = known->second;
        std::unique_ptr<NamedNode> &child = parent->children[name];
        if (!child) {
            child = std::make_unique<NamedNode>();
            child->name = name;
            child->method = name;
        }
        child->total += node.total;
        child->samples += node.calls;
        at[i] = child.get();
        TimedMethod &method = out.methods[name];
        method.calls += node.calls;
        method.all += node.total;
        if (node.calls > 0) {
            method.min = std::min(method.min, node.min);
            method.max = std::max(method.max, node.max);
        }
    }
    for (const auto &entry : named.root.children) {
        named.root.total += entry.second->total;
        named.root.samples += entry.second->samples;
    }
    settleSelf(named.root);
    AddMethodTotals(named.root, named);
    named.weight = named.root.total;
    for (const auto &entry : out.methods) named.samples += entry.second.calls;
    return out;
}

std::string TimingReport(const TimedProfile &profile, const ReportInfo &info) {
    const NamedProfile &named = profile.named;
    const uint64_t all = named.weight;
    std::string out = format("Method timing (%s): %" PRIu64 " calls timed, %.3f s in the threads' outermost timed calls\n\n",
                             info.mode.c_str(), named.samples, all / 1e9);
    auto callsOf = [&profile](const std::string &method) {
        auto found = profile.methods.find(method);
        return found != profile.methods.end() ? found->second : TimedMethod{};
    };
    std::vector<std::pair<std::string, MethodTotals>> rows(named.methods.begin(), named.methods.end());
    // (Methods that neither ran nor returned since the last interval.)
    std::erase_if(rows, [&](const auto &row) { return row.second.total == 0 && callsOf(row.first).calls == 0; });
    std::stable_sort(rows.begin(), rows.end(), [](const auto &a, const auto &b) {
        return a.second.self != b.second.self ? a.second.self > b.second.self : a.second.total > b.second.total;
    });
    std::string first = FirstOf(kFlatRows, rows.size());  // " (the first 60 of 1803)"
    out += "Flat profile, by self time (times of one call: least, average, greatest" +
           (first.empty() ? "" : "; " + first.substr(2, first.size() - 3)) + ")\n";
    out += " self%      self ms  total%     total ms      min ms      avg ms      max ms        calls  method\n";
    for (size_t i = 0; i < rows.size() && i < kFlatRows; ++i) {
        const auto &[method, totals] = rows[i];
        TimedMethod calls = callsOf(method);
        double average = calls.calls > 0 ? ms(calls.all) / calls.calls : 0.0;
        out += format("%5.1f %12.3f  %5.1f %12.3f %11.3f %11.3f %11.3f %12" PRIu64 "  ", percent(totals.self, all),
                      ms(totals.self), percent(totals.total, all), ms(totals.total),
                      calls.calls > 0 ? ms(calls.min) : 0.0, average, ms(calls.max), calls.calls);
        out += method + '\n';
    }
    out += "\nCall tree, by total time" + TreeCutoff(kTreeCutoff) + "\n";
    tree(named.root, 0, all, out);
    return out;
}

}  // namespace profiler
