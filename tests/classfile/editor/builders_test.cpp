// Instruction builders: the shortest form for each value or local, and
// constants added to the pool once.
#include <gtest/gtest.h>

#include "class_files.h"


namespace {

Bytes operands(const JCRInsn &insn) { return Bytes(insn.operands, insn.operands + insn.operand_length); }

}  // namespace

TEST(Builders, PushIntPicksTheShortestFormAndReusesConstants) {
    ClassPtr jclass = makeEmptyClass();
    struct Case {
        int value, length, opcode;
        Bytes operands;
    } cases[] = {{-1, 1, 2, {}},        {5, 1, 8, {}},
                 {6, 2, JCR_OP_BIPUSH, {6}}, {-128, 2, JCR_OP_BIPUSH, {0x80}},
                 {128, 3, JCR_OP_SIPUSH, {0, 0x80}}, {-32768, 3, JCR_OP_SIPUSH, {0x80, 0}}};
    JCRInsn insn;
    for (const Case &c : cases) {
        EXPECT_EQ(JCRMakePushInt(jclass.get(), &insn, c.value), c.length) << c.value;
        EXPECT_EQ(insn.opcode, c.opcode) << c.value;
        EXPECT_EQ(operands(insn), c.operands) << c.value;
    }
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
    // Constants above index 255 use ldc_w.
    for (int i = 0; i < 300; i++) JCRAddUtf8(jclass.get(), ("filler" + std::to_string(i)).c_str());
    EXPECT_EQ(JCRMakePushInt(jclass.get(), &insn, 100000), 3);
    EXPECT_EQ(insn.opcode, JCR_OP_LDC_W);
    EXPECT_EQ((insn.operands[0] << 8) | insn.operands[1], jclass->constant_pool_count - 1);
    EXPECT_EQ(JCRMakePushString(jclass.get(), &insn, "hello"), 3);
    EXPECT_EQ(insn.opcode, JCR_OP_LDC_W);
    index = (insn.operands[0] << 8) | insn.operands[1];
    EXPECT_EQ(index, JCRFindString(jclass.get(), "hello"));
    JCRMakePushString(jclass.get(), &insn, "hello");
    EXPECT_EQ((insn.operands[0] << 8) | insn.operands[1], index);
}

TEST(Builders, LocalsUseShortOneByteOrWideForms) {
    ClassPtr jclass = makeEmptyClass();
    using Maker = int (*)(JCRClass *, JCRInsn *, int);
    struct Case {
        Maker make;
        int local, length, opcode;
        Bytes operands;
    } cases[] = {{JCRMakeALoad, 0, 1, 42, {}},
                 {JCRMakeAStore, 3, 1, 78, {}},
                 {JCRMakeILoad, 2, 1, 28, {}},
                 {JCRMakeIStore, 1, 1, 60, {}},
                 {JCRMakeALoad, 4, 2, JCR_OP_ALOAD, {4}},
                 {JCRMakeIStore, 255, 2, JCR_OP_ISTORE, {255}},
                 {JCRMakeAStore, 300, 4, JCR_OP_WIDE, {JCR_OP_ASTORE, 1, 44}},
                 {JCRMakeILoad, 256, 4, JCR_OP_WIDE, {JCR_OP_ILOAD, 1, 0}},
                 {JCRMakeALoad, 65536, 0, JCR_OP_NOP, {}},
                 {JCRMakeALoad, -1, 0, JCR_OP_NOP, {}}};
    JCRInsn insn;
    for (const Case &c : cases) {
        EXPECT_EQ(c.make(jclass.get(), &insn, c.local), c.length) << c.local;
        EXPECT_EQ(insn.opcode, c.opcode) << c.local;
        EXPECT_EQ(operands(insn), c.operands) << c.local;
    }
    JCRMakeALoad(jclass.get(), &insn, 200);
    EXPECT_EQ(JCRALoadIndex(jclass.get(), &insn), 200);
    EXPECT_EQ(JCRAStoreIndex(jclass.get(), &insn), -1);
    JCRMakeAStore(jclass.get(), &insn, 3);
    EXPECT_EQ(JCRAStoreIndex(jclass.get(), &insn), 3);
    JCRMakeAStore(jclass.get(), &insn, 700);
    EXPECT_EQ(JCRAStoreIndex(jclass.get(), &insn), -1) << "wide forms are not reported";
}

