// Collapsed stacks, as flamegraph.pl and speedscope read them.
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

std::string CollapsedStacks(const NamedProfile &profile) {
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
        uint64_t micros = (node->self + 500) / 1000;
        if (micros > 0) out += path + ' ' + std::to_string(micros) + '\n';
        size_t here = path.size();
        for (auto it = node->children.rbegin(); it != node->children.rend(); ++it)
            work.emplace_back(it->second.get(), here);
    }
    return out;
}

}  // namespace profiler
