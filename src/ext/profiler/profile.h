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

namespace profiler {

struct SampledFrame {
    std::string name;  // method or group name, as the reports show it
    std::string method;  // the method it stands for, for the flat profile (usually name)
    int32_t line = 0;  // source line, 0 when unknown
};

struct TreeNode {
    std::string name;
    uint64_t self = 0;   // samples with this node on top
    uint64_t total = 0;  // samples through this node
    std::map<std::string, std::unique_ptr<TreeNode>> children;
};

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
