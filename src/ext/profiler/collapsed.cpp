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

namespace {

void write(const NamedNode &node, std::string &path, std::string &out) {
    for (const auto &[name, child] : node.children) {
        size_t length = path.size();
        if (!path.empty()) path += ';';
        path += CollapsedFrame(name);
        uint64_t micros = (child->self + 500) / 1000;
        if (micros > 0) out += path + ' ' + std::to_string(micros) + '\n';
        write(*child, path, out);
        path.resize(length);
    }
}

}  // namespace

std::string CollapsedStacks(const NamedProfile &profile) {
    std::string out, path;
    write(profile.root, path, out);
    return out;
}

}  // namespace profiler
