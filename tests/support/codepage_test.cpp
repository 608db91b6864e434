// Code-page conversions: the agent's UTF-8 form to the process code page and
// to escaped ASCII, in the untouched C locale and in a UTF-8 locale.
#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "capture.h"
#include "support/heap.h"
#include "support/text.h"

namespace {

std::string Take(char *text) {
    std::string result = text == nullptr ? "(null)" : text;
    sFree(text);
    return result;
}

void ExpectConversions() {
    auto escaped = [](const char *text) { return Take(CodePageToEscapedAscii(text)); };
    EXPECT_EQ(escaped("C:\\x"), "C:\\\\x");
    EXPECT_EQ(escaped("caf\xC3\xA9"), "caf\\u00e9");
    EXPECT_EQ(escaped("\xF0\x9F\x98\x80"), "\\ud83d\\ude00");  // beyond 16 bits: a pair
    EXPECT_EQ(escaped("a\xFF" "b"), "a\\u00ffb");              // invalid byte keeps its value
    EXPECT_EQ(escaped("\xE2\x82"), "\\u00e2\\u0082");          // cut-off character at the end

    auto codePage = [](const char *text) { return Take(Utf8ToCodePage(text)); };
    EXPECT_EQ(codePage("caf\xC3\xA9"), "caf\xC3\xA9");
    EXPECT_EQ(codePage("\xED\xA0\xBD\xED\xB8\x80"), "\xF0\x9F\x98\x80");  // surrogate pair joined
    EXPECT_EQ(codePage("ab\xC0\x80" "cd"), "ab");                      // an encoded NUL ends it
}

}  // namespace

TEST(CodePage, UntouchedCLocaleIsTakenAsUtf8) {
    ASSERT_STREQ(setlocale(LC_CTYPE, nullptr), "C");
    ExpectConversions();
    EXPECT_STREQ(setlocale(LC_CTYPE, nullptr), "C");
    EXPECT_EQ(Utf8ToCodePage(nullptr), nullptr);
    EXPECT_EQ(CodePageToEscapedAscii(nullptr), nullptr);
}

TEST(CodePage, Utf8LocaleGivesTheSameResults) {
    if (setlocale(LC_CTYPE, "C.UTF-8") == nullptr) GTEST_SKIP() << "no C.UTF-8 locale";
    ExpectConversions();
    setlocale(LC_CTYPE, "C");
}

TEST(CodePage, LoneSurrogateCannotBeConvertedAndSaysSo) {
    std::string out = StdoutOf([&] { EXPECT_EQ(Utf8ToCodePage("a\xED\xA0\x80"), nullptr); });
    EXPECT_EQ(out.rfind("Error converting unicode ", 0), 0u) << out;
}
