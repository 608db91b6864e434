// The relaxed argument form: quoting of words, entry separators and refusals.
// (The output bound is checked by the normalizer's fuzz target on every run.)
#include <gtest/gtest.h>

#include <string>

#include "support/element_helpers.h"

namespace {

// The normalized text, or "<null>".
std::string normalize(const char *text) {
    TextPtr out(SENormalizeArguments(text));
    return out != nullptr ? out.get() : "<null>";
}

}  // namespace

TEST(Normalize, QuotesWordsAndEndsEntriesAndReadsBack) {
    EXPECT_EQ(normalize("port=1470"), "{\"port\"=\"1470\";}");
    EXPECT_EQ(normalize("port=1470,x=y;"), "{\"port\"=\"1470\";\"x\"=\"y\";}");
    EXPECT_EQ(normalize("{a=b}"), "{\"a\"=\"b\";}");
    EXPECT_EQ(normalize("a=(1,2),b={c=d}"), "{\"a\"=(\"1\",\"2\");\"b\"={\"c\"=\"d\";};}");
    EXPECT_EQ(normalize("p=\"x,y\""), "{\"p\"=\"x,y\";}");
    EXPECT_EQ(normalize("path=/tmp/a b"), "{\"path\"=\"/tmp/a b\";}");
    ElementPtr result = readText(normalize("port=1470,opts=(x,\"y z\"),dir=c:\\\\temp"));
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(writeText(result.get()), "{dir=c:\\temp;opts=(x,\"y z\");port=1470;}");
}

// Empty input is an empty map; malformed or unbalanced text is refused; a list
// at the top level normalizes but does not read.
TEST(Normalize, EmptyMalformedAndTopLevelLists) {
    for (const char *empty : {"", "{}"}) EXPECT_EQ(normalize(empty), "{}");
    EXPECT_EQ(normalize(nullptr), "{}");
    EXPECT_NE(readText(normalize("")), nullptr);
    for (const char *text : {"a=b)", "a=b=c", "a,b", "a=b}", "{a=b", "a=(b", "a=\"b", "{a=b}}"})
        EXPECT_EQ(normalize(text), "<null>") << text;
    std::string list = normalize("(a,b)");
    EXPECT_EQ(list, "{(\"a\",\"b\");}");
    EXPECT_EQ(readText(list), nullptr);
}
