// The canonical text writer: order, quoting and every byte. (The fuzz target
// of the text parser checks that whatever it reads writes back to an equal tree.)
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "support/element_helpers.h"

namespace {

std::string write(const SEElement *element) {
    TextPtr text(SEWrite(element));
    return text != nullptr ? text.get() : "<null>";
}

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
    EXPECT_EQ(write(map.get()),
              "{\"a b\"=\"x\\x00\";big=-9223372036854775808;d=(0,255);l=();m={};z=-5;}");
    EXPECT_EQ(write(nullptr), "<null>");
}

TEST(Writer, QuotesOnlyWhatNeedsIt) {
    EXPECT_EQ(write(str("c:\\temp").get()), "c:\\temp");
    EXPECT_EQ(write(str("").get()), "\"\"");
    for (const char *word : {"a/b", "a@b", "a=b", "(", "a;b", "a,b", "x\"y"})
        EXPECT_EQ(write(str(word).get())[0], '"') << word;
    EXPECT_EQ(write(str("q\"\\\n\r\t\x01\x7f").get()), "\"q\\\"\\\\\\n\\r\\t\\001\\177\"");
}

TEST(Writer, EveryByteRoundTrips) {
    std::string all;
    for (int c = 0; c < 256; c++) all.push_back(static_cast<char>(c));
    ElementPtr original = str(all);
    ReadResult back = readText(write(original.get()));
    ASSERT_NE(back.element, nullptr) << back.error;
    EXPECT_EQ(bytesOf(back.element.get()), all);
}

TEST(Writer, FileOutputReadsBack) {
    ElementPtr tree = readText("{k=(a,\"b c\",{n=1})}").element;
    FILE *file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(SEWriteFile(tree.get(), file), 0);
    std::rewind(file);
    std::string text(256, '\0');
    text.resize(std::fread(text.data(), 1, text.size(), file));
    std::fclose(file);
    EXPECT_EQ(text, write(tree.get()));
    EXPECT_EQ(SEWriteFile(nullptr, stdout), -1);
}
