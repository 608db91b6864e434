// The text syntax parser: structures, escapes, separators and error texts.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "support/element_helpers.h"

TEST(Reader, ReadsEmptyAndSimpleStructures) {
    ReadResult emptyMap = readText("{}");
    ASSERT_NE(emptyMap.element, nullptr);
    EXPECT_EQ(emptyMap.element->type, SE_MAP);
    ReadResult emptyList = readText("()");
    EXPECT_EQ(SEListSize(emptyList.element.get()), 0);

    ReadResult map = readText("{a=b,c=(1,2);}");
    ASSERT_NE(map.element, nullptr);
    EXPECT_STREQ(SEGetString(SEMapGet(map.element.get(), "a")), "b");
    SEElement *c = SEMapGet(map.element.get(), "c");
    EXPECT_EQ(SEListSize(c), 2);
    EXPECT_STREQ(SEGetString(SEListGet(c, 1)), "2");
    // Separators are optional and may trail.
    ReadResult entries = readText("{a=1 b=2; c=3, d=(x,)}");
    ASSERT_NE(entries.element, nullptr) << entries.error;
    EXPECT_STREQ(SEGetString(SEMapGet(entries.element.get(), "b")), "2");
    EXPECT_EQ(SEListSize(SEMapGet(entries.element.get(), "d")), 1);
}

TEST(Reader, AppliesEscapesInQuotedStrings) {
    EXPECT_EQ(bytesOf(readText(R"("a\u0041\101")").element.get()), "aAA");
    EXPECT_EQ(bytesOf(readText(R"("\u00e9\u00E9")").element.get()), "\xC3\xA9\xC3\xA9");
    EXPECT_EQ(bytesOf(readText(R"("\u0000\000")").element.get()), "\xC0\x80\xC0\x80");
    EXPECT_EQ(bytesOf(readText(R"("\377\u20ac")").element.get()), "\xC3\xBF\xE2\x82\xAC");
    EXPECT_EQ(bytesOf(readText(R"("q\"\\\n\r\t")").element.get()), "q\"\\\n\r\t");
    EXPECT_EQ(bytesOf(readText(R"("\x00\xfF")").element.get()), std::string("\0\xff", 2));
    EXPECT_EQ(bytesOf(readText("\"raw \xe9\x01\"").element.get()), "raw \xe9\x01");
    EXPECT_EQ(bytesOf(readText(R"("")").element.get()), "");
    // Unquoted words are taken as they are, backslashes included.
    EXPECT_EQ(bytesOf(readText(R"(c:\temp)").element.get()), "c:\\temp");
}

TEST(Reader, RejectsMalformedEscapes) {
    for (const char *text : {R"("\q")", R"("\u12")", R"("\u12g4")", R"("\18")", R"("\x1")"}) {
        ReadResult result = readText(text);
        EXPECT_EQ(result.element, nullptr) << text;
        EXPECT_EQ(result.error, "Syntaxic error: malformed string at line 1:\n") << text;
    }
}

TEST(Reader, ReportsSyntaxErrorsWithLineNumbers) {
    EXPECT_EQ(readText("{a=b").error, "Syntaxic error: unterminated expression at line 1\n");
    EXPECT_EQ(readText("(a,\n").error, "Syntaxic error: unterminated expression at line 2\n");
    EXPECT_EQ(readText("{a=").error, "Syntaxic error: unterminated expression at line 1\n");
    for (const char *text : {"(a b)", "(,a)", "(a,,b)", "{a b}", "{(a)=b}", "{a=b;;}", "{=a}", "\n\n{a=b c}"}) {
        ReadResult result = readText(text);
        EXPECT_EQ(result.element, nullptr) << text;
        EXPECT_EQ(result.error.substr(0, 34), "Syntax error: syntax error at line") << text;
    }
    EXPECT_EQ(readText("\n\n{a=b c}").error, "Syntax error: syntax error at line 3\n");
    // An unexpected token also prints "Syntax error".
    testing::internal::CaptureStdout();
    ReadResult unexpected = readText("{a=)}");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Syntax error\n");
    EXPECT_EQ(unexpected.error, "Syntax error: syntax error at line 1\n");
}

TEST(Reader, LexicalErrorsStayInTheLexer) {
    ReaderPtr reader(SEReaderFromString("a/b", 3));
    ElementPtr first(SERead(reader.get()));
    EXPECT_STREQ(SEGetString(first.get()), "a");
    EXPECT_EQ(SERead(reader.get()), nullptr);
    EXPECT_EQ(SEReaderError(reader.get()), nullptr);
    EXPECT_STREQ(SEReaderLexerError(reader.get()), "Syntax error at line 1");

    ReadResult comment = readText("(a, /* open");
    EXPECT_EQ(comment.element, nullptr);
    EXPECT_EQ(comment.error, "");
    EXPECT_EQ(comment.lexerError, "Lexical error: unterminated comment at line 1");
}

TEST(Reader, ReadsSuccessiveElementsUntilTheEnd) {
    ReaderPtr reader(SEReaderFromString("a {b=c} // done\n(d)", -1));
    int count = 0;
    while (ElementPtr(SERead(reader.get()))) count++;
    EXPECT_EQ(count, 3);
    EXPECT_EQ(SEReaderError(reader.get()), nullptr);
}

TEST(Reader, CapsNestingDepth) {
    std::string ok = std::string(1000, '(') + std::string(1000, ')');
    EXPECT_NE(readText(ok).element, nullptr);
    std::string deep = std::string(1001, '(') + std::string(1001, ')');
    EXPECT_EQ(readText(deep).error, "Syntax error: syntax error at line 1\n");
    std::string hostile;
    for (int i = 0; i < 200000; i++) hostile += "{a=";
    EXPECT_EQ(readText(hostile).error, "Syntax error: syntax error at line 1\n");
}

TEST(Reader, ReadsFilesAndCallbacks) {
    std::string path = std::string(ZV_BINARY_DIR) + "/reader_test_input.txt";
    FILE *file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fputs("{path=\"c:\\\\temp\"}\n", file);
    std::fclose(file);
    ReaderPtr reader(SEReaderFromFile(path.c_str()));
    ASSERT_NE(reader, nullptr);
    ElementPtr map(SERead(reader.get()));
    EXPECT_STREQ(SEGetString(SEMapGet(map.get(), "path")), "c:\\temp");
    std::remove(path.c_str());
    EXPECT_EQ(SEReaderFromFile(path.c_str()), nullptr);

    static const char *text = "(x)";
    static int position;
    position = 0;
    ReaderPtr fromCallbacks(SEReaderFromCallbacks([] { return static_cast<int>(text[position++]); },
                                                  [] { return text[position] != '\0' ? 1 : 0; }));
    ElementPtr list(SERead(fromCallbacks.get()));
    EXPECT_EQ(SEListSize(list.get()), 1);
}
