// The profile's bookkeeping and the formats other tools read back.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "profile.h"
#include "reports.h"

namespace {

using profiler::Frame;
using profiler::NamedProfile;
using profiler::Profile;

// Identifiers 1.. name the methods of this table; 5 and 6 share a name (overloads).
const char *const kNames[] = {"?", "main", "f", "g", "hot", "o", "o"};
// Method 4's lines are mapped from page.jsp.
const profiler::Names kNamer{[](int32_t id) { return std::string(kNames[id]); },
                             [](int32_t n) { return "t" + std::to_string(n); },
                             [](int32_t id) { return std::string(id == 4 ? "page.jsp" : ""); }, nullptr};

// One sample of `ms` milliseconds; frames are identifiers, at line 7.
void add(Profile &profile, std::vector<int32_t> ids, uint64_t ms = 1, std::vector<Frame> extra = {}) {
    std::vector<Frame> stack;
    for (int32_t id : ids) stack.push_back({Frame::kMethod, id, 7});
    stack.insert(stack.end(), extra.begin(), extra.end());
    profile.add(stack, ms * 1000000);
}

// Recursion counts a method once per sample; identifiers of one name merge;
// the collapsed lines are the stacks with their self weights in microseconds.
TEST(Profile, CountsRecursionOnceMergesNamesAndCollapsedStacksAddUp) {
    Profile profile;
    add(profile, {1, 2, 2}, 2);
    add(profile, {1, 2, 2});
    add(profile, {1, 3});
    add(profile, {1});
    add(profile, {1, 5});
    add(profile, {1, 6}, 3);
    add(profile, {});
    NamedProfile named = profiler::NameProfile(profile, kNamer);
    EXPECT_EQ(named.samples, 6u);
    EXPECT_EQ(named.methods.at("f").total, 3000000u);
    EXPECT_EQ(named.methods.at("f").samples, 2u);
    EXPECT_EQ(named.methods.at("main").total, 9000000u);
    EXPECT_EQ(named.methods.at("main").self, 1000000u);
    EXPECT_EQ(named.methods.at("o").self, 4000000u);
    EXPECT_EQ(named.lines.at("f:7"), 3000000u);
    EXPECT_EQ(profiler::CollapsedStacks(named), "main 1000\nmain;f;f 3000\nmain;g 1000\nmain;o 4000\n");
}

// Wall mode's state leaves and thread roots are frames of the tree, not methods.
TEST(Profile, StateAndThreadFramesAndLines) {
    Profile profile(true);
    add(profile, {1, 4}, 1, {{Frame::kState, profiler::kSleeping, 0}});
    std::vector<Frame> stack{{Frame::kThread, 0, 0}, {Frame::kMethod, 1, 3}, {Frame::kState, profiler::kBlocked, 0}};
    profile.add(stack, 1000000);
    NamedProfile named = profiler::NameProfile(profile, kNamer);
    EXPECT_EQ(profiler::CollapsedStacks(named), "[thread_t0];main:3;[blocked_on_a_monitor] 1000\n"
                                                "main:7;hot:page.jsp:7;[sleeping] 1000\n");
    EXPECT_EQ(named.methods.size(), 2u);
    EXPECT_EQ(named.methods.at("hot").self, 0u);
    EXPECT_EQ(named.methods.at("main").total, 2000000u);
}

// Far deeper than any thread's stack would allow a recursive walk.
TEST(Profile, DeepStacksAreReportedAndFreedWithoutRecursion) {
    std::vector<int32_t> ids(200000, 2);
    ids[0] = 1;
    auto profile = std::make_unique<Profile>();
    add(*profile, ids);
    NamedProfile named = profiler::NameProfile(*profile, kNamer);
    EXPECT_EQ(named.methods.at("f").samples, 1u);
    EXPECT_EQ(profiler::CollapsedStacks(named).size(), 4 + 2 * 199999 + 6);  // "main;f;...;f 1000\n"
    EXPECT_NE(profiler::FlameGraphHtml(named, {}).find("\"f\",1000,1000,[]]"), std::string::npos);
    profile.reset();
}

TEST(Profile, FrameNamesCannotBreakTheFormats) {
    Profile profile;
    add(profile, {1, 2});
    const profiler::Names hostile{[](int32_t id) { return std::string(id == 1 ? "a b;c\nd" : "x</script><b>\"q\""); },
                                  nullptr, nullptr, nullptr};
    NamedProfile named = profiler::NameProfile(profile, hostile);
    std::string collapsed = profiler::CollapsedStacks(named);
    EXPECT_EQ(collapsed, "a_b:c?d;x</script><b>\"q\" 1000\n");
    profiler::ReportInfo info;
    std::string html = profiler::FlameGraphHtml(named, info);
    size_t first = html.find("</script>");
    EXPECT_NE(first, std::string::npos);
    EXPECT_EQ(html.find("</script>", first + 1), std::string::npos) << "a frame name closed the script";
    EXPECT_NE(html.find(R"(x\u003c/script\u003e\u003cb\u003e\"q\")"), std::string::npos);
}

TEST(Profile, TextReportShowsTimesAndCalls) {
    Profile profile;
    for (int i = 0; i < 3; ++i) add(profile, {1, 4}, 20);
    add(profile, {1}, 20);
    profile.addTime(2500000000, 70000000);
    profiler::ReportInfo info{"CPU", 10, true, {{"hot", 12345}}};
    std::string text = profiler::TextReport(profiler::NameProfile(profile, kNamer), info);
    EXPECT_EQ(text.substr(0, text.find("\n\n")), "Profile (CPU, one sample every 10 ms): 4 samples, 0.08 s\n"
              "Sampled 2.50 s of wall time, in which the sampled threads used 0.07 s of CPU time");
    EXPECT_NE(text.find(" 75.0      0.06   75.0      0.06         3        12345  hot\n"), std::string::npos) << text;
    EXPECT_NE(text.find("       12345  hot\n"), std::string::npos);
    EXPECT_NE(text.find(" 75.0     0.060  hot:page.jsp:7\n"), std::string::npos);
    // A section cut short says so.
    for (int i = 0; i < 44; ++i) info.calls["m" + std::to_string(i)] = 1;
    text = profiler::TextReport(profiler::NameProfile(profile, kNamer), info);
    EXPECT_NE(text.find("\nCalls, most called first (the first 40 of 45)\n       calls"), std::string::npos) << text;
}


// Exact times: a node's self time is what its children leave, a recursive
// method's total counts its outermost call, overloads of one name merge with
// their least and greatest calls.
TEST(Profile, MethodTimesNameTheTreeAndCountRecursionOnce) {
    constexpr uint64_t ms = 1000000;
    // main(10 ms) → f(4 ms) → f(3 ms); main → o#5 (1 ms, 2 calls) and o#6 (4 ms, 1 call).
    std::vector<profiler::TimedNode> nodes{{0, 0, 0, 0, 0, 0},       {0, 1, 1, 10 * ms, 10 * ms, 10 * ms},
                                           {1, 2, 1, 4 * ms, 4 * ms, 4 * ms}, {2, 2, 1, 3 * ms, 3 * ms, 3 * ms},
                                           {1, 5, 2, 1 * ms, ms / 4, 3 * ms / 4}, {1, 6, 1, 4 * ms, 4 * ms, 4 * ms}};
    profiler::TimedProfile times = profiler::NameTimes(nodes, kNamer);
    EXPECT_EQ(times.named.weight, 10 * ms);
    EXPECT_EQ(times.named.methods["f"].total, 4 * ms);
    EXPECT_EQ(times.named.methods["f"].self, 4 * ms);
    EXPECT_EQ(times.named.methods["main"].self, 1 * ms);
    profiler::TimedMethod o = times.methods["o"], f = times.methods["f"];
    EXPECT_EQ(std::vector<uint64_t>({o.calls, o.min, o.max, f.calls, f.all}),
              std::vector<uint64_t>({3, ms / 4, 4 * ms, 2, 7 * ms}));
    EXPECT_EQ(profiler::CollapsedStacks(times.named), "main 1000\nmain;f 1000\nmain;f;f 3000\nmain;o 5000\n");
    EXPECT_EQ(profiler::ClassName("[[Ljava/lang/String;") + profiler::ClassName("[J"), "java.lang.String[][]long[]");
}

}  // namespace
