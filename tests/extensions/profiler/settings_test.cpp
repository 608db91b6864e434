// The profiler's arguments: what they set, and bad values keeping defaults with a message.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "settings.h"
#include "zvi.h"

namespace {

// Text arguments; "#N" stands for the number N, "[" for a value without text.
profiler::Settings read(std::vector<std::pair<std::string, std::string>> pairs, std::string *messages = nullptr) {
    profiler::Arguments args;
    for (const auto &[key, value] : pairs) {
        int kind = value.starts_with('#') ? ZV_ARGUMENT_NUMBER : value == "[" ? ZV_ARGUMENT_OTHER : ZV_ARGUMENT_TEXT;
        args.push_back({key, {kind, kind == ZV_ARGUMENT_NUMBER ? value.substr(1) : kind == ZV_ARGUMENT_OTHER ? "" : value}});
    }
    testing::internal::CaptureStderr();
    profiler::Settings settings = profiler::ReadSettings(args);
    std::string printed = testing::internal::GetCapturedStderr();
    if (messages != nullptr) *messages = printed;
    return settings;
}

// (Mode, lines, threads, the report files and CPU time by default are
// checked end to end.)
TEST(ProfilerSettings, ArgumentsSetWhatTheyName) {
    profiler::Settings s = read({{"period", "#5"}, {"calls", "false"}, {"html", ""}});
    EXPECT_EQ(s.periodMs, 5);
    EXPECT_FALSE(s.calls);
    EXPECT_EQ(s.html, "");
    EXPECT_FALSE(read({{"mode", "clock"}}).cpu);
    EXPECT_EQ(read({}).periodMs, 10);
}

TEST(ProfilerSettings, BadValuesKeepTheDefaultsAndSaySo) {
    for (const char *period : {"0", "10001", "20x", "-5", "", "99999999999999999999"}) {
        std::string messages;
        profiler::Settings s = read({{"period", period}}, &messages);
        EXPECT_EQ(s.periodMs, 10) << period;
        EXPECT_NE(messages.find("period"), std::string::npos) << period;
    }
    std::string messages;
    // Each mistake is named, and the rest is read.
    profiler::Settings s = read({{"mode", "fast"}, {"lines", "maybe"}, {"perod", "#5"}, {" mode", "wall"},
                                 {"threads", "true "}, {"calls", "false"}, {"reportErrors", "#0"}, {"html", "["}},
                                &messages);
    EXPECT_TRUE(s.cpu);
    EXPECT_FALSE(s.lines);
    EXPECT_FALSE(s.threads);
    EXPECT_FALSE(s.calls);
    for (const char *said : {"mode fast is not cpu, wall, timing, alloc or lock; using cpu", "lines=maybe is not true or false",
                             "unknown argument 'perod' ignored", "argument ' mode' has a space in its name",
                             "threads='true ' has a space in its value", "html is neither text nor a number"})
        EXPECT_NE(messages.find(said), std::string::npos) << said << " in " << messages;
    EXPECT_EQ(messages.find("reportErrors"), std::string::npos);
}

TEST(ProfilerSettings, KindsOfProfileAndTheirFiles) {
    using profiler::Kind;
    profiler::Settings s = read({{"mode", "wall+lock+bogus+lock"}, {"alloc", "2m"}});
    EXPECT_EQ(s.kinds, (std::vector<Kind>{Kind::kSampled, Kind::kLock, Kind::kAlloc}));
    EXPECT_FALSE(s.cpu);
    EXPECT_EQ(s.allocBytes, 2 << 20);
    EXPECT_EQ(profiler::WithSuffix("out/zvprofile.txt", profiler::KindSuffix(s, Kind::kLock)), "out/zvprofile-lock.txt");
    EXPECT_EQ(profiler::WithSuffix("a.b/report", profiler::KindSuffix(s, Kind::kSampled)), "a.b/report");
    EXPECT_EQ(read({{"mode", "timing"}, {"alloc", "0"}}).kinds, (std::vector<Kind>{Kind::kTiming}));
    for (auto [patterns, method, matches] : {std::tuple{"a.B", "a.B.run", true}, {"a.B", "a.Bc.run", false},
                                             {"x|a.*.r*", "a.B.run", true}, {"a.B.r", "a.B.run", false}})
        EXPECT_EQ(profiler::MethodMatches(patterns, method), matches) << patterns << " " << method;
}

}  // namespace
