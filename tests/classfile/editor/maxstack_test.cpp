// Stack depth beyond what compiled classes show (real_classes_test.cpp
// compares with javac's over descriptors and handlers): subroutines, and
// cyclic or broken control flow that must still end.
#include <gtest/gtest.h>

#include "class_files.h"


namespace {

int maxStack(const JCRClass *jclass, const Bytes &bytes, std::initializer_list<JCRExceptionEntry> handlers = {}) {
    CodePtr code = makeCode(bytes, handlers);
    ListPtr list = decode(code.get());
    EXPECT_NE(list, nullptr);
    return list == nullptr ? -1 : JCRComputeMaxStack(jclass, code.get(), list.get());
}

}  // namespace

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
