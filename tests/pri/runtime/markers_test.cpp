// Markers: one identifier per (text, stack name); display names escape their
// text and stay within 256 bytes; conversion to another event; the
// identifier queries. (One identifier per text, and threads racing for the
// same texts, are checked in a real VM: the context-natives and churn runs.)
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "fake_stack_env.h"
#include "pri/runtime/runtime.h"

namespace {

std::u16string units(const std::string &ascii) { return std::u16string(ascii.begin(), ascii.end()); }

int32_t make(const std::u16string &text, const char *stackName, int32_t event = 0) {
    auto *data = reinterpret_cast<const uint16_t *>(text.data());
    return PRIMarkerNumberFor(data, static_cast<uint32_t>(text.size()), stackName, event, true);
}

std::string formatted(const std::u16string &text, const char *stackName) {
    char buffer[kPRIMarkerNameBytes + 16];
    memset(buffer, '#', sizeof buffer);
    PRIFormatMarkerName(reinterpret_cast<const uint16_t *>(text.data()), static_cast<uint32_t>(text.size()),
                        stackName, buffer);
    EXPECT_EQ(buffer[kPRIMarkerNameBytes], '#') << "written past 256 bytes";
    return buffer;
}

TEST(MarkerNames, EscapesAndTheBoundOf256Bytes) {
    const std::string longName(300, 's');
    struct Case {
        std::u16string text;
        const char *stackName;
        std::string expected;  // "" when only the bound is checked
    };
    const Case cases[] = {
        {u"a\"b\\c\u00e9\u20ac", "cpu", "_@{k=\"_@cpu\";v=(\"a\\\"b\\\\c\\u00E9\\u20AC\");}"},
        {units(std::string(231, 'y')), "cpu", "_@{k=\"_@cpu\";v=(\"" + std::string(231, 'y') + "\");}"},
        {units(std::string(232, 'y')), "cpu", "_@{k=\"_@cpu\";v=(\"" + std::string(231, 'y') + "...\");}"},
        {std::u16string(100, u'\u00e9'), "cpu", ""},
        {std::u16string(80, u'"'), longName.c_str(), ""},
    };
    for (const Case &c : cases) {
        std::string name = formatted(c.text, c.stackName);
        EXPECT_LE(name.size(), static_cast<size_t>(kPRIMarkerNameBytes - 1));
        if (!c.expected.empty()) {
            EXPECT_EQ(name, c.expected);
            continue;
        }
        ASSERT_GT(name.size(), 7u);
        EXPECT_EQ(name.substr(name.size() - 7), "...\");}") << name;
        // A cut never splits an escape.
        std::string text = name.substr(name.find(";v=(\"") + 5);
        text.resize(text.size() - 7);
        std::string unit = text[1] == 'u' ? "\\u00E9" : "\\\"";
        EXPECT_EQ(text.size() % unit.size(), 0u) << name;
        EXPECT_EQ(text.substr(text.size() - unit.size()), unit) << name;
    }
}

TEST(Markers, OneIdentifierPerTextAndStackName) {
    FakeStackEnv thread;
    PRISetMarkerStackName(1, "cpu");
    PRISetMarkerStackName(2, "memory");
    const char *cpu = PRIMarkerStackName(1);
    int32_t lock = make(u"lock wait", cpu, 1);
    ASSERT_GT(lock, 0);
    EXPECT_NE(make(u"lock wait", PRIMarkerStackName(2), 2), lock);
    EXPECT_STREQ(PRIMarkerDisplayName(lock), "{k=\"_@cpu\";v=(\"lock wait\");}");
    EXPECT_STREQ(PRIMarkerDisplayName(0), "Overhead");

    // Conversion: the same text under the other event's stack name, and back.
    uint32_t id = static_cast<uint32_t>(lock) | kPRIMarkerBits;
    int32_t inMemory = zviConverMarkerLineToUniqueMethod(static_cast<int32_t>(id), 2);
    EXPECT_EQ(PRIMarkerAt(PRIMarkerNumberOf(static_cast<uint32_t>(inMemory)))->stackName, PRIMarkerStackName(2));
    EXPECT_EQ(static_cast<uint32_t>(zviConverMarkerLineToUniqueMethod(inMemory, 1)), id);
    EXPECT_EQ(static_cast<uint32_t>(zviConverMarkerLineToUniqueMethod(static_cast<int32_t>(id), 0)), id);
    int32_t *code = zviCodeForSpecialMethodID(static_cast<int32_t>(id), 2);
    ASSERT_NE(code, nullptr);
    EXPECT_EQ(code[0], 2);
    EXPECT_EQ(static_cast<uint32_t>(code[1]), static_cast<uint32_t>(inMemory));

    testing::internal::CaptureStderr();
    int32_t nowhere = zviConverMarkerLineToUniqueMethod(static_cast<int32_t>(id), 9);
    const char *name = nullptr;
    EXPECT_EQ(zviIsGroupID(static_cast<int32_t>(id), 10, &name), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "UM: Could not find a stack name for event 0x9\n"
              "IsGroup: Could not find a stack name for event 0xa\n");
    EXPECT_TRUE(PRIIsMarkerID(static_cast<uint32_t>(nowhere)));
    EXPECT_STREQ(name, "{k=\"_@\";v=(\"lock wait\");}");

    PRIMarkerKey key{reinterpret_cast<const uint16_t *>(u"lock wait"), 9, 0, cpu};
    EXPECT_EQ(PRIMarkerExists(&key), 1);
    key.stackName = "cpu";  // another pointer: another key
    EXPECT_EQ(PRIMarkerExists(&key), 0);
}

}  // namespace
