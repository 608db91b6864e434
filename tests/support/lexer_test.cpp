// Tokens, comments, line counting and lexical errors of the text syntax.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "support/lexer.h"

namespace {

using Tokens = std::vector<std::pair<int, std::string>>;

Tokens tokensOf(SELexer &lexer) {
    Tokens tokens;
    while (int kind = lexer.peek()) {
        tokens.emplace_back(kind, lexer.text());
        lexer.take();
    }
    return tokens;
}

Tokens tokensOf(const std::string &text) {
    SELexer lexer(seStringSource(text.data(), text.size()));
    return tokensOf(lexer);
}

std::string errorOf(const std::string &text) {
    SELexer lexer(seStringSource(text.data(), text.size()));
    tokensOf(lexer);
    return lexer.error() != nullptr ? lexer.error() : "";
}

}  // namespace

TEST(Lexer, SplitsWordsQuotedStringsAndSingleCharacterTokens) {
    Tokens expected = {{6, "{"},       {1, "a"},  {7, "="}, {1, "b"}, {8, ";"}, {1, "c"},
                       {7, "="},       {4, "("},  {1, "1"}, {10, ","}, {1, "\"x \\\" y\""},
                       {5, ")"},       {9, "}"},  {11, "@"}, {1, "w"}, {1, "\"q\""}, {1, "v"}};
    EXPECT_EQ(tokensOf("{a=b;c=(1,\"x \\\" y\")} @w\"q\"v"), expected);
}

TEST(Lexer, ControlAndHighBytesSeparateWordsButStayInsideQuotes) {
    Tokens expected = {{1, "a"}, {1, "b"}, {1, "c"}, {1, "\"\x01\xff\n\""}};
    EXPECT_EQ(tokensOf("a\x7f" "b\xe9" "c \"\x01\xff\n\""), expected);
}

TEST(Lexer, SkipsCommentsAndCountsTheirLines) {
    std::string text = "// one\n/* two\nthree **/ a\n(";
    SELexer lexer(seStringSource(text.data(), text.size()));
    EXPECT_EQ(lexer.peek(), SE_TOKEN_WORD);
    EXPECT_EQ(lexer.text(), "a");
    EXPECT_EQ(lexer.line(), 3);
    lexer.take();
    EXPECT_EQ(lexer.peek(), SE_TOKEN_OPEN_LIST);
    EXPECT_EQ(lexer.line(), 4);
    lexer.take();
    EXPECT_EQ(lexer.peek(), SE_TOKEN_NONE);
    EXPECT_EQ(lexer.error(), nullptr);
}

TEST(Lexer, ReportsEachLexicalError) {
    EXPECT_EQ(errorOf("a/b"), "Syntax error at line 1");
    EXPECT_EQ(errorOf("\n\"abc"), "Lexical error: unterminated string at line 2");
    EXPECT_EQ(errorOf("a /"), "Lexical error: syntax error at line 1");
    EXPECT_EQ(errorOf("/* x\n\n"), "Lexical error: unterminated comment at line 3");
    EXPECT_EQ(errorOf("a // to the end"), "");
}

TEST(Lexer, TokensLongerThanTheBlockSurviveBufferRefills) {
    std::string word(10000, 'w');
    std::string quoted = "\"" + std::string(5000, 'q') + "\"";
    Tokens expected = {{1, word}, {1, quoted}};
    EXPECT_EQ(tokensOf(word + " " + quoted), expected);
}

TEST(Lexer, ReadsFromStreamsAndCallbacks) {
    FILE *file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    std::fputs("{ k = v }", file);
    std::rewind(file);
    SELexer fromFile(seFileSource(file));
    EXPECT_EQ(tokensOf(fromFile).size(), 5u);
    std::fclose(file);

    static const char *text = "(x,y)";
    static int position;
    position = 0;
    SELexer fromCallbacks(seCallbackSource([] { return static_cast<int>(text[position++]); },
                                           [] { return text[position] != '\0' ? 1 : 0; }));
    Tokens expected = {{4, "("}, {1, "x"}, {10, ","}, {1, "y"}, {5, ")"}};
    EXPECT_EQ(tokensOf(fromCallbacks), expected);
}
