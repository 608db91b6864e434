// The profile's bookkeeping and the formats other tools read back.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "profile.h"
#include "reports.h"

namespace {

using profiler::Profile;
using profiler::SampledFrame;

void add(Profile &profile, std::vector<std::string> names) {
    std::vector<SampledFrame> stack;
    for (const std::string &name : names) stack.push_back({name, name, 7});
    profile.add(stack);
}

// Recursion counts a method once per sample; the collapsed lines are the
// stacks with their self counts and add up to the samples.
TEST(Profile, CountsRecursionOnceAndCollapsedStacksAddUp) {
    Profile profile;
    add(profile, {"main", "f", "f"});
    add(profile, {"main", "f", "f"});
    add(profile, {"main", "g"});
    add(profile, {"main"});
    add(profile, {});
    EXPECT_EQ(profile.samples(), 4u);
    EXPECT_EQ(profile.methods().at("f").total, 2u);
    EXPECT_EQ(profile.methods().at("f").self, 2u);
    EXPECT_EQ(profile.methods().at("main").total, 4u);
    EXPECT_EQ(profile.methods().at("main").self, 1u);
    EXPECT_EQ((profile.lines().at({"f", 7})), 2u);
    EXPECT_EQ(profiler::CollapsedStacks(profile), "main 1\nmain;f;f 2\nmain;g 1\n");
}

TEST(Profile, FrameNamesCannotBreakTheFormats) {
    Profile profile;
    add(profile, {"a b;c\nd", "x</script><b>\"q\""});
    std::string collapsed = profiler::CollapsedStacks(profile);
    EXPECT_EQ(collapsed, "a_b:c?d;x</script><b>\"q\" 1\n");
    profiler::ReportInfo info;
    std::string html = profiler::FlameGraphHtml(profile, info);
    size_t first = html.find("</script>");
    EXPECT_NE(first, std::string::npos);
    EXPECT_EQ(html.find("</script>", first + 1), std::string::npos) << "a frame name closed the script";
    EXPECT_NE(html.find(R"(x\u003c/script\u003e\u003cb\u003e\"q\")"), std::string::npos);
}

// A stack deeper than any thread's native stack could follow by recursion
// renders, and the profile goes, without one.
TEST(Profile, StacksOfHundredsOfThousandsOfFramesRenderAndFree) {
    constexpr size_t kDepth = 300000;
    std::string html;
    {
        Profile profile;
        add(profile, std::vector<std::string>(kDepth, "f"));
        std::string collapsed = profiler::CollapsedStacks(profile);
        EXPECT_EQ(collapsed.size(), 2 * kDepth + 2);
        EXPECT_EQ(collapsed.substr(collapsed.size() - 7), ";f;f 1\n");
        html = profiler::FlameGraphHtml(profile, profiler::ReportInfo{});
    }
    EXPECT_NE(html.find(R"(["f",1,1,[]])"), std::string::npos);
}

TEST(Profile, TextReportShowsTimesAndCalls) {
    Profile profile;
    for (int i = 0; i < 3; ++i) add(profile, {"main", "hot"});
    add(profile, {"main"});
    profiler::ReportInfo info{"wall clock", 20, true, {{"hot", 12345}}};
    std::string text = profiler::TextReport(profile, info);
    EXPECT_EQ(text.substr(0, text.find('\n')), "Profile (wall clock, one sample every 20 ms): 4 samples, 0.08 s");
    EXPECT_NE(text.find(" 75.0      0.06   75.0      0.06         3        12345  hot\n"), std::string::npos) << text;
    EXPECT_NE(text.find("       12345  hot\n"), std::string::npos);
    EXPECT_NE(text.find(" 75.0         3  hot:7\n"), std::string::npos);
}

}  // namespace
