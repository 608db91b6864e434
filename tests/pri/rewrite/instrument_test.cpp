// Method instrumentation on javac-compiled classes at its edges: throwing,
// endless and looping methods, the tiny-method bound, thinning and canonical
// line tables, ids from filters, the class tables, refused methods; and
// instrumented classes under the old verifier. (Ordinary entry, exit and line
// probes, and branches pushed out of reach in big methods, run in a real VM
// end to end.)
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "capture.h"
#include "class_files.h"
#include "classfile/bytecode.h"
#include "pri/filters/class_tables.h"
#include "pri/filters/filters.h"
#include "pri/rewrite/instrument.h"
#include "pri/rewrite/instrument_internal.h"
#include "pri/rewrite/instrumented_frames.h"
#include "scratch_directory.h"

namespace {

ClassPtr shapeClass(const std::string &name) {
    return Parse(ClassBytesOf(std::string(ZV_PRI_JAVA_CLASSES) + "/shapes", "shapes/" + name));
}

JCRMember *method(const JCRClass *jclass, const char *name) {
    for (int m = 0; m < jclass->methods_count; ++m)
        if (std::string(JCRUtf8At(jclass, jclass->methods[m]->name_index)) == name) return jclass->methods[m];
    return nullptr;
}

// A method's code as the VM will see it.
struct Decoded {
    JCRCode *code = nullptr;
    JCRInsnList *list = nullptr;
    std::vector<std::string> ops;  // mnemonics
    ~Decoded() {
        JCRFreeInsnList(list);
        JCRFreeCode(code);
    }
};

std::unique_ptr<Decoded> decode(const JCRClass *jclass, const char *name) {
    auto d = std::make_unique<Decoded>();
    d->code = JCRParseCode(jclass, JCRFindMemberAttribute(jclass, method(jclass, name), "Code"));
    d->list = JCRDecodeCode(d->code);
    for (int i = 0; i < d->list->count; ++i) d->ops.push_back(JCROpcodes[d->list->insns[i].opcode].name);
    return d;
}

void freeRecords(JVMPI_Method *records, int count) {
    for (int i = 0; i < count; ++i) {
        sFree(records[i].method_name);
        sFree(records[i].method_signature);
    }
    sFree(records);
}

int count(const std::vector<std::string> &ops, const std::string &op) {
    return static_cast<int>(std::count(ops.begin(), ops.end(), op));
}

class Instrument : public testing::Test {
protected:
    void SetUp() override {
        PRIFreeClassTables(PRIInstallClassTables(PRINewClassTables()));
        PRIFreeFilters(PRIInstallFilters(PRINewFilters()));
        settings(1);
    }
    void TearDown() override { PRIFreeFilters(PRIInstallFilters(PRINewFilters())); }
    static void settings(int lines) {
        PRIRuntimeSettings s;
        s.instrumentLines = lines;
        PRISetSettings(s);
    }
    // Instruments a copy of the class and hands back the original too.
    ClassPtr instrumented(const std::string &name, ClassPtr *original = nullptr) {
        ClassPtr jclass = shapeClass(name);
        if (original != nullptr) *original = shapeClass(name);
        if (jclass == nullptr) ADD_FAILURE() << name << " does not parse";
        EXPECT_EQ(PRIInstrumentClass(jclass.get(), nullptr, 0), 1);
        return jclass;
    }
};

// A batch's blocks at one offset merge; branches skip the leading blocks
// that ask to be skipped; blocks after the last instruction move nothing; a
// later step moves offsets on from the numbering the batch left.
TEST(InsertionLog, OffsetsMoveThroughBatchesAndLaterSteps) {
    PRIInsertionLog log;
    JCRInsertion blocks[] = {{0, nullptr, 0, JCR_INSERT_SKIP_INSERTED, 0, 10}, {0, nullptr, 0, 0, 0, 4},
                             {2, nullptr, 0, 0, 8, 3}, {5, nullptr, 0, JCR_INSERT_SKIP_INSERTED, 20, 5},
                             {9, nullptr, 0, 0, 40, 7}};
    log.addBatch(blocks, 5, 9);
    log.add(30, 2, false);
    EXPECT_THAT((std::vector<int>{log.instruction(0), log.branchTarget(0), log.instruction(5), log.branchTarget(8),
                                  log.instruction(8), log.branchTarget(20), log.instruction(25),
                                  log.instructionSince(1, 30), log.branchTargetSince(1, 30)}),
                testing::ElementsAre(14, 10, 19, 22, 25, 44, 49, 32, 30));
}

TEST_F(Instrument, ThrowingLoopingNativeAndTinyMethods) {
    ClassPtr original;
    ClassPtr jclass = instrumented("Shapes", &original);
    auto throws = decode(jclass.get(), "onlyThrows");
    EXPECT_EQ(count(throws->ops, "athrow"), 2);  // its own and the handler's
    auto endless = decode(jclass.get(), "endless");
    EXPECT_EQ(count(endless->ops, "invokestatic"), 2);  // entry and handler: no returns
    // A loop back to offset 0 does not run the entry code again.
    auto loop = decode(jclass.get(), "loopsBackToStart");
    int entryEnd = loop->code->exception_table[loop->code->exception_table_length - 1].start_pc;
    int offset = 0;
    for (int i = 0; i < loop->list->count; ++i) {
        const JCRInsn &insn = loop->list->insns[i];
        if (JCROpcodes[insn.opcode].branch_kind == JCR_BRANCH_16) {
            int target = offset + static_cast<int16_t>(insn.operands[0] << 8 | insn.operands[1]);
            if (offset >= entryEnd) {
                EXPECT_GE(target, entryEnd) << "branch at " << offset;
            }
        }
        offset += JCRInsnSize(&insn);
    }
    EXPECT_EQ(JCRFindMemberAttribute(jclass.get(), method(jclass.get(), "nativeMethod"), "Code"), nullptr);
    // Tiny methods get one quick call.
    for (const char *name : {"tiny", "straight24"}) {
        auto after = decode(jclass.get(), name);
        auto before = decode(original.get(), name);
        EXPECT_EQ(after->list->count, before->list->count + 3) << name;
        EXPECT_EQ(after->ops[2], "invokestatic") << name;
        EXPECT_EQ(after->code->max_locals, before->code->max_locals) << name;
        EXPECT_EQ(after->code->exception_table_length, 0) << name;
    }
    EXPECT_EQ(decode(original.get(), "straight24")->list->count, 24);
    EXPECT_EQ(decode(original.get(), "straight25")->list->count, 25);
    for (const char *name : {"straight25", "callsOnce"})  // the entry call keeps its context
        EXPECT_EQ(decode(jclass.get(), name)->ops[3], "dup") << name;
}

TEST_F(Instrument, MethodsWithoutRoomForTheAddedLocalsAreNamed) {
    ClassPtr jclass = shapeClass("Shapes");
    uint8_t *code = JCRFindMemberAttribute(jclass.get(), method(jclass.get(), "callsOnce"), "Code")->info;
    code[2] = 0xFF, code[3] = 0xFD;  // max_locals 65533
    EXPECT_THAT(StderrOf([&] { EXPECT_EQ(PRIInstrumentClass(jclass.get(), nullptr, 0), 1); }),
                testing::HasSubstr("Shapes.callsOnce()I has 65533 locals, too many to add the profiler's; not instrumented\n"));
    EXPECT_NE(decode(jclass.get(), "callsOnce")->ops[0], "getstatic");
}

TEST_F(Instrument, ObjectKeepsItsConstructorAndIgnoredMethodsStayAlone) {
    Bytes bytes = ClassBytesOf(ZV_JAVA_BASE_JMOD, "java/lang/Object");
    ClassPtr object = Parse(bytes), copy = Parse(bytes);
    EXPECT_EQ(PRIInstrumentClass(object.get(), nullptr, 0), 1);
    EXPECT_EQ(decode(object.get(), "<init>")->code->code_length, decode(copy.get(), "<init>")->code->code_length);
    EXPECT_GT(decode(object.get(), "equals")->code->code_length, decode(copy.get(), "equals")->code->code_length);

    // A method carrying the "ZVST$Ignore" attribute is skipped.
    ClassPtr shapes = shapeClass("Shapes");
    JCRMember *ignored = method(shapes.get(), "twoReturns");
    AddAttribute(shapes.get(), ignored, "ZVST$Ignore");
    uint32_t before = decode(shapes.get(), "twoReturns")->code->code_length;
    PRIInstrumentClass(shapes.get(), nullptr, 0);
    EXPECT_EQ(decode(shapes.get(), "twoReturns")->code->code_length, before);
}

// Each method adds only the context members its inserted code calls or
// reads (each constant more costs the VM at every load of the class), and
// the max_stack it gets covers the deepest path through the new code.
TEST_F(Instrument, MethodsAddOnlyTheMembersTheirCodeUsesAndKeepEnoughStack) {
    constexpr uint32_t kCalls = PRIRefBit(PRI_REF_DID_ENTER) | PRIRefBit(PRI_REF_STACK_POINTER) |
                                PRIRefBit(PRI_REF_WILL_EXIT) | PRIRefBit(PRI_REF_EXIT_FRAME);
    struct Case {
        const char *shape, *method;
        int lines;
        uint32_t refs;
    } cases[] = {
        {"Shapes", "tiny", 1, PRIRefBit(PRI_REF_ENTER_EXIT_QUICK)},
        {"Shapes", "callsOnce", 0, kCalls},
        {"Shapes", "twoReturns", 1, kCalls | PRIRefBit(PRI_REF_CALL_STACK)},
        {"Built", "all", 0, kCalls | PRIRefBit(PRI_REF_RESUME_FRAME)},
    };
    for (const Case &c : cases) {
        settings(c.lines);
        ClassPtr jclass = shapeClass(c.shape);
        PRIContextRefs refs;
        for (int32_t &slot : refs.index) slot = -1;
        int32_t first = -1, last = -1;
        ASSERT_EQ(PRIInstrumentMethod(jclass.get(), method(jclass.get(), c.method), 0, 70000, &refs, &first, &last), 1)
            << c.method;
        for (int slot = 0; slot < PRI_REF_COUNT; ++slot) {
            EXPECT_EQ(refs.index[slot] > 0, (c.refs & (1u << slot)) != 0) << c.method << " slot " << slot;
        }
        auto after = decode(jclass.get(), c.method);
        EXPECT_LE(JCRComputeMaxStack(jclass.get(), after->code, after->list), after->code->max_stack) << c.method;
    }
}

TEST_F(Instrument, CanonicalLineTablesKeepTheLastOfAPcAndThinEvenly) {
    ClassPtr jclass = shapeClass("Shapes");
    std::vector<JCRLineEntry> entries = {{0, 10}, {0, 11}, {4, 12}, {9, 13}};
    JCRLineTable table{0, 0, static_cast<uint16_t>(entries.size()), entries.data()};
    uint16_t lines[1000], pcs[1000];
    ASSERT_EQ(PRICanonicalLineTable(jclass.get(), &table, lines, pcs, 0), 3);
    EXPECT_EQ(lines[0], 11);
    EXPECT_EQ(pcs[2], 9);

    std::vector<JCRLineEntry> many;
    for (int i = 0; i < 1000; ++i) many.push_back({static_cast<uint16_t>(i * 3), static_cast<uint16_t>(i + 1)});
    JCRLineTable big{0, 0, 1000, many.data()};
    ASSERT_EQ(PRICanonicalLineTable(jclass.get(), &big, lines, pcs, 200), 200);
    int largestGap = 0;
    for (int i = 1; i < 200; ++i) {
        EXPECT_LT(pcs[i - 1], pcs[i]);
        largestGap = std::max(largestGap, static_cast<int>(lines[i] - lines[i - 1]));
    }
    EXPECT_LE(largestGap, 6) << "kept entries are spread over the whole method";
    EXPECT_LE(lines[0], 6);
    EXPECT_GE(lines[199], 995);
}

TEST_F(Instrument, FiltersGiveGroupIdsAndFlagBits) {
    ScratchDirectory dir;
    std::string path = dir.Write("filters.txt",
        "{ Content = ({ cpu = t; cnd = { PatternList = (\"shapes.Shapes.tiny*\"); } },"
        " { grp = t; cnd = { Name = Switching; PatternList = (\"shapes.Shapes.switches*\"); } },"
        " { eliminate = t; cnd = { PatternList = (\"shapes.Shapes.locked*\"); } }); }");
    StdoutOf([&] { PRILoadFilterFile(path.c_str()); });
    ClassPtr original;
    ClassPtr jclass = instrumented("Shapes", &original);
    JVMPI_Method vm[3] = {{const_cast<char *>("tiny"), const_cast<char *>("(II)I"), 0, 0, nullptr},
                          {const_cast<char *>("switches"), const_cast<char *>("(I)Ljava/lang/String;"), 0, 0, nullptr},
                          {const_cast<char *>("locked"), const_cast<char *>("(I)I"), 0, 0, nullptr}};
    int32_t classID = 0;
    JVMPI_Method *records = PRIMatchLoadedClass("shapes.Shapes", nullptr, 3, vm, &classID);
    ASSERT_NE(records, nullptr);
    auto id = [&](int i) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(records[i].method_id)); };
    EXPECT_EQ(id(0) & 0xF0000000u, PRI_FILTER_IGNORE_CPU);
    EXPECT_EQ(id(1), PRI_FILTER_GROUP | 1u);
    EXPECT_EQ(records[1].start_lineno, -1) << "group methods keep no lines";
    EXPECT_EQ(records[2].start_lineno, 0) << "an eliminated method is not registered";
    EXPECT_EQ(decode(jclass.get(), "locked")->code->code_length, decode(original.get(), "locked")->code->code_length);
    EXPECT_EQ(PRIClassIDOfMethod(id(1)), classID);
    freeRecords(records, 3);
}

TEST_F(Instrument, ClassTablesKeepTheNewestEntryAndTheFirstGroupOwner) {
    ZVHashTable *first = PRIRegisterClass("a/B", reinterpret_cast<JNIEnv *>(8), 1);
    PRIRegisterMethod(first, "m", "()V", 5, 1, 10, 20);
    ZVHashTable *second = PRIRegisterClass("a/B", reinterpret_cast<JNIEnv *>(8), 2);
    PRIRegisterMethod(second, "m", "()V", 6, 2, 11, 21);
    PRIRegisterMethod(second, "g", "()V", 0x80000003u, 2, 1, 2);
    PRIRegisterMethod(PRIRegisterClass("c/D", nullptr, 3), "g", "()V", 0x80000003u, 3, 1, 2);
    EXPECT_EQ(PRIClassIDOfMethod(0x80000003u), 2);
    JVMPI_Method vm[2] = {{const_cast<char *>("m"), const_cast<char *>("()V"), 7, 8, nullptr},
                          {const_cast<char *>("x"), const_cast<char *>("()V"), 7, 8, nullptr}};
    int32_t classID = 0;
    JVMPI_Method *records = PRIMatchLoadedClass("a.B", reinterpret_cast<JNIEnv *>(8), 2, vm, &classID);
    EXPECT_EQ(classID, 2);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(records[0].method_id), 6u);
    EXPECT_EQ(records[0].start_lineno, 11);
    EXPECT_EQ(records[1].start_lineno, 0) << "a method the agent did not see gets lines 0";
    // Consumed: the next load of the class finds no entry and keeps the VM's lines.
    JVMPI_Method *again = PRIMatchLoadedClass("a.B", reinterpret_cast<JNIEnv *>(8), 2, vm, &classID);
    EXPECT_NE(classID, 2);
    EXPECT_EQ(again[0].start_lineno, 7);
    freeRecords(records, 2);
    freeRecords(again, 2);
}

// Drops a class to version 50 without stack maps, so that the VM infers
// types itself.
void downgrade(JCRClass *jclass) {
    jclass->major_version = 50;
    for (int m = 0; m < jclass->methods_count; ++m) {
        JCRMember *member = jclass->methods[m];
        JCRAttribute *codeAttribute = JCRFindMemberAttribute(jclass, member, "Code");
        if (codeAttribute == nullptr) continue;
        JCRCode *code = JCRParseCode(jclass, codeAttribute);
        int kept = 0;
        for (int a = 0; a < code->attributes_count; ++a) {
            if (std::string(JCRUtf8At(jclass, code->attributes[a]->name_index)) == "StackMapTable")
                JCRRelease(&code->arena, code->attributes[a]);
            else
                code->attributes[kept++] = code->attributes[a];
        }
        code->attributes_count = static_cast<uint16_t>(kept);
        for (int a = 0; a < member->attributes_count; ++a)
            if (member->attributes[a] == codeAttribute) member->attributes[a] = JCRWriteCode(jclass, code);
        JCRRelease(&jclass->arena, codeAttribute);
        JCRFreeCode(code);
    }
}

// Instrumented classes dropped to version 50 pass -Xverify:all and print what
// they printed. (As compiled, with their stack maps kept valid, they are run
// the same way through zvtool instrument, registered beside this suite.)
TEST_F(Instrument, InstrumentedOldClassesPassTheVerifierAndBehaveTheSame) {
    std::string java = ZV_JDK_JAVA;
    std::string plain = run(java + " -cp " + ZV_PRI_JAVA_CLASSES + "/shapes shapes.Main");
    EXPECT_NE(plain.find("thrown"), std::string::npos);
    ScratchDirectory dir;
    for (const char *name : {"Shapes", "Main", "Big", "Built"}) {
        ClassPtr jclass = shapeClass(name);
        ASSERT_NE(jclass, nullptr) << name;
        if (std::string(name) != "Built") downgrade(jclass.get());  // Built has invokedynamic
        StderrOf([&] { PRIInstrumentClass(jclass.get(), nullptr, 0); });
        Bytes bytes = Write(jclass.get());
        dir.Write("shapes/" + std::string(name) + ".class", std::string(bytes.begin(), bytes.end()));
    }
    EXPECT_EQ(run(java + " -Xverify:all -Xbootclasspath/a:" + ZV_ZVBCP_JAR + " -cp " + dir.path() + " shapes.Main"),
              plain);
}

}  // namespace
