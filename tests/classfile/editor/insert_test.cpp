// Insertion on small hand-made methods: relocation at the end of the code,
// overflow detection, out-of-range positions and the final check. Where
// inserted code lands and relocation with and without skipping it are checked
// over every method of real classes in real_classes_test.cpp.
#include <gtest/gtest.h>

#include <tuple>

#include "capture.h"
#include "class_files.h"


namespace {

uint8_t kCallOperands[2] = {0, 7};
// A 3-byte instruction with no stack effect on the list (invokestatic #7).
const JCRInsn kCall = {JCR_OP_INVOKESTATIC, 2, kCallOperands};
const JCRInsn kNop = {JCR_OP_NOP, 0, nullptr};

int16_t s16(const Bytes &b, size_t at) { return static_cast<int16_t>((b[at] << 8) | b[at + 1]); }
void putS32(Bytes &b, int32_t v) {
    for (int s = 24; s >= 0; s -= 8) b.push_back(static_cast<uint8_t>(v >> s));
}

// A loop that jumps back to offset 0, inside a try range, with two lines.
Bytes loopToEntry() {
    return {JCR_OP_ICONST_M1 + 1,  // 0: iconst_0
            JCR_OP_ISTORE_0 + 1,   // 1: istore_1
            JCR_OP_IINC, 1, 1,     // 2: iinc 1 1
            JCR_OP_ILOAD_0 + 1,    // 5: iload_1
            JCR_OP_BIPUSH, 10,     // 6: bipush 10
            161, 0xff, 0xfa,       // 8: if_icmplt -6 -> 2
            JCR_OP_GOTO, 0xff, 0xf5,  // 11: goto -11 -> 0
            JCR_OP_RETURN};        // 14
}

// goto +32764 over 32761 nops, then return: the longest forward branch that
// three more bytes still leave within 16 bits.
Bytes farGoto() {
    Bytes b = {JCR_OP_GOTO, 0x7f, 0xfc};
    b.insert(b.end(), 32761, JCR_OP_NOP);
    b.push_back(JCR_OP_RETURN);
    return b;
}

// nops, then iload_0 and a tableswitch over 0..1 whose targets are the two
// returns after it and whose default is the first of them.
Bytes switchMethod(int leadingNops, int *switchAt, int *firstReturn) {
    Bytes b(leadingNops, JCR_OP_NOP);
    b.push_back(JCR_OP_ILOAD_0);
    *switchAt = static_cast<int>(b.size());
    b.push_back(JCR_OP_TABLESWITCH);
    while (b.size() % 4 != 0) b.push_back(0);
    int end = static_cast<int>(b.size()) + 20;
    putS32(b, end - *switchAt);
    putS32(b, 0);
    putS32(b, 1);
    putS32(b, end - *switchAt);
    putS32(b, end + 1 - *switchAt);
    b.push_back(JCR_OP_RETURN);
    b.push_back(JCR_OP_RETURN);
    *firstReturn = end;
    return b;
}

}  // namespace

TEST(Insert, AppendingAtTheEndRelocatesNothingAndAddsNoPadding) {
    int switchAt, firstReturn;
    Bytes bytes = switchMethod(1, &switchAt, &firstReturn);
    bytes.push_back(JCR_OP_GOTO);  // a branch to the end of the code
    bytes.push_back(0);
    bytes.push_back(3);
    CodePtr code = makeCode(bytes, {{0, static_cast<uint16_t>(bytes.size()), 0, 0}});
    LineTablePtr lines = makeLineTable({{static_cast<uint16_t>(bytes.size()), 3}});
    ListPtr list = decode(code.get());
    EXPECT_EQ(JCRInsertAt(list.get(), &kNop, 1, list->count, code.get(), lines.get(), JCR_INSERT_SKIP_INSERTED), 1);
    Bytes out = encode(list.get());
    ASSERT_EQ(out.size(), bytes.size() + 1);
    EXPECT_EQ(Bytes(out.begin(), out.end() - 1), bytes);
    EXPECT_EQ(code->exception_table[0].end_pc, bytes.size());
    EXPECT_EQ(lines->entries[0].start_pc, bytes.size());
}

TEST(Insert, ABranchPushedOutOfSixteenBitsFailsTheCheck) {
    CodePtr code = makeCode(farGoto());
    ListPtr list = decode(code.get());
    JCRInsn four[4] = {kNop, kNop, kNop, kNop};
    JCRInsertAt(list.get(), four, 3, 1, code.get(), nullptr, 0);
    EXPECT_FALSE(list->branch_overflow) << "32767 still fits";
    EXPECT_EQ(JCRCheckCode(list.get(), 0), 0);
    JCRInsertAt(list.get(), four, 1, 1, code.get(), nullptr, 0);
    EXPECT_TRUE(list->branch_overflow);
    EXPECT_EQ(StderrOf([&] { EXPECT_EQ(JCRCheckCode(list.get(), 1), 1); }),
              "Detected branch error during instrumentation\n");
    EXPECT_EQ(JCRCheckCode(list.get(), 0), 1);
}

TEST(Insert, InsertAtOffsetFallsBackToTheInstructionBelowAndOutOfRangeIndexesAreRefused) {
    CodePtr code = makeCode(loopToEntry());
    ListPtr list = decode(code.get());
    EXPECT_EQ(JCRInsertAtOffset(nullptr, list.get(), &kNop, 1, 3, code.get(), nullptr, 0), 0);
    EXPECT_EQ(list->insns[2].opcode, JCR_OP_NOP) << "inserted before the iinc at 2";
    EXPECT_EQ(JCRInsertAtOffset(nullptr, list.get(), &kNop, 1, 6, code.get(), nullptr, 0), 1);
    EXPECT_EQ(list->insns[4].opcode, JCR_OP_NOP);
    EXPECT_EQ(JCRInsertAtOffset(nullptr, list.get(), &kNop, 1, 100000, code.get(), nullptr, 0), 0);
    EXPECT_EQ(list->insns[list->count - 2].opcode, JCR_OP_NOP) << "before the last instruction";
    EXPECT_EQ(JCRCheckCode(list.get(), 0), 0);
    // Out-of-range indexes are refused; a large insertion grows the list.
    list.reset();
    code = makeCode(loopToEntry());
    list = decode(code.get());
    EXPECT_EQ(JCRInsertAt(list.get(), &kNop, 1, -1, code.get(), nullptr, 0), 0);
    EXPECT_EQ(JCRInsertAt(list.get(), &kNop, 1, list->count + 1, code.get(), nullptr, 0), 0);
    std::vector<JCRInsn> many(300, kCall);
    EXPECT_EQ(JCRInsertAt(list.get(), many.data(), 300, 0, code.get(), nullptr, JCR_INSERT_SKIP_INSERTED), 300);
    EXPECT_EQ(list->count, 308);
    Bytes out = encode(list.get());
    EXPECT_EQ(out.size(), 15u + 900);
    EXPECT_EQ(911 + s16(out, 912), 900) << "the loop's goto still reaches the old first instruction";
    int length = 0;
    EXPECT_EQ(JCRCheckCode(list.get(), 0, &length), 0);
    EXPECT_EQ(length, 915);
}

TEST(Check, RejectsTargetsInsideInstructionsMisalignedSwitchesAndOversizedCode) {
    // goto into the middle of the sipush.
    CodePtr code = makeCode({JCR_OP_SIPUSH, 0, 1, JCR_OP_GOTO, 0xff, 0xfe, JCR_OP_RETURN});
    ListPtr list = decode(code.get());
    EXPECT_EQ(StderrOf([&] { EXPECT_EQ(JCRCheckCode(list.get(), 1), 1); }),
              "Detected branch target error during instrumentation <3>\n");
    // A goto past the end of the code.
    CodePtr past = makeCode({JCR_OP_GOTO, 0, 3});
    ListPtr pastList = decode(past.get());
    EXPECT_EQ(JCRCheckCode(pastList.get(), 0), 1);

    // A switch moved by an amount that is not a multiple of 4.
    int switchAt, firstReturn;
    CodePtr switching = makeCode(switchMethod(0, &switchAt, &firstReturn));
    ListPtr withSwitch = decode(switching.get());
    withSwitch->has_switch = 0;  // as if it had not been seen: no padding
    JCRInsertAt(withSwitch.get(), &kNop, 1, 0, switching.get(), nullptr, 1);
    EXPECT_EQ(StderrOf([&] { EXPECT_EQ(JCRCheckCode(withSwitch.get(), 1), 1); }),
              "Detected switch error during instrumentation <2>\n");

    // 65536 bytes of code.
    CodePtr big = makeCode(Bytes(65536, JCR_OP_NOP));
    ListPtr bigList = decode(big.get());
    EXPECT_EQ(StderrOf([&] { EXPECT_EQ(JCRCheckCode(bigList.get(), 1), 1); }),
              "Detected size error during instrumentation <65536>\n");
    bigList->count--;
    EXPECT_EQ(JCRCheckCode(bigList.get(), 0), 0);
}

// One batch against the same blocks put in one by one, last first (so that
// every index still names its instruction): the same code, tables and
// overflow, with several blocks at one instruction (skipping ones first),
// blocks at branch targets, handler starts and the end, switch padding, and
// a branch pushed out of 16 bits.
TEST(InsertBatch, MatchesTheBlocksInsertedOneByOne) {
    int switchAt, firstReturn;
    Bytes switching = switchMethod(1, &switchAt, &firstReturn);
    struct Block {
        int index;
        int n;  // calls
        int flags;
    };
    const int skip = JCR_INSERT_SKIP_INSERTED;
    struct Case {
        const char *name;
        Bytes bytes;
        std::vector<Block> blocks;
        bool overflows;
    } cases[] = {
        // Entry at 0, two blocks at the loop's target 2 (iinc), one before the
        // handler at 11 (the goto), one before the return and one after it.
        {"loop", loopToEntry(), {{0, 1, skip}, {2, 1, skip}, {2, 2, 0}, {6, 1, 0}, {7, 1, 0}, {8, 1, 0}}, false},
        {"switch", switching, {{0, 1, skip}, {2, 1, 0}, {3, 2, 0}, {4, 1, 0}}, false},
        {"far", farGoto(), {{0, 1, skip}, {1, 2, 0}, {32762, 1, 0}}, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<JCRInsn> calls(4, kCall);
        CodePtr codes[2] = {makeCode(c.bytes, {{0, 11, 11, 0}, {2, 14, 2, 0}}),
                            makeCode(c.bytes, {{0, 11, 11, 0}, {2, 14, 2, 0}})};
        LineTablePtr tables[2] = {makeLineTable({{0, 1}, {2, 2}, {11, 3}}), makeLineTable({{0, 1}, {2, 2}, {11, 3}})};
        ListPtr batch = decode(codes[0].get());
        ListPtr single = decode(codes[1].get());
        std::vector<JCRInsertion> blocks;
        for (const Block &b : c.blocks) blocks.push_back({b.index, calls.data(), b.n, b.flags, 0, 0});
        int inserted = JCRInsertBatch(batch.get(), blocks.data(), static_cast<int>(blocks.size()), codes[0].get(),
                                      tables[0].get());
        int one = 0;
        for (auto b = c.blocks.rbegin(); b != c.blocks.rend(); ++b)
            one += JCRInsertAt(single.get(), calls.data(), b->n, b->index, codes[1].get(), tables[1].get(), b->flags);
        EXPECT_EQ(inserted, one);
        // One by one, an offset past 16 bits is written back cut and moved on from there.
        if (!c.overflows) {
            EXPECT_EQ(encode(batch.get()), encode(single.get()));
        }
        for (int e = 0; e < 2; ++e) {
            const JCRExceptionEntry &x = codes[0]->exception_table[e], &y = codes[1]->exception_table[e];
            EXPECT_EQ(std::tie(x.start_pc, x.end_pc, x.handler_pc), std::tie(y.start_pc, y.end_pc, y.handler_pc));
        }
        for (int l = 0; l < 3; ++l) EXPECT_EQ(tables[0]->entries[l].start_pc, tables[1]->entries[l].start_pc);
        EXPECT_EQ(batch->branch_overflow != 0, c.overflows);
        EXPECT_EQ(single->branch_overflow != 0, c.overflows);
        if (!c.overflows) {
            EXPECT_EQ(JCRCheckCode(batch.get(), 0), 0);
        }
    }
    // Out of order or out of range: nothing changes.
    CodePtr code = makeCode(loopToEntry());
    ListPtr list = decode(code.get());
    JCRInsertion unordered[2] = {{3, &kCall, 1, 0, 0, 0}, {1, &kCall, 1, 0, 0, 0}};
    JCRInsertion outside = {list->count + 1, &kCall, 1, 0, 0, 0};
    EXPECT_EQ(JCRInsertBatch(list.get(), unordered, 2, code.get(), nullptr), 0);
    EXPECT_EQ(JCRInsertBatch(list.get(), &outside, 1, code.get(), nullptr), 0);
    EXPECT_EQ(encode(list.get()), loopToEntry());
}
