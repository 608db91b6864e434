// The binary element syntax: typed integers, each element kind, and input
// that ends early or lies about its counts.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

#include "support/element_helpers.h"

namespace {

using Bytes = std::vector<unsigned char>;

ElementPtr readBinary(const Bytes &bytes) {
    ReaderPtr reader(SEReaderFromBinary(bytes.data(), static_cast<int>(bytes.size())));
    return ElementPtr(SERead(reader.get()));
}

// A map holding every element kind and every integer encoding.
const Bytes kEverything = {
    5, 0, 8,                                   // map of 8 entries
    0, 1, 'a', 0, 200,                         // a = 200 (one byte)
    0, 1, 'b', 1, 0x34, 0x12,                  // b = 0x1234 (two bytes)
    0, 1, 'c', 2, 0xFE, 0xFF, 0xFF, 0xFF,      // c = -2 (four bytes)
    0, 1, 'd', 9, 1, 0, 0, 0, 0, 0, 0, 0x80,   // d = INT64_MIN + 1
    0, 1, 'e', 3, 0, 2, 'h', 'i',              // e = "hi"
    0, 1, 'f', 4, 0, 2, 0, 1, 5, 0, 0,         // f = (1, {})
    0, 0, 6, 1, 2, 0, 7, 9,                    // "" = bytes 7 9
    0, 1, 'g', 7, 0, 2, 0, 1, 2, 0xFF, 0xFF, 0xFF, 0xFF,  // g = int32 (1, -1)
};

}  // namespace

TEST(BinaryReader, ReadsEveryKindAndEncoding) {
    ElementPtr map = readBinary(kEverything);
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(writeText(map.get()), "{\"\"=(7,9);a=200;b=4660;c=-2;d=-9223372036854775807;e=hi;f=(1,{});g=(1,-1);}");
    // The kinds the text does not show.
    EXPECT_EQ(SEMapGet(map.get(), "d")->type, SE_INT64);
    EXPECT_EQ(SEMapGet(map.get(), "")->type, SE_BYTE_DATA);
    EXPECT_EQ(SEMapGet(map.get(), "g")->type, SE_INT32_DATA);
}

TEST(BinaryReader, EveryProperPrefixReadsAsNull) {
    for (size_t length = 0; length < kEverything.size(); length++) {
        Bytes prefix(kEverything.begin(), kEverything.begin() + static_cast<long>(length));
        EXPECT_EQ(readBinary(prefix), nullptr) << "prefix of " << length << " bytes";
    }
}

// Bad binary input: the reader's error text, what is written (to standard
// error; standard output stays the program's), and the element read: null,
// or for an invalid integer type its -1 in place of the value.
TEST(BinaryReader, BadInputTable) {
    auto nested = [](int levels) {
        Bytes bytes;
        for (int i = 0; i < levels; i++) bytes.insert(bytes.end(), {4, 0, 1});
        bytes.insert(bytes.end(), {0, 0});
        return bytes;
    };
    const std::string kCount = "Binary syntax error: a count or length of ";
    const std::tuple<Bytes, std::string, std::string, std::string> rows[] = {
        // input, error text, written, the element as text ("null" when none)
        {{10}, "Binary syntax error: unknown element type 10 after byte 1\n", "", "null"},
        {{3, 4, 'x'}, kCount + "-1 that the input cannot hold after byte 2\n", "readInt32FromBinaryWithType: Invalid type (4).",
         "null"},
        {{4, 2, 0xFF, 0xFF, 0xFF, 0xFF}, kCount + "-1 that the input cannot hold after byte 6\n", "", "null"},
        {{5, 2, 0xFF, 0xFF, 0xFF, 0x7F, 0, 0}, kCount + "2147483647 that the input cannot hold after byte 6\n", "", "null"},
        {{3, 2, 0xFF, 0xFF, 0xFF, 0x7F, 'a'}, kCount + "2147483647 that the input cannot hold after byte 6\n", "", "null"},
        {{8, 2, 0xFF, 0xFF, 0xFF, 0x7F}, kCount + "2147483647 that the input cannot hold after byte 6\n", "", "null"},
        {{3, 0, 5, 'a'}, kCount + "5 that the input cannot hold after byte 3\n", "", "null"},
        {nested(1001), "Binary syntax error: elements nested deeper than 1000 after byte 3001\n", "", "null"},
        {{9, 1, 2, 3}, "Binary syntax error: the input ends inside an element after byte 1\n", "", "null"},
        {{7, 0, 2, 6, 0, 3}, "", "readInt32FromBinaryWithType: Invalid type (6).", "(-1, 3)"},
        {{8, 0, 1, 7}, "", "readInt64FromBinaryWithType: Invalid type (7).", "(-1)"},
    };
    for (const auto &[bytes, error, written, element] : rows) {
        ReaderPtr reader(SEReaderFromBinary(bytes.data(), static_cast<int>(bytes.size())));
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        ElementPtr read(SERead(reader.get()));
        EXPECT_EQ(testing::internal::GetCapturedStderr(), written) << bytes.size();
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << bytes.size();
        EXPECT_EQ(SEReaderError(reader.get()) ? SEReaderError(reader.get()) : "", error) << bytes.size();
        std::string text = read == nullptr ? "null" : "(";
        for (int i = 0; read != nullptr && i < static_cast<int>(read->value); i++)
            text += (i ? ", " : "") + std::to_string(read->type == SE_INT32_DATA
                                                         ? reinterpret_cast<const int32_t *>(read->data)[i]
                                                         : reinterpret_cast<const int64_t *>(read->data)[i]);
        if (read != nullptr) text += ")";
        EXPECT_EQ(text, element) << bytes.size();
    }
    EXPECT_NE(readBinary(nested(1000)), nullptr);
}

TEST(BinaryReader, FileReadersInBinaryModeReadWholeValuesOnly) {
    std::string path = std::string(ZV_BINARY_DIR) + "/binary_reader_test.bin";
    FILE *out = std::fopen(path.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    const unsigned char bytes[] = {4, 0, 2, 3, 0, 1, 'z', 9, 1, 2, 3, 4, 5, 6, 7, 8,  // ("z", long)
                                   3, 1, 0xFF, 0xFF, 'a', 'b'};  // 65535 bytes promised, 2 present
    std::fwrite(bytes, 1, sizeof bytes, out);
    std::fclose(out);
    ReaderPtr reader(SEReaderFromFile(path.c_str()));
    SEReaderSetBinary(reader.get(), 1);
    ElementPtr list(SERead(reader.get()));
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(bytesOf(SEListGet(list.get(), 0)), "z");
    EXPECT_EQ(static_cast<uint32_t>(SEListGet(list.get(), 1)->data), 0x08070605u);
    EXPECT_EQ(SERead(reader.get()), nullptr);
    std::remove(path.c_str());
}
