// Two profiles of one program compared: which call paths and methods took a
// larger or smaller share of the time. Shares, not weights, are compared, so
// runs of different lengths compare fairly.
#include <algorithm>
#include <cmath>

#include "reports.h"

namespace profiler {

namespace {

double share(uint64_t weight, uint64_t all) { return all == 0 ? 0 : 100.0 * static_cast<double>(weight) / all; }

}  // namespace

std::vector<ShareChange> SelfShareChanges(const NamedProfile &before, const NamedProfile &after) {
    std::map<std::string, ShareChange> byMethod;
    for (const auto &[method, totals] : before.methods) {
        byMethod[method].before = share(totals.self, before.weight);
    }
    for (const auto &[method, totals] : after.methods) {
        byMethod[method].after = share(totals.self, after.weight);
    }
    std::vector<ShareChange> changes;
    for (auto &[method, change] : byMethod) {
        change.method = method;
        changes.push_back(change);
    }
    std::stable_sort(changes.begin(), changes.end(), [](const ShareChange &a, const ShareChange &b) {
        return std::fabs(a.change()) > std::fabs(b.change());
    });
    return changes;
}

std::unordered_map<const NamedNode *, double> PathShareChanges(const NamedProfile &before,
                                                               const NamedProfile &after) {
    std::unordered_map<const NamedNode *, double> changes;
    // Both trees walked together without recursion (stacks run deep); a path
    // missing from `before` pairs with null.
    std::vector<std::pair<const NamedNode *, const NamedNode *>> work{{&after.root, &before.root}};
    while (!work.empty()) {
        auto [now, then] = work.back();
        work.pop_back();
        changes[now] = share(now->total, after.weight) - (then ? share(then->total, before.weight) : 0);
        for (const auto &[name, child] : now->children) {
            const NamedNode *old = nullptr;
            if (then != nullptr) {
                auto found = then->children.find(name);
                if (found != then->children.end()) old = found->second.get();
            }
            work.emplace_back(child.get(), old);
        }
    }
    return changes;
}

}  // namespace profiler
