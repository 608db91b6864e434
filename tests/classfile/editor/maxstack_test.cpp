// Stack depth beyond what compiled classes show (real_classes_test.cpp
// compares with javac's): descriptors, handlers, subroutines, and cyclic or
// broken control flow that must still end.
#include <gtest/gtest.h>

#include "editor_test_support.h"

using namespace editor_test;

namespace {

int maxStack(const JCRClass *jclass, const Bytes &bytes, std::initializer_list<JCRExceptionEntry> handlers = {}) {
    CodePtr code = makeCode(bytes, handlers);
    ListPtr list = decode(code.get());
    EXPECT_NE(list, nullptr);
    return list == nullptr ? -1 : JCRComputeMaxStack(jclass, code.get(), list.get());
}

uint8_t hi(int v) { return static_cast<uint8_t>(v >> 8); }
uint8_t lo(int v) { return static_cast<uint8_t>(v); }

}  // namespace

TEST(MaxStack, ReadsFieldAndMethodDescriptors) {
    ClassPtr jclass = makeEmptyClass();
    int longField = JCRAddFieldref(jclass.get(), "A", "f", "J");
    int intField = JCRAddFieldref(jclass.get(), "A", "g", "I");
    int method = JCRAddMethodref(jclass.get(), "A", "m", "(J[JLjava/lang/String;[[D)D");
    int staticMethod = JCRAddMethodref(jclass.get(), "A", "s", "(IJ)V");
    ASSERT_GT(longField, 0);
    ASSERT_GT(staticMethod, 0);
    Bytes code = {
        JCR_OP_ALOAD_0,                                          // 1
        JCR_OP_GETFIELD, hi(longField), lo(longField),           // 2
        JCR_OP_GETSTATIC, hi(intField), lo(intField),            // 3
        JCR_OP_POP,                                              // 2
        JCR_OP_ALOAD_0, 9, 1, 1, 1,                              // 3, 5, 6, 7, 8
        JCR_OP_INVOKEVIRTUAL, hi(method), lo(method),            // 8 - 6 + 2 = 4
        88, 88,                                                  // 0
        3, 10,                                                   // 1, 3
        JCR_OP_INVOKESTATIC, hi(staticMethod), lo(staticMethod), // 0
        JCR_OP_ALOAD_0, 9,                                       // 3
        JCR_OP_PUTFIELD, hi(longField), lo(longField),           // 0
        JCR_OP_ALOAD_0, JCR_OP_ALOAD_0, JCR_OP_ALOAD_0, JCR_OP_ALOAD_0, JCR_OP_ALOAD_0,
        JCR_OP_ALOAD_0, JCR_OP_ALOAD_0, JCR_OP_ALOAD_0,          // 8 again: the peak stays 8
        JCR_OP_RETURN};
    EXPECT_EQ(maxStack(jclass.get(), code), 8);
    // Unresolvable references count as one-word fields and ()V methods.
    EXPECT_EQ(maxStack(jclass.get(), {JCR_OP_GETSTATIC, 0, 99, JCR_OP_INVOKESTATIC, 0, 0, JCR_OP_RETURN}), 1);
}

TEST(MaxStack, WalksHandlersAtDepthOne) {
    // 0 nop; 1 return; 2 dup; 3 dup; 4 pop; 5 athrow. Handler at 2.
    EXPECT_EQ(maxStack(nullptr, {0, JCR_OP_RETURN, 89, 89, 87, JCR_OP_ATHROW}, {{0, 1, 2, 0}}), 3);
    // A handler that is not an instruction start is skipped.
    EXPECT_EQ(maxStack(nullptr, {JCR_OP_SIPUSH, 0, 0, JCR_OP_RETURN}, {{0, 3, 1, 0}}), 1);
}

TEST(MaxStack, FollowsSubroutinesWideAndMultianewarray) {
    // 0 jsr -> 4; 3 return; 4 astore_1; 5 ret 1.
    EXPECT_EQ(maxStack(nullptr, {JCR_OP_JSR, 0, 4, JCR_OP_RETURN, 76, JCR_OP_RET, 1}), 1);
    // jsr_w's table row pushes one word before the subroutine's own.
    EXPECT_EQ(maxStack(nullptr, {JCR_OP_JSR_W, 0, 0, 0, 6, JCR_OP_RETURN, 76, JCR_OP_RET, 1}), 2);
    // wide lload 300; then three ints and multianewarray of 3 dimensions.
    EXPECT_EQ(maxStack(nullptr, {JCR_OP_WIDE, 22, 1, 44, 88, 4, 4, 4, JCR_OP_MULTIANEWARRAY, 0, 1, 3, 4, 4,
                                 JCR_OP_RETURN}),
              3);
}

TEST(MaxStack, EndsOnCyclesBrokenTargetsAndLongChainsAndIsCapped) {
    EXPECT_EQ(maxStack(nullptr, {JCR_OP_GOTO, 0, 0}), 0);                     // goto self
    EXPECT_EQ(maxStack(nullptr, {3, JCR_OP_GOTO, 0xff, 0xff}), 1);            // loop back to 0
    EXPECT_EQ(maxStack(nullptr, {3, JCR_OP_IFEQ, 0x7f, 0xff, 3, 3}), 2);      // target past the end
    EXPECT_EQ(maxStack(nullptr, {JCR_OP_SIPUSH, 0, 0, JCR_OP_GOTO, 0xff, 0xfe}), 1);  // into an operand
    EXPECT_EQ(maxStack(nullptr, {JCR_OP_GOTO_W, 0x80, 0, 0, 0}), 0);
    EXPECT_EQ(maxStack(nullptr, {}), 0);
    // 30000 conditional branches, each to the next one: a recursive walk
    // would nest 30000 deep.
    Bytes chain = {3};
    for (int i = 0; i < 30000; i++) chain.insert(chain.end(), {JCR_OP_IFNE, 0, 3});
    chain.push_back(JCR_OP_RETURN);
    EXPECT_EQ(maxStack(nullptr, chain), 1);
    // The depth is capped at the class-file limit.
    EXPECT_EQ(maxStack(nullptr, Bytes(70000, 9)), 65535);  // lconst_0
}
