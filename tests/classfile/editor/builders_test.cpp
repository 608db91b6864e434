// Instruction builders, the operand pool and the debug dumps.
#include <gtest/gtest.h>

#include "editor_test_support.h"

using namespace editor_test;

namespace {

Bytes operands(const JCRInsn &insn) { return Bytes(insn.operands, insn.operands + insn.operand_length); }

}  // namespace

TEST(Builders, PushIntPicksTheShortestForm) {
    ClassPtr jclass = makeEmptyClass();
    JCRInsn insn;
    EXPECT_EQ(JCRMakePushInt(jclass.get(), &insn, -1), 1);
    EXPECT_EQ(insn.opcode, 2);
    EXPECT_EQ(JCRMakePushInt(jclass.get(), &insn, 5), 1);
    EXPECT_EQ(insn.opcode, 8);
    EXPECT_EQ(JCRMakePushInt(jclass.get(), &insn, 6), 2);
    EXPECT_EQ(insn.opcode, JCR_OP_BIPUSH);
    EXPECT_EQ(operands(insn), Bytes{6});
    EXPECT_EQ(JCRMakePushInt(jclass.get(), &insn, -128), 2);
    EXPECT_EQ(operands(insn), Bytes{0x80});
    EXPECT_EQ(JCRMakePushInt(jclass.get(), &insn, 128), 3);
    EXPECT_EQ(insn.opcode, JCR_OP_SIPUSH);
    EXPECT_EQ(operands(insn), (Bytes{0, 0x80}));
    EXPECT_EQ(JCRMakePushInt(jclass.get(), &insn, -32768), 3);
    EXPECT_EQ(operands(insn), (Bytes{0x80, 0}));
    EXPECT_EQ(JCRMakePushInt(jclass.get(), &insn, 32768), 2);
    EXPECT_EQ(insn.opcode, JCR_OP_LDC);
    int index = insn.operands[0];
    const JCRConstant *constant = JCRConstantAt(jclass.get(), index, JCR_CONSTANT_Integer);
    ASSERT_NE(constant, nullptr);
    EXPECT_EQ(constant->value, 32768u);
    int count = jclass->constant_pool_count;
    JCRMakePushInt(jclass.get(), &insn, 32768);
    EXPECT_EQ(insn.operands[0], index) << "the Integer constant is reused";
    EXPECT_EQ(jclass->constant_pool_count, count);
}

TEST(Builders, ConstantsAbove255UseLdcW) {
    ClassPtr jclass = makeEmptyClass();
    for (int i = 0; i < 300; i++) JCRAddUtf8(jclass.get(), ("filler" + std::to_string(i)).c_str());
    JCRInsn insn;
    EXPECT_EQ(JCRMakePushInt(jclass.get(), &insn, 100000), 3);
    EXPECT_EQ(insn.opcode, JCR_OP_LDC_W);
    EXPECT_EQ((insn.operands[0] << 8) | insn.operands[1], jclass->constant_pool_count - 1);
    EXPECT_EQ(JCRMakePushString(jclass.get(), &insn, "hello"), 3);
    EXPECT_EQ(insn.opcode, JCR_OP_LDC_W);
    int index = (insn.operands[0] << 8) | insn.operands[1];
    EXPECT_EQ(index, JCRFindString(jclass.get(), "hello"));
    JCRMakePushString(jclass.get(), &insn, "hello");
    EXPECT_EQ((insn.operands[0] << 8) | insn.operands[1], index);

    ClassPtr small = makeEmptyClass();
    EXPECT_EQ(JCRMakePushString(small.get(), &insn, "hi"), 2);
    EXPECT_EQ(insn.opcode, JCR_OP_LDC);
    EXPECT_EQ(insn.operands[0], JCRFindString(small.get(), "hi"));
}

TEST(Builders, LocalsUseShortOneByteOrWideForms) {
    ClassPtr jclass = makeEmptyClass();
    JCRInsn insn;
    EXPECT_EQ(JCRMakeALoad(jclass.get(), &insn, 0), 1);
    EXPECT_EQ(insn.opcode, 42);
    EXPECT_EQ(JCRMakeAStore(jclass.get(), &insn, 3), 1);
    EXPECT_EQ(insn.opcode, 78);
    EXPECT_EQ(JCRMakeILoad(jclass.get(), &insn, 2), 1);
    EXPECT_EQ(insn.opcode, 28);
    EXPECT_EQ(JCRMakeIStore(jclass.get(), &insn, 1), 1);
    EXPECT_EQ(insn.opcode, 60);
    EXPECT_EQ(JCRMakeALoad(jclass.get(), &insn, 4), 2);
    EXPECT_EQ(insn.opcode, JCR_OP_ALOAD);
    EXPECT_EQ(operands(insn), Bytes{4});
    EXPECT_EQ(JCRMakeIStore(jclass.get(), &insn, 255), 2);
    EXPECT_EQ(insn.opcode, JCR_OP_ISTORE);
    EXPECT_EQ(JCRMakeAStore(jclass.get(), &insn, 300), 4);
    EXPECT_EQ(insn.opcode, JCR_OP_WIDE);
    EXPECT_EQ(operands(insn), (Bytes{JCR_OP_ASTORE, 1, 44}));
    EXPECT_EQ(JCRMakeILoad(jclass.get(), &insn, 256), 4);
    EXPECT_EQ(operands(insn), (Bytes{JCR_OP_ILOAD, 1, 0}));
    EXPECT_EQ(JCRMakeALoad(jclass.get(), &insn, 65536), 0);
    EXPECT_EQ(insn.opcode, JCR_OP_NOP);
    EXPECT_EQ(JCRMakeALoad(jclass.get(), &insn, -1), 0);
    EXPECT_EQ(JCRMakeOpU16(jclass.get(), &insn, JCR_OP_IFNE, 0x1234), 3);
    EXPECT_EQ(operands(insn), (Bytes{0x12, 0x34}));
    EXPECT_EQ(JCRMakeOp(&insn, JCR_OP_POP), 1);
    EXPECT_EQ(insn.operand_length, 0u);

    JCRMakeALoad(jclass.get(), &insn, 200);
    EXPECT_EQ(JCRALoadIndex(jclass.get(), &insn), 200);
    EXPECT_EQ(JCRAStoreIndex(jclass.get(), &insn), -1);
    JCRMakeAStore(jclass.get(), &insn, 3);
    EXPECT_EQ(JCRAStoreIndex(jclass.get(), &insn), 3);
    JCRMakeAStore(jclass.get(), &insn, 700);
    EXPECT_EQ(JCRAStoreIndex(jclass.get(), &insn), -1) << "wide forms are not reported";
}

TEST(Builders, OperandPoolHandsOutSlotsFromChunksOf128) {
    ClassPtr jclass = makeEmptyClass();
    std::vector<JCRInsn> insns(300);
    for (int i = 0; i < 300; i++) JCRMakeOpU16(jclass.get(), &insns[i], JCR_OP_GETSTATIC, i);
    EXPECT_EQ(jclass->operand_chunk_index, 2);
    EXPECT_EQ(jclass->operand_chunk_capacity, 4);
    EXPECT_EQ(jclass->operand_slots_used, 300 - 256);
    EXPECT_EQ(insns[0].operands, jclass->operand_chunks[0]);
    EXPECT_EQ(insns[128].operands, jclass->operand_chunks[1]);
    EXPECT_EQ(insns[1].operands, insns[0].operands + 4);
    for (int i = 0; i < 300; i++) EXPECT_EQ((insns[i].operands[0] << 8) | insns[i].operands[1], i);
}

TEST(Dump, PrintsInstructionsWithOffsetsLinesAndResolvedNames) {
    ClassPtr jclass = makeEmptyClass();
    int field = JCRAddFieldref(jclass.get(), "p/A", "count", "I");
    int method = JCRAddMethodref(jclass.get(), "p/A", "run", "(J)V");
    int string = JCRAddString(jclass.get(), "hi");
    ASSERT_LT(string, 256);
    Bytes bytes = {JCR_OP_LDC, static_cast<uint8_t>(string),
                   JCR_OP_GETSTATIC, 0, static_cast<uint8_t>(field),
                   JCR_OP_INVOKESTATIC, 0, static_cast<uint8_t>(method),
                   JCR_OP_INVOKESTATIC, 0, 0,
                   JCR_OP_PUTFIELD, 0, 99,
                   JCR_OP_IFEQ, 0xff, 0xfe,
                   JCR_OP_BIPUSH, 7,
                   JCR_OP_TABLESWITCH, 0xff, 0xff, 0xff, 0xed, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 2,
                   JCR_OP_RETURN};
    CodePtr code = makeCode(bytes);
    ListPtr list = decode(code.get());
    ASSERT_NE(list, nullptr);
    LineTablePtr lines = makeLineTable({{0, 7}, {14, 9}});
    testing::internal::CaptureStdout();
    JCRDumpCode(jclass.get(), list.get(), lines.get());
    std::string expected = "[7] 0(0x0)\tldc\t0x" + ([&] {
        char hex[8];
        std::snprintf(hex, sizeof hex, "%x", string);
        return std::string(hex);
    })() + "\tString (" + std::to_string(string - 1) + ") UTF8 [hi]\n" +
                           "[7] 2(0x2)\tgetstatic\tcount.I\n"
                           "[7] 5(0x5)\tinvokestatic\tp/A.run.(J)V\n"
                           "[7] 8(0x8)\tinvokestatic\t<Unknown methodRef.Class>.<Unknown methodREF?>.\n"
                           "[7] 11(0xb)\tputfield\t<Unknown fieldREF?>.\n"
                           "[9] 14(0xe)\tifeq\t-2 0xfffffffe\n"
                           "[9] 17(0x11)\tbipush\t0x7 \n"
                           "[9] 19(0x13)\ttableswitch\tDefault=-19 low=1 high=1 size=1\n"
                           "2 (0x2)\n"
                           "[9] 36(0x24)\treturn\t\n";
    EXPECT_EQ(testing::internal::GetCapturedStdout(), expected);
}
