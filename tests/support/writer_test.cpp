// The canonical text writer and structural equality, including a property
// test over random trees.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

#include "support/element_helpers.h"
#include "support/element_maps.h"

namespace {

std::string write(const SEElement *element) {
    TextPtr text(SEWrite(element));
    return text != nullptr ? text.get() : "<null>";
}

ElementPtr str(const std::string &bytes) {
    return ElementPtr(SENewString(bytes.data(), static_cast<int>(bytes.size())));
}

// What a tree looks like after a trip through text: every number a decimal
// SE_STRING, numeric arrays lists of them, maps reduced to the entries that
// lookups find, null items empty strings.
SEElement *textForm(const SEElement *element) {
    if (element == nullptr) return SENewString("", 0);
    switch (element->type) {
    case SE_INT32:
    case SE_INT64:
    case SE_BYTE_DATA:
    case SE_INT32_DATA:
    case SE_INT64_DATA: {
        ReadResult result = readText(write(element));
        return result.element.release();
    }
    case SE_LIST: {
        SEElement *list = SENewList(0);
        for (int i = 0; i < SEListSize(element); i++) SEListAdd(list, textForm(SEListGet(element, i)));
        return list;
    }
    case SE_MAP: {
        SEElement *map = SENewMap(0, nullptr);
        for (const auto &[key, value] : seMapVisibleEntries(element))
            SEMapPut(map, std::string(key).c_str(), textForm(value));
        return map;
    }
    default: return SECopy(element);
    }
}

class TreeGenerator {
public:
    explicit TreeGenerator(unsigned seed) : random_(seed) {}

    SEElement *tree(int depth) {
        int kind = static_cast<int>(random_() % (depth < 4 ? 9 : 6));
        switch (kind) {
        case 0: return SENewInt32(static_cast<int32_t>(random_()));
        case 1: return SENewInt64(static_cast<uint32_t>(random_()), static_cast<uint32_t>(random_()));
        case 2: {
            int32_t items[4] = {static_cast<int32_t>(random_()), -1, 0, INT32_MIN};
            return SENewData(SE_INT32_DATA, items, static_cast<int>(random_() % 5), 1);
        }
        case 3: {
            std::string bytes = text();
            return SENewData(SE_BYTE_DATA, bytes.data(), static_cast<int>(bytes.size()), 1);
        }
        case 6: {
            SEElement *list = SENewList(0);
            for (int n = static_cast<int>(random_() % 5); n > 0; n--) SEListAdd(list, tree(depth + 1));
            return list;
        }
        case 7:
        case 8: {
            SEElement *map = SENewMap(0, nullptr);
            for (int n = static_cast<int>(random_() % 5); n > 0; n--) {
                std::string key = text();
                SEMapPut(map, key.c_str(), tree(depth + 1));  // NUL bytes cut keys short
            }
            return map;
        }
        default: {
            std::string bytes = text();
            return SENewString(bytes.data(), static_cast<int>(bytes.size()));
        }
        }
    }

private:
    // Mostly plain words, sometimes any byte at all.
    std::string text() {
        static const char plain[] = "abcXYZ019_-.:*\\";
        std::string bytes(random_() % 8, 'a');
        bool anyByte = random_() % 3 == 0;
        for (char &c : bytes)
            c = anyByte ? static_cast<char>(random_() % 256) : plain[random_() % (sizeof plain - 1)];
        return bytes;
    }

    std::mt19937 random_;
};

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

TEST(Equals, ComparesMapsByVisibleEntriesWhateverTheirOrder) {
    ReadResult a = readText("{x=1;y=(2,3);}");
    ReadResult b = readText("{y=(2,3) x=1}");
    ReadResult c = readText("{x=1;y=(2,4);}");
    ReadResult shadowed = readText("{x=0;x=1;y=(2,3);}");
    EXPECT_TRUE(SEEquals(a.element.get(), b.element.get()));
    EXPECT_FALSE(SEEquals(a.element.get(), c.element.get()));
    EXPECT_TRUE(SEEquals(a.element.get(), shadowed.element.get()));
    ElementPtr int32(SENewInt32(1));
    EXPECT_FALSE(SEEquals(int32.get(), str("1").get()));
    EXPECT_TRUE(SEEquals(nullptr, nullptr));
    EXPECT_FALSE(SEEquals(int32.get(), nullptr));
}

// For random trees T: SERead(SEWrite(T)) equals textForm(T) (SEEquals), and
// writing the tree read back gives the same text again.
TEST(Writer, RandomTreesReadBackEqualToTheirTextForm) {
    for (unsigned seed = 1; seed <= 500; seed++) {
        TreeGenerator generator(seed);
        ElementPtr tree(generator.tree(0));
        std::string text = write(tree.get());
        ReadResult back = readText(text);
        ASSERT_NE(back.element, nullptr) << "seed " << seed << ": " << back.error << back.lexerError << text;
        ElementPtr expected(textForm(tree.get()));
        EXPECT_TRUE(SEEquals(back.element.get(), expected.get())) << "seed " << seed << ": " << text;
        EXPECT_EQ(write(back.element.get()), text) << "seed " << seed;
    }
}
