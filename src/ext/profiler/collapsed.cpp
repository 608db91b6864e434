// Collapsed stacks, as flamegraph.pl and speedscope read them.
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

std::string CollapsedStacks(const Profile &profile) {
    std::string out, path;
    std::vector<size_t> lengths;  // of the path before each open node's name
    WalkTree(
        profile.root(),
        [&](const TreeNode &node, bool) {
            lengths.push_back(path.size());
            if (!path.empty()) path += ';';
            path += CollapsedFrame(node.name);
            if (node.self > 0) out += path + ' ' + std::to_string(node.self) + '\n';
        },
        [&](const TreeNode &) {
            path.resize(lengths.back());
            lengths.pop_back();
        });
    return out;
}

}  // namespace profiler
