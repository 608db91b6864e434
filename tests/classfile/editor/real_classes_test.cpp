// Every method of real classes (the javac-compiled test classes, the
// system's jars and a JDK module full of invokedynamic): decode + encode gives the same bytes, the code passes the
// check, the stack depth never exceeds the compiler's, and after many
// insertions every branch, switch, handler, try range and line still refers
// to the same original instruction.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>

#include "classfile/stackmap.h"
#include "class_files.h"


namespace {

const std::vector<NamedBytes> &classes() {
    static const std::vector<NamedBytes> all =
        loadClasses({ZV_EDITOR_CLASSES, "/usr/share/java/guava.jar", "/usr/share/java/asm.jar",
                     "/usr/share/java/commons-lang3.jar", std::string(ZV_JDK_HOME) + "/jmods/java.net.http.jmod"});
    return all;
}

struct Method {
    JCRClass *jclass;
    JCRMember *member;
    std::string name;
    CodePtr code;
    LineTablePtr lines;  // null when the method has none
};

// Calls visit for every method with code of every class that parses.
template <typename Visit>
int forEachMethod(Visit visit) {
    int methods = 0;
    for (const NamedBytes &entry : classes()) {
        testing::internal::CaptureStderr();  // classes the model cannot parse say so
        ClassPtr jclass(JCRParseClass(entry.second.data(), static_cast<int>(entry.second.size())));
        testing::internal::GetCapturedStderr();
        if (jclass == nullptr) continue;
        for (int m = 0; m < jclass->methods_count; m++) {
            JCRMember *member = jclass->methods[m];
            JCRAttribute *attribute = JCRFindMemberAttribute(jclass.get(), member, "Code");
            if (attribute == nullptr) continue;
            Method method{jclass.get(), member, entry.first + " " + memberName(jclass.get(), member), nullptr, nullptr};
            method.code.reset(JCRParseCode(jclass.get(), attribute));
            if (method.code == nullptr) {
                ADD_FAILURE() << method.name << ": Code does not parse";
                continue;
            }
            for (int a = 0; a < method.code->attributes_count; a++) {
                const char *name = JCRUtf8At(jclass.get(), method.code->attributes[a]->name_index);
                if (name != nullptr && std::string(name) == "LineNumberTable" && method.lines == nullptr)
                    method.lines.reset(JCRParseLineTable(jclass.get(), method.code->attributes[a]));
            }
            visit(method);
            methods++;
        }
    }
    return methods;
}

int32_t readS32(const uint8_t *p) {
    return static_cast<int32_t>((uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3]);
}

// The absolute targets of a branch or switch at offset.
std::vector<int64_t> targetsOf(const JCRInsn &insn, int64_t offset) {
    std::vector<int64_t> targets;
    const uint8_t *p = insn.operands;
    switch (JCROpcodes[insn.opcode].branch_kind) {
    case JCR_BRANCH_16: targets.push_back(offset + static_cast<int16_t>((p[0] << 8) | p[1])); break;
    case JCR_BRANCH_32: targets.push_back(offset + readS32(p)); break;
    case JCR_BRANCH_SWITCH: {
        uint32_t padding = insn.operand_length & 3;
        const uint8_t *q = p + padding;
        targets.push_back(offset + readS32(q));
        bool table = insn.opcode == JCR_OP_TABLESWITCH;
        int64_t count = table ? int64_t{readS32(q + 8)} - readS32(q + 4) + 1 : readS32(q + 4);
        for (int64_t k = 0; k < count; k++) targets.push_back(offset + readS32(q + (table ? 12 + 4 * k : 12 + 8 * k)));
        break;
    }
    default: break;
    }
    return targets;
}

std::vector<int64_t> offsetsOf(const JCRInsnList *list) {
    std::vector<int64_t> offsets;
    int64_t offset = 0;
    for (int i = 0; i < list->count; i++) {
        offsets.push_back(offset);
        offset += JCRInsnSize(&list->insns[i]);
    }
    offsets.push_back(offset);
    return offsets;
}

}  // namespace

// Decode + encode gives the same bytes (also encoded straight into a written
// Code attribute), the code passes the check, the stack
// depth never exceeds the compiler's; every StackMapTable decodes to frames
// that encode to the same bytes (the compilers chose the most compact form,
// as the encoder does) and decode to the same frames again.
TEST(RealClasses, DecodeEncodeCheckStackDepthAndStackMapsAgreeWithTheCompiler) {
    int exactStack = 0, tables = 0;
    int methods = forEachMethod([&](Method &method) {
        JCRCode *code = method.code.get();
        ListPtr list = decode(code);
        ASSERT_NE(list, nullptr) << method.name;
        EXPECT_EQ(encode(list.get()), Bytes(code->code, code->code + code->code_length)) << method.name;
        std::unique_ptr<JCRAttribute, decltype(&sFree)> fromBytes(JCRWriteCode(method.jclass, code), sFree),
            fromList(JCRWriteCode(method.jclass, code, list.get()), sFree);
        EXPECT_EQ(Bytes(fromList->info, fromList->info + fromList->length),
                  Bytes(fromBytes->info, fromBytes->info + fromBytes->length)) << method.name;
        EXPECT_EQ(JCRCheckCode(list.get(), 1), 0) << method.name;
        int depth = JCRComputeMaxStack(method.jclass, code, list.get());
        EXPECT_LE(depth, code->max_stack) << method.name;
        if (depth == code->max_stack) exactStack++;
        for (int a = 0; a < code->attributes_count; a++) {
            const JCRAttribute *map = code->attributes[a];
            const char *name = JCRUtf8At(method.jclass, map->name_index);
            if (name == nullptr || std::string(name) != "StackMapTable") continue;
            JCRFrame initial;
            JCRClassIndex classes;
            std::vector<JCRFrame> frames, again;
            ASSERT_TRUE(JCRInitialFrame(method.jclass, method.member, classes, &initial)) << method.name;
            ASSERT_TRUE(JCRDecodeStackMap(map, initial, &frames)) << method.name;
            std::unique_ptr<JCRAttribute, decltype(&sFree)> written(
                JCREncodeStackMap(method.jclass, classes, initial, frames), sFree);
            ASSERT_NE(written, nullptr) << method.name;
            EXPECT_EQ(Bytes(written->info, written->info + written->length), Bytes(map->info, map->info + map->length))
                << method.name;
            ASSERT_TRUE(JCRDecodeStackMap(written.get(), initial, &again)) << method.name;
            for (size_t f = 0; f < frames.size() && f < again.size(); ++f) {
                EXPECT_TRUE(frames[f].offset == again[f].offset && frames[f].locals == again[f].locals &&
                            frames[f].stack == again[f].stack) << method.name << " frame " << f;
            }
            ++tables;
        }
    });
    std::printf("%d methods, stack depth equal to the compiler's in %d\n", methods, exactStack);
    EXPECT_GT(methods, 5000);
    EXPECT_GT(exactStack, methods * 9 / 10);
    EXPECT_GT(tables, 5000);
}

namespace {

uint8_t kCallOperands[2] = {0, 1};
struct Sequence {
    JCRInsn insns[2];
    int n;
};
// 1, 2, 3 and 4 bytes, so that switch methods need every padding.
const Sequence kSequences[] = {
    {{{JCR_OP_NOP, 0, nullptr}, {}}, 1},
    {{{JCR_OP_ICONST_M1 + 1, 0, nullptr}, {JCR_OP_POP, 0, nullptr}}, 2},
    {{{JCR_OP_INVOKESTATIC, 2, kCallOperands}, {}}, 1},
    {{{JCR_OP_INVOKESTATIC, 2, kCallOperands}, {JCR_OP_NOP, 0, nullptr}}, 2},
};

// Inserts before every third original instruction (and at entry) with the
// given flags, then checks that everything still refers to the instruction
// it referred to: with the skip flag the original one, without it the code
// inserted in front of it (try starts and lines always the original one).
void checkRelocation(Method &method, int flags, int *edited, int *rejected) {
    JCRCode *code = method.code.get();
    ListPtr original = decode(code);
    ASSERT_NE(original, nullptr);
    // Copies of what the edit changes in place.
    Bytes originalBytes(code->code, code->code + code->code_length);
    CodePtr pristine = makeCode(originalBytes);
    pristine->major_version = code->major_version;
    ListPtr before = decode(pristine.get());
    std::vector<JCRExceptionEntry> exceptions(code->exception_table,
                                              code->exception_table + code->exception_table_length);
    std::vector<JCRLineEntry> lines;
    if (method.lines != nullptr)
        lines.assign(method.lines->entries, method.lines->entries + method.lines->count);

    std::vector<int> origin(original->count);  // original index of each edited instruction, -1 for new
    for (int i = 0; i < original->count; i++) origin[i] = i;
    int kind = 0;
    for (int j = original->count - 1; j >= 0; j--) {
        if (j % 3 != 0) continue;
        const Sequence &sequence = kSequences[kind++ % 4];
        int added = JCRInsertAt(original.get(), sequence.insns, sequence.n, j, code, method.lines.get(), flags);
        ASSERT_GE(added, sequence.n);
        origin.insert(origin.begin() + j, added, -1);
    }
    if (JCRCheckCode(original.get(), 0) != 0) {
        ++*rejected;  // grew past a 16-bit branch or the size limit
        return;
    }
    ++*edited;
    Bytes out = encode(original.get());
    CodePtr reread = makeCode(out);
    reread->major_version = code->major_version;
    ListPtr after = decode(reread.get());
    ASSERT_NE(after, nullptr) << method.name;
    ASSERT_EQ(after->count, static_cast<int>(origin.size())) << method.name;

    std::vector<int64_t> oldOffsets = offsetsOf(before.get());
    std::vector<int64_t> newOffsets = offsetsOf(after.get());
    std::map<int64_t, int> oldIndexAt;
    for (size_t i = 0; i < oldOffsets.size(); i++) oldIndexAt[oldOffsets[i]] = static_cast<int>(i);
    std::vector<int> position(before->count + 1);  // edited index of each original index
    for (size_t p = 0; p < origin.size(); p++)
        if (origin[p] >= 0) position[origin[p]] = static_cast<int>(p);
    position[before->count] = after->count;
    // -1 for offsets that are no instruction start (not expected in compiled code).
    auto moved = [&](int64_t oldOffset) -> int64_t {
        auto found = oldIndexAt.find(oldOffset);
        return found == oldIndexAt.end() ? -1 : newOffsets[position[found->second]];
    };
    auto runStart = [&](int64_t oldOffset) -> int64_t {
        auto found = oldIndexAt.find(oldOffset);
        if (found == oldIndexAt.end()) return -1;
        int p = position[found->second];
        while (p > 0 && p < static_cast<int>(origin.size()) && origin[p - 1] < 0) p--;
        return newOffsets[p];
    };
    auto expected = [&](int64_t oldOffset) {
        return (flags & JCR_INSERT_SKIP_INSERTED) ? moved(oldOffset) : runStart(oldOffset);
    };

    for (int i = 0; i < before->count; i++) {
        std::vector<int64_t> oldTargets = targetsOf(before->insns[i], oldOffsets[i]);
        if (oldTargets.empty()) continue;
        int p = position[i];
        ASSERT_EQ(after->insns[p].opcode, before->insns[i].opcode);
        std::vector<int64_t> newTargets = targetsOf(after->insns[p], newOffsets[p]);
        ASSERT_EQ(newTargets.size(), oldTargets.size());
        for (size_t t = 0; t < oldTargets.size(); t++)
            ASSERT_EQ(newTargets[t], expected(oldTargets[t])) << method.name << " instruction " << i << " target " << t;
    }
    for (size_t e = 0; e < exceptions.size(); e++) {
        const JCRExceptionEntry &now = code->exception_table[e];
        EXPECT_EQ(now.start_pc, moved(exceptions[e].start_pc)) << method.name;
        EXPECT_EQ(now.end_pc, expected(exceptions[e].end_pc)) << method.name;
        EXPECT_EQ(now.handler_pc, expected(exceptions[e].handler_pc)) << method.name;
    }
    for (size_t l = 0; l < lines.size(); l++) {
        if (oldIndexAt.count(lines[l].start_pc) == 0) continue;
        int64_t want = lines[l].start_pc == 0 ? 0 : moved(lines[l].start_pc);
        EXPECT_EQ(method.lines->entries[l].start_pc, want) << method.name;
    }
}

}  // namespace

TEST(RealClasses, InsertionsKeepEveryReferenceOnItsInstruction) {
    for (int flags : {0, int{JCR_INSERT_SKIP_INSERTED}}) {
        int edited = 0;
        int rejected = 0;
        // Each pass edits the parsed code in place, so each parses afresh.
        forEachMethod([&](Method &method) { checkRelocation(method, flags, &edited, &rejected); });
        std::printf("flags %d: %d methods edited, %d rejected by the check\n", flags, edited, rejected);
        EXPECT_GT(edited, 5000);
    }
}
