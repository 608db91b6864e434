// Opcode table, decoding and encoding of code bytes, and hostile code that
// must be refused without reading past the end.
#include <gtest/gtest.h>

#include "editor_test_support.h"

using namespace editor_test;

TEST(OpcodeTable, KeepsTheOddRowsAndTheQuickForms) {
    EXPECT_STREQ(JCROpcodes[186].name, "xxxunusedxxx");
    EXPECT_EQ(JCROpcodes[186].operand_length, 0);
    EXPECT_EQ(JCROpcodes[201].pushed, 1);  // jsr_w, unlike jsr
    EXPECT_EQ(JCROpcodes[168].pushed, 0);
    EXPECT_EQ(JCROpcodes[121].popped, 3);  // lshl: a long and an int shift
    EXPECT_STREQ(JCROpcodes[218].name, "invokeinterface_quick");
    EXPECT_EQ(JCROpcodes[218].operand_length, 4);
    EXPECT_STREQ(JCROpcodes[229].name, "nonnull_quick");
    EXPECT_STREQ(JCROpcodes[253].name, "??");
    EXPECT_STREQ(JCROpcodes[255].name, "hardware");
    // Only 186 changes with the class-file version.
    EXPECT_EQ(&JCROpcodeRow(186, 50), &JCROpcodes[186]);
    EXPECT_STREQ(JCROpcodeRow(186, 51).name, "invokedynamic");
    EXPECT_EQ(JCROpcodeRow(186, 61).operand_length, 4);
    EXPECT_EQ(&JCROpcodeRow(185, 61), &JCROpcodes[185]);
}

TEST(Decode, PadsSwitchesToTheCodeAlignmentAndEncodesThemUnchanged) {
    for (int lead = 0; lead < 4; lead++) {
        Bytes bytes(lead, JCR_OP_NOP);
        bytes.push_back(JCR_OP_ILOAD_0);
        bytes.push_back(JCR_OP_TABLESWITCH);
        int padding = (4 - (lead + 2) % 4) % 4;
        bytes.insert(bytes.end(), padding, 0);
        int self = lead + 1;
        auto u32 = [&](int32_t v) {
            for (int s = 24; s >= 0; s -= 8) bytes.push_back(static_cast<uint8_t>(v >> s));
        };
        u32(0 - self + 0);  // default: the switch's own offset + this = the first nop or iload
        u32(-1);
        u32(1);
        for (int k = 0; k < 3; k++) u32(-self);
        bytes.push_back(JCR_OP_RETURN);
        CodePtr code = makeCode(bytes);
        ListPtr list = decode(code.get());
        ASSERT_NE(list, nullptr) << lead;
        EXPECT_TRUE(list->has_switch);
        ASSERT_EQ(list->count, lead + 3);
        EXPECT_EQ(list->insns[lead + 1].operand_length, static_cast<uint32_t>(padding + 12 + 12)) << lead;
        EXPECT_EQ(encode(list.get()), bytes);
        EXPECT_EQ(JCRCheckCode(list.get(), 0), 0);
    }
}

TEST(Decode, GivesWideItsOperandsAndLookupswitchItsPairs) {
    Bytes bytes = {JCR_OP_WIDE, JCR_OP_ILOAD, 1, 2,  JCR_OP_WIDE, JCR_OP_IINC, 1, 2, 0xff, 0xfe,
                   JCR_OP_LOOKUPSWITCH, 0,                    // one padding byte: operands at 12
                   0xff, 0xff, 0xff, 0xf6,                    // default -10
                   0, 0, 0, 2,                                // two pairs
                   0, 0, 0, 1, 0xff, 0xff, 0xff, 0xf6,        // 1 -> -10
                   0, 0, 0, 5, 0xff, 0xff, 0xff, 0xf6};       // 5 -> -10
    CodePtr code = makeCode(bytes);
    ListPtr list = decode(code.get());
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->count, 3);
    EXPECT_EQ(list->insns[0].operand_length, 3u);
    EXPECT_EQ(list->insns[1].operand_length, 5u);
    EXPECT_EQ(list->insns[2].operand_length, 1u + 8 + 16);
    EXPECT_EQ(list->insns[0].operands, code->code + 1) << "operands point into the code";
    EXPECT_EQ(JCRInsnOffset(list.get(), 2), 10);
    EXPECT_EQ(JCRInsnAtOffset(list.get(), 10), 2);
    EXPECT_EQ(JCRInsnAtOffset(list.get(), 11), -1);
    EXPECT_EQ(JCRInsnAtOffset(list.get(), 1000), -1);
    EXPECT_EQ(encode(list.get()), bytes);
}

TEST(Decode, EmptyCodeGivesAnEmptyList) {
    CodePtr code = makeCode({});
    ListPtr list = decode(code.get());
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->count, 0);
    EXPECT_EQ(list->capacity, 8);
    EXPECT_TRUE(encode(list.get()).empty());
    EXPECT_EQ(JCRCheckCode(list.get(), 0), 0);
}

TEST(Decode, RefusesTruncatedAndImpossibleInstructions) {
    struct Case {
        const char *what;
        Bytes bytes;
        const char *message;
    };
    const Case cases[] = {
        {"sipush missing a byte", {JCR_OP_NOP, JCR_OP_SIPUSH, 1}, "sipush at offset 1 runs past the end"},
        {"goto_w at the end", {JCR_OP_GOTO_W, 0, 0}, "goto_w at offset 0 runs past the end"},
        {"wide as the last byte", {JCR_OP_NOP, JCR_OP_WIDE}, "wide at offset 1 runs past the end"},
        {"wide iinc truncated", {JCR_OP_WIDE, JCR_OP_IINC, 0, 1, 0}, "wide at offset 0 runs past the end"},
        {"switch padding past the end", {JCR_OP_TABLESWITCH, 0}, "tableswitch at offset 0 runs past the end"},
        {"tableswitch header cut", {JCR_OP_TABLESWITCH, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, "runs past the end"},
        {"tableswitch high below low",
         {JCR_OP_TABLESWITCH, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 5, 0, 0, 0, 4},
         "tableswitch at offset 0 has an impossible size"},
        {"tableswitch of 4 billion cases",
         {JCR_OP_TABLESWITCH, 0, 0, 0, 0, 0, 0, 0, 0x80, 0, 0, 0, 0x7f, 0xff, 0xff, 0xff},
         "tableswitch at offset 0 runs past the end"},
        {"lookupswitch with negative pairs",
         {JCR_OP_LOOKUPSWITCH, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff, 0xff, 0xff},
         "lookupswitch at offset 0 has an impossible size"},
        {"lookupswitch pairs past the end",
         {JCR_OP_LOOKUPSWITCH, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0, 0},
         "lookupswitch at offset 0 runs past the end"},
    };
    for (const Case &c : cases) {
        // Exactly sized heap copies, so that ASan sees any read past the end.
        CodePtr code = makeCode(c.bytes);
        testing::internal::CaptureStderr();
        ListPtr list = decode(code.get());
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(list, nullptr) << c.what;
        EXPECT_NE(err.find(c.message), std::string::npos) << c.what << ": " << err;
    }
}
