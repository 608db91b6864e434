#include "profile.h"

#include <unordered_map>
#include <vector>

namespace profiler {

void Profile::add(std::span<const Frame> stack, uint64_t weight) {
    if (stack.empty()) return;
    Node *node = &root_;
    node->total += weight;
    ++node->samples;
    const Frame *top = nullptr;
    for (const Frame &frame : stack) {
        Frame key = frame;
        if (frame.kind == Frame::kMethod) {
            top = &frame;
            if (!keepLines_) key.line = 0;
        }
        std::unique_ptr<Node> &child = node->children[key];
        if (!child) child = std::make_unique<Node>();
        node = child.get();
        node->total += weight;
        ++node->samples;
    }
    node->self += weight;
    if (top != nullptr) lines_[{top->id, top->line}] += weight;
}

std::string StateName(int32_t state) {
    switch (state) {
        case kRunning: return "[running]";
        case kBlocked: return "[blocked on a monitor]";
        case kWaiting: return "[waiting]";
        case kSleeping: return "[sleeping]";
        case kNative: return "[in native]";
        default: return "[unknown state]";
    }
}

namespace {

class Namer {
public:
    Namer(const Names &names, bool keepLines) : names_(names), keepLines_(keepLines) {}

    const std::string &method(int32_t id) {
        auto found = methods_.find(id);
        if (found == methods_.end()) found = methods_.emplace(id, names_.method(id)).first;
        return found->second;
    }

    // "method:LINE", "method:FILE:LINE" for mapped lines, "method:?" without a line.
    std::string withLine(int32_t id, int32_t line) {
        if (line <= 0) return method(id) + ":?";
        auto found = sources_.find(id);
        if (found == sources_.end()) found = sources_.emplace(id, names_.source ? names_.source(id) : "").first;
        return method(id) + ":" + (found->second.empty() ? "" : found->second + ":") + std::to_string(line);
    }

    std::string operator()(const Frame &frame) {
        switch (frame.kind) {
            case Frame::kState: return StateName(frame.id);
            case Frame::kThread: return "[thread " + names_.thread(frame.id) + "]";
            case Frame::kMethod: break;
        }
        return keepLines_ && frame.line > 0 ? withLine(frame.id, frame.line) : method(frame.id);
    }

private:
    const Names &names_;
    bool keepLines_;
    std::unordered_map<int32_t, std::string> methods_, sources_;
};

void merge(const Node &from, NamedNode &to, Namer &namer) {
    for (const auto &[frame, child] : from.children) {
        std::string name = namer(frame);
        std::unique_ptr<NamedNode> &named = to.children[name];
        if (!named) {
            named = std::make_unique<NamedNode>();
            named->name = name;
            if (frame.kind == Frame::kMethod) named->method = namer.method(frame.id);
        }
        named->self += child->self;
        named->total += child->total;
        named->samples += child->samples;
        merge(*child, *named, namer);
    }
}

// A method's total counts each sample once: only where no caller is the same method.
void addTotals(const NamedNode &node, std::vector<const std::string *> &callers, NamedProfile &out) {
    for (const auto &[name, child] : node.children) {
        const std::string &method = child->method;
        if (!method.empty()) {
            MethodTotals &totals = out.methods[method];
            totals.self += child->self;
            bool outermost = true;
            for (const std::string *caller : callers) outermost = outermost && *caller != method;
            if (outermost) {
                totals.total += child->total;
                totals.samples += child->samples;
            }
            callers.push_back(&method);
        }
        addTotals(*child, callers, out);
        if (!method.empty()) callers.pop_back();
    }
}

}  // namespace

NamedProfile NameProfile(const Profile &profile, const Names &names) {
    NamedProfile out;
    Namer namer(names, profile.keepsLines());
    out.root.name = "all";
    out.root.self = profile.root().self;
    out.root.total = profile.root().total;
    out.root.samples = profile.root().samples;
    merge(profile.root(), out.root, namer);
    std::vector<const std::string *> callers;
    addTotals(out.root, callers, out);
    for (const auto &[where, weight] : profile.lines()) out.lines[namer.withLine(where.first, where.second)] += weight;
    out.samples = profile.samples();
    out.weight = profile.weight();
    out.wallNanos = profile.wallNanos();
    out.cpuNanos = profile.cpuNanos();
    return out;
}

}  // namespace profiler
