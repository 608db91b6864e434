// Code and LineNumberTable attributes at their edges: corrupt and short
// attributes, invokedynamic. (Every
// method of real classes writes back byte for byte in real_classes_test.cpp.)
#include "class_files.h"

TEST(CodeAttribute, CorruptCodeAttributesAreRefused) {
    JCRClass none{};
    const Bytes cases[] = {
        {0, 1, 0, 1, 0, 0, 0, 9, 0xb1},                    // code_length past the end
        {0, 1, 0, 1, 0, 0, 0, 1, 0xb1, 0, 5, 0, 0},        // exception table past the end
        {0, 1, 0, 1, 0, 0, 0, 1, 0xb1, 0, 0, 0, 1, 0, 9, 0, 0, 0, 8},  // nested attribute past the end
        {0, 1, 0, 1, 0, 0, 0, 1, 0xb1, 0, 0},                  // attributes count missing
        {},
    };
    for (const Bytes &info : cases) {
        JCRAttribute *attribute = MakeAttribute(3, info);
        JCRCode *code = nullptr;
        std::string messages = StderrOf([&] { code = JCRParseCode(&none, attribute); });
        EXPECT_EQ(code, nullptr);
        EXPECT_THAT(messages, testing::EndsWith("ZV Encountered corrupt class, skipping code\n"));
        sFree(attribute);
    }
}

TEST(CodeAttribute, ShortLineTableReadsMissingPairsAsZero) {
    JCRClass none{};
    JCRAttribute *attribute = MakeAttribute(4, {0, 2, 0, 3, 0, 7});
    LineTablePtr table(JCRParseLineTable(&none, attribute));
    sFree(attribute);
    ASSERT_NE(table, nullptr);
    ASSERT_EQ(table->count, 2);
    EXPECT_EQ(table->length, 6);
    const JCRLineEntry *e = table->entries;
    EXPECT_EQ(std::vector<int>({e[0].start_pc, e[0].line_number, e[1].start_pc, e[1].line_number}),
              std::vector<int>({3, 7, 0, 0}));
}

TEST(CodeAttribute, LineTablesAreStoredOverAnAttributeOnlyWhenItHoldsThem) {
    JCRClass none{};
    JCRAttribute *attribute = MakeAttribute(4, {0, 2, 0, 3, 0, 7, 0, 9, 0, 8, 1});  // a byte too many
    LineTablePtr table(JCRParseLineTable(&none, attribute));
    table->entries[1].start_pc = 0x1234;
    JCRAttribute *written = JCRWriteLineTable(&none, table.get());
    ASSERT_TRUE(JCRStoreLineTable(table.get(), attribute));
    EXPECT_EQ(Bytes(attribute->info, attribute->info + attribute->length),
              Bytes(written->info, written->info + written->length));
    JCRAttribute *tooShort = MakeAttribute(4, {0, 2, 0, 3, 0, 7});
    EXPECT_FALSE(JCRStoreLineTable(table.get(), tooShort));
    EXPECT_EQ(tooShort->length, 6u);
    EXPECT_EQ(tooShort->info[3], 3);
    for (JCRAttribute *a : {attribute, written, tooShort}) sFree(a);
}

// Code of a lone return with one attribute; one more takes the slot its
// block keeps for it, then the heap.
TEST(CodeAttribute, AddedAttributesAreWrittenAfterTheParsedOnes) {
    JCRClass none{};
    JCRAttribute *attribute = MakeAttribute(3, {0, 1, 0, 1, 0, 0, 0, 1, 0xb1, 0, 0, 0, 1, 0, 4, 0, 0, 0, 1, 9});
    CodePtr code(JCRParseCode(&none, attribute));
    sFree(attribute);
    ASSERT_NE(code, nullptr);
    ASSERT_TRUE(JCRAddCodeAttribute(code.get(), MakeAttribute(5, {7})));
    auto *slots = reinterpret_cast<uint8_t *>(code->attributes);
    EXPECT_TRUE(slots >= code->arena.base && slots < code->arena.base + code->arena.size);
    for (int i = 0; i < 40; i++) ASSERT_TRUE(JCRAddCodeAttribute(code.get(), MakeAttribute(6, {})));
    std::unique_ptr<JCRAttribute, decltype(&sFree)> written(JCRWriteCode(&none, code.get()), sFree);
    Bytes expected = {0, 1, 0, 1, 0, 0, 0, 1, 0xb1, 0, 0, 0, 42, 0, 4, 0, 0, 0, 1, 9, 0, 5, 0, 0, 0, 1, 7};
    for (int i = 0; i < 40; i++) expected.insert(expected.end(), {0, 6, 0, 0, 0, 0});
    EXPECT_EQ(Bytes(written->info, written->info + written->length), expected);
}

// A static method "f" (I)D whose code calls an invokedynamic site of the same
// descriptor: iconst_0, invokedynamic #5 0 0, dup2, pop2, dreturn.
Bytes DynamicCallClass(int majorVersion) {
    ClassBytes c;
    c.u32(0xCAFEBABE).u16(0).u16(majorVersion).u16(10);
    c.utf8("Code").utf8("f").utf8("(I)D");
    c.u8(JCR_CONSTANT_NameAndType).u16(2).u16(3).u8(JCR_CONSTANT_InvokeDynamic).u16(0).u16(4);
    c.utf8("T").u8(JCR_CONSTANT_Class).u16(6).utf8("java/lang/Object").u8(JCR_CONSTANT_Class).u16(8);
    c.u16(0x21).u16(7).u16(9).u16(0).u16(0);
    const Bytes code = {JCR_OP_ICONST_M1 + 1, JCR_OP_INVOKEDYNAMIC, 0, 5, 0, 0, 92, 88, 175};
    c.u16(1).u16(JCR_ACC_STATIC).u16(2).u16(3).u16(1);
    c.u16(1).u32(static_cast<uint32_t>(12 + code.size())).u16(4).u16(1).u32(static_cast<uint32_t>(code.size()));
    c.bytes.insert(c.bytes.end(), code.begin(), code.end());
    c.u16(0).u16(0).u16(0);
    return c.bytes;
}

TEST(CodeAttribute, InvokedynamicFromVersion51On) {
    std::string messages = StderrOf([] { EXPECT_EQ(Parse(DynamicCallClass(49)), nullptr); });
    EXPECT_EQ(messages, "Unknown Constant pool type 18\nZV encountered corrupt class, skipping constant-pool parse\n");

    Bytes bytes = DynamicCallClass(52);
    ClassPtr jclass = Parse(bytes);
    ASSERT_NE(jclass, nullptr);
    EXPECT_EQ(Write(jclass.get()), bytes);
    JCRClass *c = jclass.get();
    CodePtr code(JCRParseCode(c, JCRFindMemberAttribute(c, JCRFindStaticMethod(c, "f", "(I)D"), "Code")));
    ASSERT_NE(code, nullptr);
    // The same code bytes in a class of each version: older classes keep the
    // unused one-byte row for 186.
    for (int version : {50, 51, 52}) {
        code->major_version = static_cast<uint16_t>(version);
        JCRInsnList *list = JCRDecodeCode(code.get());
        ASSERT_NE(list, nullptr);
        jclass->major_version = static_cast<uint16_t>(version);
        std::string dump = StdoutOf([&] { JCRDumpCode(jclass.get(), list, nullptr); });
        if (version == 50) {
            EXPECT_EQ(list->count, 9);
            EXPECT_THAT(dump, testing::HasSubstr("xxxunusedxxx"));
        } else {
            ASSERT_EQ(list->count, 5);
            EXPECT_EQ(list->insns[1].operand_length, 4u);
            EXPECT_EQ(JCRComputeMaxStack(jclass.get(), code.get(), list), 4);  // the site pops 1, pushes 2
            EXPECT_THAT(dump, testing::HasSubstr("invokedynamic\tf.(I)D bootstrap 0\n"));
        }
        JCRFreeInsnList(list);
    }
}
