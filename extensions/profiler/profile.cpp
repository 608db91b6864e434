#include "profile.h"

#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <vector>

namespace profiler {

namespace {

// Empties a tree leaf by leaf, so that no destructor recurses.
template <typename Tree>
void dismantle(Tree &tree) {
    std::vector<std::unique_ptr<std::remove_reference_t<decltype(*tree.children.begin()->second)>>> pending;
    for (auto &entry : tree.children) pending.push_back(std::move(entry.second));
    tree.children.clear();
    while (!pending.empty()) {
        auto node = std::move(pending.back());
        pending.pop_back();
        for (auto &entry : node->children) pending.push_back(std::move(entry.second));
        node->children.clear();
    }
}

}  // namespace

Node::~Node() { dismantle(*this); }
NamedNode::~NamedNode() { dismantle(*this); }

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
            case Frame::kLabel: return names_.label ? names_.label(frame.id) : "?";
            case Frame::kMethod: break;
        }
        return keepLines_ && frame.line > 0 ? withLine(frame.id, frame.line) : method(frame.id);
    }

private:
    const Names &names_;
    bool keepLines_;
    std::unordered_map<int32_t, std::string> methods_, sources_;
};

// Stacks run thousands of frames deep: the trees are walked with explicit
// work lists, not recursion, so a report fits any thread's stack.
void merge(const Node &from, NamedNode &to, Namer &namer) {
    std::vector<std::pair<const Node *, NamedNode *>> work{{&from, &to}};
    while (!work.empty()) {
        auto [source, target] = work.back();
        work.pop_back();
        for (const auto &[frame, child] : source->children) {
            std::string name = namer(frame);
            std::unique_ptr<NamedNode> &named = target->children[name];
            if (!named) {
                named = std::make_unique<NamedNode>();
                named->name = name;
                if (frame.kind == Frame::kMethod) named->method = namer.method(frame.id);
            }
            named->self += child->self;
            named->total += child->total;
            named->samples += child->samples;
            work.emplace_back(child.get(), named.get());
        }
    }
}

}  // namespace

// A method's total counts each sample once: only where no caller is the same method.
void AddMethodTotals(const NamedNode &root, NamedProfile &out) {
    std::vector<std::pair<const NamedNode *, size_t>> work;  // node, depth
    for (const auto &entry : root.children) work.emplace_back(entry.second.get(), 0);
    std::vector<const std::string *> path;  // the methods of the callers (null: not a method)
    std::unordered_map<std::string_view, int> onPath;
    while (!work.empty()) {
        auto [node, depth] = work.back();
        work.pop_back();
        for (; path.size() > depth; path.pop_back())
            if (path.back() != nullptr) --onPath[*path.back()];
        const std::string &method = node->method;
        if (!method.empty()) {
            MethodTotals &totals = out.methods[method];
            totals.self += node->self;
            if (onPath[method]++ == 0) {
                totals.total += node->total;
                totals.samples += node->samples;
            }
        }
        path.push_back(method.empty() ? nullptr : &method);
        for (const auto &entry : node->children) work.emplace_back(entry.second.get(), depth + 1);
    }
}

NamedProfile NameProfile(const Profile &profile, const Names &names, bool lines) {
    NamedProfile out;
    Namer namer(names, profile.keepsLines() && lines);
    out.root.name = "all";
    out.root.self = profile.root().self;
    out.root.total = profile.root().total;
    out.root.samples = profile.root().samples;
    merge(profile.root(), out.root, namer);
    AddMethodTotals(out.root, out);
    for (const auto &[where, weight] : profile.lines()) out.lines[namer.withLine(where.first, where.second)] += weight;
    out.samples = profile.samples();
    out.weight = profile.weight();
    out.wallNanos = profile.wallNanos();
    out.cpuNanos = profile.cpuNanos();
    return out;
}

}  // namespace profiler
