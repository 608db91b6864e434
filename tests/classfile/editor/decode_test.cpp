// Opcode table, decoding and encoding of code bytes, and hostile code that
// must be refused without reading past the end.
#include <gtest/gtest.h>

#include "editor_test_support.h"

using namespace editor_test;

TEST(OpcodeTable, KeepsTheSettledRowsAndTheQuickForms) {
    EXPECT_STREQ(JCROpcodes[0].name, "nop");
    EXPECT_STREQ(JCROpcodes[186].name, "xxxunusedxxx");
    EXPECT_STREQ(JCROpcodes[201].name, "jsr_w");
    EXPECT_STREQ(JCROpcodes[202].name, "breakpoint");
    EXPECT_STREQ(JCROpcodes[203].name, "ldc_quick");
    EXPECT_EQ(JCROpcodes[203].operand_length, 1);
    EXPECT_STREQ(JCROpcodes[218].name, "invokeinterface_quick");
    EXPECT_EQ(JCROpcodes[218].operand_length, 4);
    EXPECT_STREQ(JCROpcodes[223].name, "multianewarray_quick");
    EXPECT_EQ(JCROpcodes[223].operand_length, 3);
    EXPECT_STREQ(JCROpcodes[229].name, "nonnull_quick");
    for (int op = 230; op <= 253; op++) EXPECT_STREQ(JCROpcodes[op].name, "??") << op;
    EXPECT_STREQ(JCROpcodes[254].name, "software");
    EXPECT_STREQ(JCROpcodes[255].name, "hardware");
    for (int op = 202; op <= 255; op++) {
        EXPECT_EQ(JCROpcodes[op].branch_kind, 0) << op;
        EXPECT_EQ(JCROpcodes[op].popped, 0) << op;
        EXPECT_EQ(JCROpcodes[op].pushed, 0) << op;
    }
    // Branches and their kinds.
    for (int op = 153; op <= 168; op++) EXPECT_EQ(JCROpcodes[op].branch_kind, 1) << op;
    EXPECT_EQ(JCROpcodes[198].branch_kind, 1);
    EXPECT_EQ(JCROpcodes[199].branch_kind, 1);
    EXPECT_EQ(JCROpcodes[200].branch_kind, 2);
    EXPECT_EQ(JCROpcodes[201].branch_kind, 2);
    EXPECT_EQ(JCROpcodes[170].branch_kind, 3);
    EXPECT_EQ(JCROpcodes[171].branch_kind, 3);
    // Stack words count long and double as 2.
    EXPECT_EQ(JCROpcodes[97].popped, 4);  // ladd
    EXPECT_EQ(JCROpcodes[97].pushed, 2);
    EXPECT_EQ(JCROpcodes[121].popped, 3);  // lshl: long and int shift
    EXPECT_EQ(JCROpcodes[94].popped, 4);   // dup2_x2
    EXPECT_EQ(JCROpcodes[94].pushed, 6);
    EXPECT_EQ(JCROpcodes[82].popped, 4);  // dastore
    EXPECT_EQ(JCROpcodes[201].pushed, 1);
    EXPECT_EQ(JCROpcodes[197].popped, -1);
    EXPECT_EQ(JCROpcodes[197].pushed, 1);
    EXPECT_EQ(JCROpcodes[185].operand_length, 4);
    EXPECT_EQ(JCROpcodes[196].operand_length, -1);
}

TEST(Decode, GivesEveryFixedLengthOpcodeItsTableLength) {
    for (int op = 0; op < 256; op++) {
        int length = JCROpcodes[op].operand_length;
        if (length < 0) continue;
        Bytes bytes(1 + length, 0);
        bytes[0] = static_cast<uint8_t>(op);
        CodePtr code = makeCode(bytes);
        ListPtr list = decode(code.get());
        ASSERT_NE(list, nullptr) << op;
        ASSERT_EQ(list->count, 1) << op;
        EXPECT_EQ(list->insns[0].operand_length, static_cast<uint32_t>(length)) << op;
        EXPECT_EQ(encode(list.get()), bytes) << op;
    }
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
