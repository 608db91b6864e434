// The canonical text writer: order, quoting and every byte. (The fuzz target
// of the text parser checks that whatever it reads writes back to an equal tree.)
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "support/element_helpers.h"

namespace {

ElementPtr str(const std::string &bytes) {
    return ElementPtr(SENewString(bytes.data(), static_cast<int>(bytes.size())));
}

}  // namespace

TEST(Writer, WritesCanonicalText) {
    ElementPtr map(SENewMap(0, nullptr));
    SEMapPut(map.get(), "z", SENewInt32(-5));
    SEMapPut(map.get(), "a b", SENewStringFromC("x"));
    SEMapPut(map.get(), "l", SENewList(0));
    SEMapPut(map.get(), "m", SENewMap(0, nullptr));
    SEMapPut(map.get(), "big", SENewInt64(0, 0x80000000u));
    uint8_t bytes[] = {0, 255};
    SEMapPut(map.get(), "d", SENewData(SE_BYTE_DATA, bytes, 2, 1));
    EXPECT_EQ(writeText(map.get()),
              "{\"a b\"=\"x\\x00\";big=-9223372036854775808;d=(0,255);l=();m={};z=-5;}");
    EXPECT_EQ(writeText(nullptr), "null");
}

TEST(Writer, QuotesOnlyWhatNeedsIt) {
    EXPECT_EQ(writeText(str("c:\\temp").get()), "c:\\temp");
    EXPECT_EQ(writeText(str("").get()), "\"\"");
    for (const char *word : {"a/b", "a@b", "a=b", "(", "a;b", "a,b", "x\"y"})
        EXPECT_EQ(writeText(str(word).get())[0], '"') << word;
    EXPECT_EQ(writeText(str("q\"\\\n\r\t\x01\x7f").get()), "\"q\\\"\\\\\\n\\r\\t\\001\\177\"");
}

TEST(Writer, EveryByteRoundTrips) {
    std::string all;
    for (int c = 0; c < 256; c++) all.push_back(static_cast<char>(c));
    ElementPtr original = str(all);
    ElementPtr back = readText(writeText(original.get()));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(bytesOf(back.get()), all);
}

TEST(Writer, FileOutputReadsBack) {
    ElementPtr tree = readText("{k=(a,\"b c\",{n=1})}");
    FILE *file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(SEWriteFile(tree.get(), file), 0);
    std::rewind(file);
    std::string text(256, '\0');
    text.resize(std::fread(text.data(), 1, text.size(), file));
    std::fclose(file);
    EXPECT_EQ(text, writeText(tree.get()));
    EXPECT_EQ(SEWriteFile(nullptr, stdout), -1);
}
