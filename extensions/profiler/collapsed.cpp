// Collapsed stacks, as flamegraph.pl and speedscope read them, and read back
// (the differential flame graph compares two such files).
#include <algorithm>
#include <charconv>
#include <vector>

#include "reports.h"

namespace profiler {

std::string CollapsedFrame(std::string_view name) {
    std::string safe(name.empty() ? "?" : name);
    for (char &c : safe) {
        if (c == ';') c = ':';
        else if (c == ' ') c = '_';
        else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    }
    return safe;
}

std::string CollapsedStacks(const NamedProfile &profile, uint64_t divisor, bool counts) {
    if (divisor == 0) divisor = 1;
    std::string out, path;
    // Depth-first without recursion (stacks run thousands of frames deep);
    // each entry remembers the path's length before its frame.
    std::vector<std::pair<const NamedNode *, size_t>> work;
    for (auto it = profile.root.children.rbegin(); it != profile.root.children.rend(); ++it)
        work.emplace_back(it->second.get(), 0);
    while (!work.empty()) {
        auto [node, length] = work.back();
        work.pop_back();
        path.resize(length);
        if (!path.empty()) path += ';';
        path += CollapsedFrame(node->name);
        // A node's own samples: those through it less those through its children.
        uint64_t own = node->samples;
        if (counts)
            for (const auto &entry : node->children) own -= std::min(own, entry.second->samples);
        uint64_t weight = counts ? own : (node->self + divisor / 2) / divisor;
        if (weight > 0) out += path + ' ' + std::to_string(weight) + '\n';
        size_t here = path.size();
        for (auto it = node->children.rbegin(); it != node->children.rend(); ++it)
            work.emplace_back(it->second.get(), here);
    }
    return out;
}

namespace {

// The method a collapsed frame stands for: "Class.method" of "Class.method:12"
// or "Class.method:page.jsp:2"; bracketed frames (groups, states) as they are.
std::string_view methodOf(std::string_view frame) {
    if (frame.starts_with('[')) return frame;
    return frame.substr(0, frame.find(':'));
}

}  // namespace

std::string ParseCollapsed(std::string_view text, NamedProfile &profile) {
    profile = NamedProfile{};
    profile.root.name = "all";
    size_t number = 0;
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        ++number;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) continue;
        size_t space = line.rfind(' ');
        uint64_t micros = 0;
        std::string_view digits = space == std::string_view::npos ? std::string_view{} : line.substr(space + 1);
        auto [stop, fault] = std::from_chars(digits.data(), digits.data() + digits.size(), micros);
        if (space == 0 || digits.empty() || fault != std::errc{} || stop != digits.data() + digits.size() ||
            micros > UINT64_MAX / 1000)
            return "line " + std::to_string(number) + ": expected frames separated by ';', a space and a weight";
        uint64_t weight = micros * 1000;
        if (profile.root.total > UINT64_MAX - weight)
            return "line " + std::to_string(number) + ": the weights add up to more than can be counted";
        NamedNode *node = &profile.root;
        node->total += weight;
        ++node->samples;
        for (std::string_view frames = line.substr(0, space); !frames.empty();) {
            size_t semicolon = frames.find(';');
            std::string_view frame = frames.substr(0, semicolon);
            frames = semicolon == std::string_view::npos ? std::string_view{} : frames.substr(semicolon + 1);
            std::unique_ptr<NamedNode> &child = node->children[std::string(frame.empty() ? "?" : frame)];
            if (!child) {
                child = std::make_unique<NamedNode>();
                child->name = frame.empty() ? "?" : frame;
                child->method = methodOf(child->name);
            }
            node = child.get();
            node->total += weight;
            ++node->samples;
        }
        node->self += weight;
    }
    AddMethodTotals(profile.root, profile);
    profile.samples = profile.root.samples;
    profile.weight = profile.root.total;
    return "";
}

}  // namespace profiler
