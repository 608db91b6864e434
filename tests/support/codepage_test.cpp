// Code-page conversions: the agent's UTF-8 form to the process code page and
// back to escaped ASCII, in the untouched C locale and in a UTF-8 locale.
#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "support/heap.h"
#include "support/text.h"

namespace {

std::string Take(char *text) {
    std::string result = text == nullptr ? "(null)" : text;
    sFree(text);
    return result;
}

std::string Escaped(const char *text) { return Take(CodePageToEscapedAscii(text)); }
std::string CodePage(const char *text) { return Take(Utf8ToCodePage(text)); }

void ExpectConversions() {
    EXPECT_EQ(Escaped("C:\\x"), "C:\\\\x");
    EXPECT_EQ(Escaped("caf\xC3\xA9"), "caf\\u00e9");
    EXPECT_EQ(Escaped("\xE2\x82\xAC 5"), "\\u20ac 5");
    EXPECT_EQ(Escaped("\xF0\x9F\x98\x80"), "\\ud83d\\ude00");  // beyond 16 bits: a pair
    EXPECT_EQ(Escaped("a\xFF" "b"), "a\\u00ffb");              // invalid byte keeps its value
    EXPECT_EQ(Escaped("\xE2\x82"), "\\u00e2\\u0082");          // cut-off character at the end
    EXPECT_EQ(Escaped(""), "");

    EXPECT_EQ(CodePage("caf\xC3\xA9"), "caf\xC3\xA9");
    EXPECT_EQ(CodePage("\xED\xA0\xBD\xED\xB8\x80"), "\xF0\x9F\x98\x80");  // pair joined
    EXPECT_EQ(CodePage("ab\xC0\x80" "cd"), "ab");                      // encoded NUL ends it
}

}  // namespace

TEST(CodePage, NullGivesNull) {
    EXPECT_EQ(Utf8ToCodePage(nullptr), nullptr);
    EXPECT_EQ(CodePageToEscapedAscii(nullptr), nullptr);
}

TEST(CodePage, UntouchedCLocaleIsTakenAsUtf8) {
    ASSERT_STREQ(setlocale(LC_CTYPE, nullptr), "C");
    ExpectConversions();
    EXPECT_STREQ(setlocale(LC_CTYPE, nullptr), "C");  // the thread's locale is restored
}

TEST(CodePage, Utf8LocaleGivesTheSameResults) {
    if (setlocale(LC_CTYPE, "C.UTF-8") == nullptr) GTEST_SKIP() << "no C.UTF-8 locale";
    ExpectConversions();
    setlocale(LC_CTYPE, "C");
}

TEST(CodePage, LoneSurrogateCannotBeConvertedAndSaysSo) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(Utf8ToCodePage("a\xED\xA0\x80"), nullptr);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.rfind("Error converting unicode ", 0), 0u) << out;
}

TEST(CodePage, RoundTripThroughEscapes) {
    // Every unit of the agent's form survives code page and escaping.
    std::string expected, text;
    for (uint16_t unit : {uint16_t{'a'}, uint16_t{0x7F}, uint16_t{0x80}, uint16_t{0x7FF}, uint16_t{0x800},
                          uint16_t{0xD7FF}, uint16_t{0xE000}, uint16_t{0xFFFD}}) {
        char bytes[4];
        text.append(bytes, Utf8EncodeUnit(bytes, unit));
        char escape[8];
        snprintf(escape, sizeof escape, unit < 128 ? "%c" : "\\u%04x", unit);
        expected += escape;
    }
    EXPECT_EQ(Escaped(CodePage(text.c_str()).c_str()), expected);
}
