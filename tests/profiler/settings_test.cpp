// The profiler's arguments: what they set, and bad values keeping defaults with a message.
#include <gtest/gtest.h>

#include <string>

#include "settings.h"
#include "support/element_helpers.h"

namespace {

profiler::Settings read(const char *text, std::string *messages = nullptr) {
    ReaderPtr reader(SEReaderFromString(text, -1));
    ElementPtr args(SERead(reader.get()));
    testing::internal::CaptureStderr();
    profiler::Settings settings = profiler::ReadSettings(args.get());
    std::string printed = testing::internal::GetCapturedStderr();
    if (messages != nullptr) *messages = printed;
    return settings;
}

TEST(ProfilerSettings, ArgumentsSetWhatTheyName) {
    profiler::Settings s = read(R"({period=5;mode=cpu;lines=true;calls=false;text=a.txt;html="";})");
    EXPECT_EQ(s.periodMs, 5);
    EXPECT_TRUE(s.cpu);
    EXPECT_TRUE(s.lines);
    EXPECT_FALSE(s.calls);
    EXPECT_EQ(s.text, "a.txt");
    EXPECT_EQ(s.html, "");
    EXPECT_EQ(s.collapsed, "zvprofile.collapsed");
    EXPECT_EQ(read("{mode=clock;}").cpu, false);
    EXPECT_TRUE(read("{threads=true;}").threads);
    // By default: CPU time, every 10 ms.
    EXPECT_EQ(profiler::ReadSettings(nullptr).periodMs, 10);
    EXPECT_TRUE(profiler::ReadSettings(nullptr).cpu);
}

TEST(ProfilerSettings, BadValuesKeepTheDefaultsAndSaySo) {
    for (const char *period : {"0", "10001", "20x", "-5", "", "99999999999999999999"}) {
        std::string messages;
        profiler::Settings s = read(("{period=\"" + std::string(period) + "\";}").c_str(), &messages);
        EXPECT_EQ(s.periodMs, 10) << period;
        EXPECT_NE(messages.find("period"), std::string::npos) << period;
    }
    std::string messages;
    // Each mistake is named, and the rest is read.
    profiler::Settings s = read(R"({mode=fast;lines=maybe;perod=5;" mode"=wall;threads="true ";calls=false;reportErrors=0;})",
                                &messages);
    EXPECT_TRUE(s.cpu);
    EXPECT_FALSE(s.lines);
    EXPECT_FALSE(s.threads);
    EXPECT_FALSE(s.calls);
    for (const char *said : {"mode fast is not wall or cpu", "lines=maybe is not true or false",
                             "unknown argument 'perod' ignored", "argument ' mode' has a space in its name",
                             "threads='true ' has a space in its value"})
        EXPECT_NE(messages.find(said), std::string::npos) << said << " in " << messages;
    EXPECT_EQ(messages.find("reportErrors"), std::string::npos);
}

}  // namespace
