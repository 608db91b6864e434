// The sampled profile. Samples keep the agent's method identifiers and weigh
// what they stand for (nanoseconds of CPU time or of wall time); names are
// given only when a report is written, where frames of one name merge.
#pragma once

#include <compare>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <utility>

namespace profiler {

// What a sampled thread was doing, as wall mode shows it in a leaf frame.
enum ThreadState : int32_t { kRunning = 1, kBlocked, kWaiting, kSleeping, kNative };

struct Frame {
    enum Kind : uint8_t { kMethod, kState, kThread, kLabel };
    Kind kind = kMethod;
    // method identifier (groups and markers too), ThreadState, thread number,
    // or the number of a label (an allocated class, a lock's class)
    int32_t id = 0;
    int32_t line = 0;  // source line of a method frame, 0 when unknown
    auto operator<=>(const Frame &) const = default;
};

// Trees run thousands of frames deep: nodes are taken apart without recursion.
struct Node {
    Node() = default;
    Node(Node &&) = default;
    Node &operator=(Node &&) = default;
    ~Node();
    uint64_t self = 0;     // weight with this node on top
    uint64_t total = 0;    // weight through this node
    uint64_t samples = 0;  // samples through this node
    std::map<Frame, std::unique_ptr<Node>> children;
};

class Profile {
public:
    // keepLines: the call tree tells the lines of a method apart.
    explicit Profile(bool keepLines = false) : keepLines_(keepLines) {}

    // One sample of one thread, frames from the outermost call to the top
    // (a state frame, if any, last).
    void add(std::span<const Frame> stack, uint64_t weight);
    // Time that passed between two snapshots, and CPU time the sampled threads used in it.
    void addTime(uint64_t wallNanos, uint64_t cpuNanos) {
        wallNanos_ += wallNanos;
        cpuNanos_ += cpuNanos;
    }

    const Node &root() const { return root_; }
    uint64_t samples() const { return root_.samples; }
    uint64_t weight() const { return root_.total; }
    uint64_t wallNanos() const { return wallNanos_; }
    uint64_t cpuNanos() const { return cpuNanos_; }
    bool keepsLines() const { return keepLines_; }
    // (method identifier, line) of the top method frame → weight.
    const std::map<std::pair<int32_t, int32_t>, uint64_t> &lines() const { return lines_; }

private:
    bool keepLines_;
    Node root_;
    std::map<std::pair<int32_t, int32_t>, uint64_t> lines_;
    uint64_t wallNanos_ = 0, cpuNanos_ = 0;
};

// How a report names identifiers.
struct Names {
    std::function<std::string(int32_t id)> method;      // "Class.method", "[group]", ...
    std::function<std::string(int32_t number)> thread;  // the thread's name
    // The file a method's lines come from when they are mapped (SMAP data:
    // "page.jsp"), else "" (may be left empty).
    std::function<std::string(int32_t id)> source;
    // The source file of a method's class ("org/example/Main.java"), "" when
    // unknown (may be left empty); pprof files name it.
    std::function<std::string(int32_t id)> file;
    // The text of a label frame by its number (may be left empty).
    std::function<std::string(int32_t number)> label{};
};

// The name of a state frame: "[running]", "[waiting]", ...
std::string StateName(int32_t state);

// The profile with names: frames of one name under one parent merged, and
// the per-method totals of the flat profile.
struct NamedNode {
    NamedNode() = default;
    NamedNode(NamedNode &&) = default;
    NamedNode &operator=(NamedNode &&) = default;
    ~NamedNode();
    std::string name;
    std::string method;  // a method, group or marker frame: its name without the line; else ""
    uint64_t self = 0, total = 0, samples = 0;
    std::map<std::string, std::unique_ptr<NamedNode>> children;
};

struct MethodTotals {
    uint64_t self = 0;
    uint64_t total = 0;    // weight with the method anywhere on the stack, once per sample
    uint64_t samples = 0;  // samples with the method on the stack
};

struct NamedProfile {
    NamedNode root;
    std::map<std::string, MethodTotals> methods;
    std::map<std::string, uint64_t> lines;  // "method:line" ("method:page.jsp:2", "method:?") → weight on top
    uint64_t samples = 0, weight = 0, wallNanos = 0, cpuNanos = 0;
};

// Method frames are named "Class.method", or "Class.method:LINE" when the
// profile keeps lines ("Class.method:page.jsp:LINE" for mapped lines).
// `lines` false names frames without lines even where the profile keeps them.
NamedProfile NameProfile(const Profile &profile, const Names &names, bool lines = true);

// Fills the per-method totals of `out` from the tree below `root`.
void AddMethodTotals(const NamedNode &root, NamedProfile &out);

}  // namespace profiler
