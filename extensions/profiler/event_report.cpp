// The text report of an event profile (sampled allocations, monitor
// contention): the leaf frames (classes) by weight, the frames that carry
// them (the allocating or blocked methods), and the call tree.
#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <vector>

#include "reports.h"

namespace profiler {

namespace {

constexpr size_t kRows = 40;
constexpr double kTreeCutoff = 0.005;
constexpr int kTreeDepth = 100;

struct Row {
    uint64_t weight = 0, samples = 0;
};


std::string amount(uint64_t weight, bool bytes) {
    return bytes ? format("%11.2f MB", weight / 1048576.0) : format("%11.3f s ", weight / 1e9);
}

// Leaves (no children) → their weight; the frame below each leaf → the weight it carries.
void leaves(const NamedNode &root, std::map<std::string, Row> &classes, std::map<std::string, Row> &sites) {
    std::vector<std::pair<const NamedNode *, const NamedNode *>> work{{&root, nullptr}};
    while (!work.empty()) {
        auto [node, parent] = work.back();
        work.pop_back();
        if (node->self > 0 && node != &root) {
            Row &row = classes[node->name];
            row.weight += node->self;
            row.samples += node->samples;
            Row &site = sites[parent != nullptr && parent != &root ? parent->name : "(no instrumented frame)"];
            site.weight += node->self;
            site.samples += node->samples;
        }
        for (const auto &entry : node->children) work.emplace_back(entry.second.get(), node);
    }
}

void table(const char *heading, const std::map<std::string, Row> &rows, uint64_t all, bool bytes, std::string &out) {
    out += heading + FirstOf(kRows, rows.size());
    out += bytes ? "\n share       weight    samples  frame\n" : "\n share      blocked    samples  frame\n";
    std::vector<std::pair<std::string, Row>> sorted(rows.begin(), rows.end());
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const auto &a, const auto &b) { return a.second.weight > b.second.weight; });
    for (size_t i = 0; i < sorted.size() && i < kRows; ++i)
        out += format("%5.1f%% %s %10" PRIu64 "  ", percent(sorted[i].second.weight, all),
                      amount(sorted[i].second.weight, bytes).c_str(), sorted[i].second.samples) +
               sorted[i].first + '\n';
}

void tree(const NamedNode &node, int depth, uint64_t all, bool bytes, std::string &out) {
    for (const NamedNode *child : HeaviestFirst(node)) {
        if (child->total < all * kTreeCutoff) break;
        out += std::string(2 * depth, ' ');
        out += format("%5.1f%% %s %10" PRIu64 "  ", percent(child->total, all), amount(child->total, bytes).c_str(),
                      child->samples);
        out += child->name + '\n';
        if (depth + 1 < kTreeDepth) tree(*child, depth + 1, all, bytes, out);
    }
}

}  // namespace

std::string EventReport(const NamedProfile &profile, const ReportInfo &info) {
    std::string out = info.title + "\n\n";
    std::map<std::string, Row> classes, sites;
    leaves(profile.root, classes, sites);
    table(info.bytes ? "By allocated class" : "By lock class", classes, profile.weight, info.bytes, out);
    out += '\n';
    table(info.bytes ? "By allocating method" : "By blocked method", sites, profile.weight, info.bytes, out);
    out += "\nCall tree, by weight" + TreeCutoff(kTreeCutoff) + "\n";
    tree(profile.root, 0, profile.weight, info.bytes, out);
    return out;
}

}  // namespace profiler

namespace profiler {

std::string ClassName(std::string_view signature) {
    size_t dimensions = 0;
    while (dimensions < signature.size() && signature[dimensions] == '[') ++dimensions;
    std::string_view element = signature.substr(dimensions);
    std::string name;
    if (element.size() >= 2 && element.front() == 'L' && element.back() == ';') {
        name = element.substr(1, element.size() - 2);
        std::replace(name.begin(), name.end(), '/', '.');
    } else if (element.size() == 1) {
        switch (element[0]) {
            case 'Z': name = "boolean"; break;
            case 'B': name = "byte"; break;
            case 'C': name = "char"; break;
            case 'S': name = "short"; break;
            case 'I': name = "int"; break;
            case 'J': name = "long"; break;
            case 'F': name = "float"; break;
            case 'D': name = "double"; break;
            default: break;
        }
    }
    if (name.empty()) name = element.empty() ? "?" : std::string(element);
    for (size_t i = 0; i < dimensions; ++i) name += "[]";
    return name;
}

}  // namespace profiler
