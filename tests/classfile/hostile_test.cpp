// Corrupt and truncated class files: refused with the parser's messages,
// never read outside the input (run under ASan to see the second half).
#include "capture.h"
#include "class_files.h"
#include "classfile/bytecode.h"
#include "classfile/stackmap.h"

namespace {

struct ParseResult {
    ClassPtr jclass;
    std::string messages;
};

ParseResult ParseQuietly(const Bytes &bytes) {
    ParseResult result;
    // A copy of exactly the input's size, so ASan notices any read past it.
    auto *copy = static_cast<uint8_t *>(sMalloc(static_cast<int>(bytes.size())));
    if (!bytes.empty()) std::memcpy(copy, bytes.data(), bytes.size());
    result.messages = StderrOf([&] { result.jclass.reset(JCRParseClass(copy, static_cast<int>(bytes.size()))); });
    sFree(copy);
    return result;
}

}  // namespace

TEST(HostileClass, EveryTruncationOfARealClassIsRefused) {
    // Two sample classes and a Java 17 one.
    for (const Bytes &original : {SampleClass("zvtest/Flow"), SampleClass("zvtest/Constants"),
                                  ReadBytes(std::string(ZV_MODERN_CLASSES) + "/Lambdas.class")}) {
        for (size_t length = 0; length < original.size(); length++) {
            Bytes cut(original.begin(), original.begin() + static_cast<long>(length));
            ParseResult r = ParseQuietly(cut);
            EXPECT_EQ(r.jclass, nullptr) << original.size() << " bytes cut at " << length;
        }
    }
}

// Bad magic; a text running past the end, a pool cut off between entries, a
// long in the last slot (its second half outside the pool), counts larger
// than the input, an attribute length past the end, and a class ending after
// its methods (refused silently); constant tags never defined, and tags older
// class files cannot hold yet (the class's major version one below the first
// that allows them).
TEST(HostileClass, BadInputTable) {
    const std::string kPool = "ZV encountered Corrupt class, skipping constantPoolItem\n"
                              "ZV encountered corrupt class, skipping constant-pool parse\n";
    const std::string kAttribute = "ZV encountered corrupt class, skipping attribute_info.\n"
                                   "ZV encountered corrupt class, skipping attribute parse\n";
    ClassBytes utf8, cut, lastLong, longAttribute;
    utf8.u32(0xCAFEBABE).u16(0).u16(52).u16(3).u8(JCR_CONSTANT_Utf8).u16(100).u8('x');
    cut.u32(0xCAFEBABE).u16(0).u16(52).u16(3).utf8("A");
    lastLong.u32(0xCAFEBABE).u16(0).u16(52).u16(2).u8(JCR_CONSTANT_Long).u32(0).u32(1);
    lastLong.u16(0).u16(0).u16(0).u16(0).u16(0).u16(0).u16(0);
    longAttribute.bytes = MinimalClass("Top", false);
    longAttribute.u16(1).u16(1).u32(0xFFFFFFFF).u8(0);
    const Bytes minimal = MinimalClass("Top");
    const size_t fieldsCountAt = minimal.size() - 6;
    auto patched = [&](size_t at, uint8_t high, uint8_t low) {
        Bytes bytes = minimal;
        bytes[at] = high;
        bytes[at + 1] = low;
        return bytes;
    };
    std::vector<std::pair<Bytes, std::string>> cases = {
        {{0xCA, 0xFE, 0xBA, 0xBF, 0, 0}, "Bad Java Class magic number 0xcafebabf\n"},
        {{0xCA, 0xFE, 0xBA}, "Bad Java Class magic number 0x0\n"},
        {utf8.bytes, kPool},
        {cut.bytes, kPool},
        {lastLong.bytes, kPool},
        {patched(8, 0xFF, 0xFF), "Unknown Constant pool type 0\nZV encountered corrupt class, skipping constant-pool parse\n"},
        {patched(fieldsCountAt, 0xFF, 0xFF),
         "ZV encountered corrupt class, skipping field.\nZV encountered corrupt class, skipping field parse\n"},
        {patched(fieldsCountAt + 2, 0, 1),
         "ZV encountered corrupt class, skipping field.\nZV encountered corrupt class, skipping method parse\n"},
        {patched(fieldsCountAt + 4, 0, 2), kAttribute},
        {longAttribute.bytes, kAttribute},
        {MinimalClass("Top", false), ""},
    };
    for (const auto &[tag, version] : {std::pair{0, 52}, {2, 52}, {13, 52}, {14, 61}, {15, 50}, {16, 50}, {17, 54},
                                       {18, 49}, {19, 52}, {20, 52}, {21, 61}, {255, 52}}) {
        ClassBytes b;
        b.u32(0xCAFEBABE).u16(0).u16(version).u16(3).utf8("A").u8(tag).u16(1).u16(1);
        cases.emplace_back(b.bytes, "Unknown Constant pool type " + std::to_string(tag) +
                                        "\nZV encountered corrupt class, skipping constant-pool parse\n");
    }
    for (size_t i = 0; i < cases.size(); i++) {
        ParseResult r = ParseQuietly(cases[i].first);
        EXPECT_EQ(r.jclass, nullptr) << "case " << i;
        EXPECT_EQ(r.messages, cases[i].second) << "case " << i;
    }
    EXPECT_EQ(StderrOf([] { EXPECT_EQ(JCRParseClass(nullptr, 0), nullptr); }), "Bad Java Class magic number 0x0\n");
}

// this_class, super_class, interfaces and member names all point outside
// the pool or at entries of the wrong kind. (These bytes are a seed of the
// class-file fuzz target, which on every build writes, decodes, sizes, dumps
// and edits them, and flips bytes of real classes.)
TEST(HostileClass, BadIndexesParseAndLookupsFindNothing) {
    ClassBytes b;
    b.u32(0xCAFEBABE).u16(0).u16(52).u16(5);
    b.utf8("Code").u8(JCR_CONSTANT_Class).u16(4000).u8(JCR_CONSTANT_String).u16(3).u8(JCR_CONSTANT_Methodref).u16(1).u16(2);
    b.u16(0x21).u16(900).u16(2).u16(1).u16(77);
    b.u16(1).u16(0).u16(3).u16(4).u16(0);                   // field with bad name/descriptor
    b.u16(1).u16(0).u16(9).u16(1).u16(1).u16(1).u32(0);     // method with an empty Code attribute
    b.u16(0);
    ParseResult r = ParseQuietly(b.bytes);
    ASSERT_NE(r.jclass, nullptr) << r.messages;
    EXPECT_EQ(JCRClassName(r.jclass.get()), nullptr);
    EXPECT_FALSE(JCRClassNameIs(r.jclass.get(), ""));
    EXPECT_EQ(JCRFindClassRef(r.jclass.get(), "x"), -1);
}

// Stack maps that chop locals the frame lacks, name unknown types or frame
// kinds, or stop short are refused, never read or sized past what they hold.
TEST(HostileClass, MalformedStackMapsAreRefused) {
    const std::vector<std::vector<uint8_t>> tables = {
        {0, 1, 250, 0, 0},           // chop one local of none
        {0, 1, 248, 0, 0},           // chop three
        {0, 1, 64, 9},               // stack item of an unknown type
        {0, 1, 200},                 // a reserved frame kind
        {0, 2, 0},                   // one frame of two
        {0, 1, 255, 0, 0, 255, 255}, // a full frame claiming 65535 locals
        {0, 0, 7},                   // bytes left over
    };
    JCRFrame initial;
    for (const auto &bytes : tables) {
        std::vector<uint8_t> storage(sizeof(JCRAttribute) + bytes.size());
        auto *attribute = reinterpret_cast<JCRAttribute *>(storage.data());
        attribute->length = static_cast<uint32_t>(bytes.size());
        std::memcpy(attribute->info, bytes.data(), bytes.size());
        std::vector<JCRFrame> frames;
        EXPECT_EQ(StderrOf([&] { EXPECT_FALSE(JCRDecodeStackMap(attribute, initial, &frames)) << int(bytes[2]); }),
                  "ZV encountered a malformed StackMapTable\n");
    }
}
