#include "profile.h"

#include <set>

namespace profiler {

// Children are moved out before their parent goes, so each node is freed
// with no children left and no destructor nests in another.
TreeNode::~TreeNode() {
    std::vector<std::unique_ptr<TreeNode>> pending;
    for (auto &entry : children) pending.push_back(std::move(entry.second));
    children.clear();
    while (!pending.empty()) {
        std::unique_ptr<TreeNode> node = std::move(pending.back());
        pending.pop_back();
        for (auto &entry : node->children) pending.push_back(std::move(entry.second));
        node->children.clear();
    }
}

void Profile::add(std::span<const SampledFrame> stack) {
    if (stack.empty()) return;
    TreeNode *node = &root_;
    ++node->total;
    for (const SampledFrame &frame : stack) {
        std::unique_ptr<TreeNode> &child = node->children[frame.name];
        if (!child) {
            child = std::make_unique<TreeNode>();
            child->name = frame.name;
        }
        node = child.get();
        ++node->total;
    }
    ++node->self;
    // Recursion puts a method on the stack more than once; it counts once.
    std::set<std::string_view> seen;
    for (const SampledFrame &frame : stack)
        if (seen.insert(frame.method).second) ++methods_[frame.method].total;
    const SampledFrame &top = stack.back();
    ++methods_[top.method].self;
    ++lines_[{top.method, top.line}];
}

}  // namespace profiler
