// Overhead counters: per-thread lines and the cumulative section, on a fake clock.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "diag/diag.h"

namespace {

uint32_t gNow = 0;
uint32_t fakeClock() { return gNow; }

struct Step {
    ZVWord thread;
    const char *name;
    bool start;
    uint32_t at;
};

class OverheadCountersTest : public ::testing::Test {
protected:
    void SetUp() override {
        ZVSetOverheadClock(fakeClock);
        initOverheadCounters();
    }
    void TearDown() override { ZVSetOverheadClock(nullptr); }

    // Runs the steps and gives what they wrote to the standard error stream.
    static std::string run(std::initializer_list<Step> steps) {
        testing::internal::CaptureStderr();
        for (const Step &step : steps) {
            gNow = step.at;
            if (step.start) startOverheadCounter(step.thread, step.name);
            else stopOverheadCounter(step.thread, step.name);
        }
        return testing::internal::GetCapturedStderr();
    }

    static std::string dump() {
        testing::internal::CaptureStdout();
        dumpOverheadCounters();
        fflush(stdout);
        return testing::internal::GetCapturedStdout();
    }
};

const char *kHeader = "                Name\tOverhead\tInvocations Avg overhead\n";

TEST_F(OverheadCountersTest, ThreadLinesShowTotalStartsAndIntegerAverage) {
    struct Case {
        const char *name;
        std::initializer_list<Step> steps;
        const char *errors;
        const char *section;
    } cases[] = {
        {"three runs of 10 ms",
         {{0x101, "threeRuns", true, 0}, {0x101, "threeRuns", false, 10}, {0x101, "threeRuns", true, 20},
          {0x101, "threeRuns", false, 30}, {0x101, "threeRuns", true, 40}, {0x101, "threeRuns", false, 50}},
         "", "\nThread 0x101:\n           threeRuns\t30ms\t3\t10\n"},
        {"a second start keeps the first start time",
         {{0x102, "twice", true, 100}, {0x102, "twice", true, 105}, {0x102, "twice", false, 110}},
         "Should not happen: unclosed startOverheadCounter (twice)\n", "\nThread 0x102:\n               twice\t10ms\t1\t10\n"},
        {"an unknown stop changes nothing",
         {{0x103, "known", true, 0}, {0x103, "known", false, 4}, {0x103, "unknown", false, 9}},
         "error: stopOverheadCounter called for unknown key unknown\n", "\nThread 0x103:\n               known\t4ms\t1\t4\n"},
        {"a stop without a start adds nothing",
         {{0x104, "stopped", true, 1000}, {0x104, "stopped", false, 1007}, {0x104, "stopped", false, 5000}},
         "", "\nThread 0x104:\n             stopped\t7ms\t1\t7\n"},
        {"the timer wraps",
         {{0x105, "wrapped", true, 0xFFFFFFF0u}, {0x105, "wrapped", false, 0x10}},
         "", "\nThread 0x105:\n             wrapped\t32ms\t1\t32\n"},
        {"a start at timer value 0 runs",
         {{0x106, "atZero", true, 0}, {0x106, "atZero", true, 3}, {0x106, "atZero", false, 5}},
         "Should not happen: unclosed startOverheadCounter (atZero)\n", "\nThread 0x106:\n              atZero\t5ms\t1\t5\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(run(c.steps), c.errors);
        std::string text = dump();
        EXPECT_EQ(text.rfind(kHeader, 0), 0u);
        EXPECT_NE(text.find(c.section), std::string::npos) << text;
    }
}

TEST_F(OverheadCountersTest, CumulativeSectionSumsThreadsWithFloatingAverage) {
    std::string name(32, 'x');  // a temporary the counters must not keep
    name = "shared";
    run({{0x201, name.c_str(), true, 0}, {0x201, name.c_str(), false, 3}, {0x201, name.c_str(), true, 10},
         {0x201, name.c_str(), false, 12}, {0x202, "shared", true, 0}, {0x202, "shared", false, 5}});
    name.assign(32, '?');
    std::string text = dump();
    EXPECT_NE(text.find("\nThread 0x201:\n              shared\t5ms\t2\t2\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nThread 0x202:\n              shared\t5ms\t1\t5\n"), std::string::npos) << text;
    std::string cumulative = std::string("\n*** Cummulative values ***\n") + kHeader;
    size_t at = text.find(cumulative);
    ASSERT_NE(at, std::string::npos) << text;
    EXPECT_NE(text.find("              shared\t10ms\t3\t3.33333\n", at), std::string::npos) << text;
    run({{0x203, "halves", true, 0}, {0x203, "halves", false, 5}, {0x203, "halves", true, 5}, {0x203, "halves", false, 5}});
    EXPECT_NE(dump().find("              halves\t5ms\t2\t2.5\n"), std::string::npos);
}

}  // namespace
