// The sampled profile: a call tree of frame names (one node per distinct path
// from the root), per-method totals for the flat profile, and the source lines
// where the sampled threads were when they were on top.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace profiler {

struct SampledFrame {
    std::string name;  // method or group name, as the reports show it
    std::string method;  // the method it stands for, for the flat profile (usually name)
    int32_t line = 0;  // source line, 0 when unknown
};

// A sampled stack can be thousands of frames deep (a program that overflows
// its own stack): nothing walks or frees the tree by recursion, which would
// overflow the native stack of the Java thread that renders or exits.
struct TreeNode {
    TreeNode() = default;
    TreeNode(const TreeNode &) = delete;
    TreeNode &operator=(const TreeNode &) = delete;
    ~TreeNode();

    std::string name;
    uint64_t self = 0;   // samples with this node on top
    uint64_t total = 0;  // samples through this node
    std::map<std::string, std::unique_ptr<TreeNode>> children;
};

// Visits the nodes below root depth first, children in name order: enter(node,
// first) before the node's children (first: it is its parent's first child),
// leave(node) after them.
template <typename Enter, typename Leave>
void WalkTree(const TreeNode &root, Enter enter, Leave leave) {
    using Next = std::map<std::string, std::unique_ptr<TreeNode>>::const_iterator;
    std::vector<std::pair<const TreeNode *, Next>> open{{&root, root.children.begin()}};
    while (!open.empty()) {
        auto &[node, next] = open.back();
        if (next == node->children.end()) {
            if (open.size() > 1) leave(*node);
            open.pop_back();
            continue;
        }
        const TreeNode &child = *next->second;
        bool first = next == node->children.begin();
        ++next;
        enter(child, first);
        open.emplace_back(&child, child.children.begin());
    }
}

struct MethodTotals {
    uint64_t self = 0;
    uint64_t total = 0;  // samples with the method anywhere on the stack, once per sample
};

class Profile {
public:
    // One sample, frames from the outermost call to the top of the stack.
    void add(std::span<const SampledFrame> stack);

    const TreeNode &root() const { return root_; }
    uint64_t samples() const { return root_.total; }
    const std::map<std::string, MethodTotals> &methods() const { return methods_; }
    // (method, line) of the top frame → samples.
    const std::map<std::pair<std::string, int32_t>, uint64_t> &lines() const { return lines_; }

private:
    TreeNode root_;
    std::map<std::string, MethodTotals> methods_;
    std::map<std::pair<std::string, int32_t>, uint64_t> lines_;
};

}  // namespace profiler
