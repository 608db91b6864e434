// The text syntax parser: escapes, long tokens, callbacks and error texts.
#include <gtest/gtest.h>

#include <string>

#include "support/element_helpers.h"

TEST(Reader, AppliesEscapesInQuotedStrings) {
    EXPECT_EQ(bytesOf(readText(R"("a\u0041\101")").get()), "aAA");
    EXPECT_EQ(bytesOf(readText(R"("\u00e9\u00E9")").get()), "\xC3\xA9\xC3\xA9");
    EXPECT_EQ(bytesOf(readText(R"("\u0000\000")").get()), "\xC0\x80\xC0\x80");
    EXPECT_EQ(bytesOf(readText(R"("\377\u20ac")").get()), "\xC3\xBF\xE2\x82\xAC");
    EXPECT_EQ(bytesOf(readText(R"("q\"\\\n\r\t")").get()), "q\"\\\n\r\t");
    EXPECT_EQ(bytesOf(readText(R"("\x00\xfF")").get()), std::string("\0\xff", 2));
    EXPECT_EQ(bytesOf(readText("\"raw \xe9\x01\"").get()), "raw \xe9\x01");
    EXPECT_EQ(bytesOf(readText(R"("")").get()), "");
    // Unquoted words are taken as they are, backslashes included.
    EXPECT_EQ(bytesOf(readText(R"(c:\temp)").get()), "c:\\temp");
    // Words and strings longer than the lexer's block survive its refills.
    const std::string word(10000, 'w'), quoted(5000, 'q');
    EXPECT_EQ(bytesOf(readText(word).get()), word);
    EXPECT_EQ(bytesOf(readText("// x\n\"" + quoted + "\"").get()), quoted);
}

// Bad text: the reader's error text, the lexer's, what the parser itself
// writes (to standard error; standard output stays the program's), and how
// many elements were read before the reader stopped.
TEST(Reader, BadInputTable) {
    const std::string kSyntax = "Syntax error: syntax error at line ", kOpen = "Syntaxic error: unterminated expression at line ";
    const std::string kString = "Syntaxic error: malformed string at line 1:\n";
    std::string hostile;
    for (int i = 0; i < 200000; i++) hostile += "{a=";
    const struct {
        std::string text, error, lexerError, err;
        int read;
    } rows[] = {
        {R"("\q")", kString, "", "", 0}, {R"("\u12")", kString, "", "", 0}, {R"("\u12g4")", kString, "", "", 0},
        {R"("\18")", kString, "", "", 0}, {R"("\x1")", kString, "", "", 0},
        {"{a=b", kOpen + "1\n", "", "", 0}, {"(a,\n", kOpen + "2\n", "", "", 0}, {"{a=", kOpen + "1\n", "", "", 0},
        {"(a b)", kSyntax + "1\n", "", "", 0}, {"(,a)", kSyntax + "1\n", "", "", 0},
        {"(a,,b)", kSyntax + "1\n", "", "", 0}, {"{a b}", kSyntax + "1\n", "", "", 0},
        {"{(a)=b}", kSyntax + "1\n", "", "", 0}, {"{a=b;;}", kSyntax + "1\n", "", "", 0},
        {"{=a}", kSyntax + "1\n", "", "", 0}, {"\n\n{a=b c}", kSyntax + "3\n", "", "", 0},
        {"{a=)}", kSyntax + "1\n", "", "Syntax error\n", 0},
        {"x a/b", "", "Syntax error at line 1", "", 2},
        {"(a, /* open", "", "Lexical error: unterminated comment at line 1", "", 0},
        {std::string(1001, '(') + std::string(1001, ')'), kSyntax + "1\n", "", "", 0},
        {hostile, kSyntax + "1\n", "", "", 0},
    };
    for (const auto &row : rows) {
        ReaderPtr reader(SEReaderFromString(row.text.data(), static_cast<int>(row.text.size())));
        int read = 0;
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        while (ElementPtr(SERead(reader.get()))) read++;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), row.err) << row.text.substr(0, 40);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << row.text.substr(0, 40);
        const char *error = SEReaderError(reader.get()), *lexerError = SEReaderLexerError(reader.get());
        EXPECT_EQ(error ? error : "", row.error) << row.text.substr(0, 40);
        EXPECT_EQ(lexerError ? lexerError : "", row.lexerError) << row.text.substr(0, 40);
        EXPECT_EQ(read, row.read) << row.text.substr(0, 40);
    }
    // A thousand levels are still read.
    EXPECT_NE(readText(std::string(1000, '(') + std::string(1000, ')')), nullptr);
}

// (Files are read by the filter, table and audit-file tests.)
TEST(Reader, ReadsFromCallbacks) {
    static const char *text = "(x)";
    static int position;
    position = 0;
    ReaderPtr fromCallbacks(SEReaderFromCallbacks([] { return static_cast<int>(text[position++]); },
                                                  [] { return text[position] != '\0' ? 1 : 0; }));
    ElementPtr list(SERead(fromCallbacks.get()));
    EXPECT_EQ(SEListSize(list.get()), 1);
}
