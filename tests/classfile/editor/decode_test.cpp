// Decoding of code bytes, and hostile code that must be refused without
// reading past the end.
#include <gtest/gtest.h>

#include "class_files.h"


// Offsets that are no instruction start map to -1; empty code is a valid,
// empty list. (Switch padding and wide forms are decoded and re-encoded
// byte for byte over every method of real classes.)
TEST(Decode, OffsetLookupsAndEmptyCode) {
    Bytes bytes = {JCR_OP_WIDE, JCR_OP_ILOAD, 1, 2, JCR_OP_SIPUSH, 0, 1, JCR_OP_RETURN};
    CodePtr code = makeCode(bytes);
    ListPtr list = decode(code.get());
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->count, 3);
    EXPECT_EQ(list->insns[0].operands, code->code + 1) << "operands point into the code";
    EXPECT_EQ(JCRInsnOffset(list.get(), 2), 7);
    EXPECT_EQ(JCRInsnAtOffset(list.get(), 4), 1);
    EXPECT_EQ(JCRInsnAtOffset(list.get(), 5), -1);
    EXPECT_EQ(JCRInsnAtOffset(list.get(), 1000), -1);
    CodePtr empty = makeCode({});
    ListPtr none = decode(empty.get());
    ASSERT_NE(none, nullptr);
    EXPECT_EQ(none->count, 0);
    EXPECT_TRUE(encode(none.get()).empty());
    EXPECT_EQ(JCRCheckCode(none.get(), 0), 0);
}

TEST(Decode, RefusesTruncatedAndImpossibleInstructions) {
    const std::pair<Bytes, const char *> cases[] = {
        {{JCR_OP_NOP, JCR_OP_SIPUSH, 1}, "sipush at offset 1 runs past the end"},
        {{JCR_OP_GOTO_W, 0, 0}, "goto_w at offset 0 runs past the end"},
        {{JCR_OP_NOP, JCR_OP_WIDE}, "wide at offset 1 runs past the end"},
        {{JCR_OP_WIDE, JCR_OP_IINC, 0, 1, 0}, "wide at offset 0 runs past the end"},
        {{JCR_OP_TABLESWITCH, 0}, "tableswitch at offset 0 runs past the end"},
        {{JCR_OP_TABLESWITCH, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, "runs past the end"},
        {{JCR_OP_TABLESWITCH, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 5, 0, 0, 0, 4},
         "tableswitch at offset 0 has an impossible size"},
        {{JCR_OP_TABLESWITCH, 0, 0, 0, 0, 0, 0, 0, 0x80, 0, 0, 0, 0x7f, 0xff, 0xff, 0xff},
         "tableswitch at offset 0 runs past the end"},
        {{JCR_OP_LOOKUPSWITCH, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff, 0xff, 0xff},
         "lookupswitch at offset 0 has an impossible size"},
        {{JCR_OP_LOOKUPSWITCH, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0, 0},
         "lookupswitch at offset 0 runs past the end"},
    };
    for (const auto &[bytes, message] : cases) {
        // Exactly sized heap copies, so that ASan sees any read past the end.
        CodePtr code = makeCode(bytes);
        testing::internal::CaptureStderr();
        ListPtr list = decode(code.get());
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(list, nullptr) << message;
        EXPECT_NE(err.find(message), std::string::npos) << err;
    }
}

// A thread's freed list is handed to its next decode, with nothing carried over.
TEST(Decode, ListAfterAFreedOneStartsClean) {
    CodePtr first = makeCode({JCR_OP_TABLESWITCH, 0, 0, 0, 0, 0, 0, 20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 20, JCR_OP_RETURN});
    ListPtr list = decode(first.get());
    ASSERT_TRUE(list != nullptr && list->has_switch);
    list->branch_overflow = 1;
    list.reset();
    CodePtr second = makeCode({JCR_OP_NOP, JCR_OP_RETURN});
    ListPtr next = decode(second.get());
    ASSERT_NE(next, nullptr);
    EXPECT_TRUE(next->count == 2 && !next->has_switch && !next->branch_overflow);
}
