// Edited classes in a real JVM: javac classes lose their StackMapTables and
// drop to version 50 (so that HotSpot infers types itself), get calls at
// entry, before every return and probes at every line start, and must then
// pass -Xverify:all and print what the unedited classes print.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

#include "editor_test_support.h"

using namespace editor_test;
namespace fs = std::filesystem;

namespace {

struct JavaRun {
    int status;
    std::string out;
    std::string err;
};

JavaRun runMain(const fs::path &classpath, const fs::path &scratch) {
    fs::path errFile = scratch / "stderr.txt";
    std::string command = std::string(ZV_JDK_JAVA) + " -Xverify:all -cp '" + classpath.string() + "' Main 2>'" +
                          errFile.string() + "'";
    JavaRun run{-1, "", ""};
    FILE *pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return run;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.out.append(buffer, n);
    run.status = pclose(pipe);
    Bytes err = readFile(errFile);
    run.err.assign(err.begin(), err.end());
    return run;
}

// The count that Main prints last on standard error (the JVM may print
// notes before it), or -1.
int hits(const std::string &err) {
    size_t at = err.rfind("hits ");
    return at == std::string::npos ? -1 : std::atoi(err.c_str() + at + 5);
}

// Removes the named attributes from an attribute array.
void dropAttributes(const JCRClass *jclass, JCRAttribute **attributes, uint16_t *count,
                    std::initializer_list<const char *> names) {
    int kept = 0;
    for (int a = 0; a < *count; a++) {
        const char *name = JCRUtf8At(jclass, attributes[a]->name_index);
        bool drop = name != nullptr && std::any_of(names.begin(), names.end(),
                                                   [&](const char *n) { return std::string(n) == name; });
        if (drop)
            sFree(attributes[a]);
        else
            attributes[kept++] = attributes[a];
    }
    *count = static_cast<uint16_t>(kept);
}

int findAttribute(const JCRClass *jclass, JCRAttribute *const *attributes, int count, const char *wanted) {
    for (int a = 0; a < count; a++) {
        const char *name = JCRUtf8At(jclass, attributes[a]->name_index);
        if (name != nullptr && std::string(name) == wanted) return a;
    }
    return -1;
}

struct Probe {
    int64_t offset;
    bool isReturn;  // a return probe goes in before the line probe at the same offset
};

// Instruments one method; false (and the method left as it was) when the
// edited code does not pass the check.
bool instrumentMethod(JCRClass *jclass, JCRMember *member, int hit) {
    int codeIndex = findAttribute(jclass, member->attributes, member->attributes_count, "Code");
    if (codeIndex < 0) return true;
    CodePtr code(JCRParseCode(jclass, member->attributes[codeIndex]));
    EXPECT_NE(code, nullptr);
    if (code == nullptr) return false;
    dropAttributes(jclass, code->attributes, &code->attributes_count, {"StackMapTable"});
    int lineIndex = findAttribute(jclass, code->attributes, code->attributes_count, "LineNumberTable");
    LineTablePtr lines(lineIndex < 0 ? nullptr : JCRParseLineTable(jclass, code->attributes[lineIndex]));
    ListPtr list = decode(code.get());
    EXPECT_NE(list, nullptr);
    if (list == nullptr) return false;

    JCRInsn call;
    JCRMakeOpU16(jclass, &call, JCR_OP_INVOKESTATIC, hit);
    JCRInsn lineProbe[2];
    JCRMakePushInt(jclass, &lineProbe[0], 0);
    JCRMakeOp(&lineProbe[1], JCR_OP_POP);

    std::vector<Probe> probes;
    int64_t offset = 0;
    for (int i = 0; i < list->count; i++) {
        int opcode = list->insns[i].opcode;
        if (opcode >= JCR_OP_IRETURN && opcode <= JCR_OP_RETURN) probes.push_back({offset, true});
        offset += JCRInsnSize(&list->insns[i]);
    }
    for (int l = 0; lines != nullptr && l < lines->count; l++) probes.push_back({lines->entries[l].start_pc, false});
    // Highest offsets first, so that the lower ones still name their instructions.
    std::sort(probes.begin(), probes.end(), [](const Probe &a, const Probe &b) {
        return a.offset != b.offset ? a.offset > b.offset : a.isReturn > b.isReturn;
    });
    for (const Probe &probe : probes) {
        if (probe.isReturn)
            EXPECT_EQ(JCRInsertAtOffset(jclass, list.get(), &call, 1, static_cast<int>(probe.offset), code.get(),
                                        lines.get(), 0),
                      1);
        else
            JCRInsertAtOffset(jclass, list.get(), lineProbe, 2, static_cast<int>(probe.offset), code.get(),
                              lines.get(), 0);
    }
    JCRInsertAt(list.get(), &call, 1, 0, code.get(), lines.get(), JCR_INSERT_SKIP_INSERTED);
    testing::internal::CaptureStderr();
    int rejected = JCRCheckCode(list.get(), 1);
    std::string message = testing::internal::GetCapturedStderr();
    if (rejected) {
        EXPECT_EQ(message, "Detected branch error during instrumentation\n");
        // Keep the method, minus its StackMapTable.
        CodePtr original(JCRParseCode(jclass, member->attributes[codeIndex]));
        dropAttributes(jclass, original->attributes, &original->attributes_count, {"StackMapTable"});
        JCRAttribute *attribute = JCRWriteCode(jclass, original.get());
        sFree(member->attributes[codeIndex]);
        member->attributes[codeIndex] = attribute;
        return false;
    }

    int maxStack = JCRComputeMaxStack(jclass, code.get(), list.get());
    EXPECT_GE(maxStack, code->max_stack) << "probes never lower the depth";
    code->max_stack = static_cast<uint16_t>(maxStack);
    int length = 0;
    uint8_t *bytes = JCREncodeCode(list.get(), &length);
    list.reset();  // its operands point into the old bytes
    sFree(code->code);
    code->code = bytes;
    code->code_length = static_cast<uint32_t>(length);
    if (lines != nullptr) {
        JCRAttribute *table = JCRWriteLineTable(jclass, lines.get());
        sFree(code->attributes[lineIndex]);
        code->attributes[lineIndex] = table;
    }
    JCRAttribute *attribute = JCRWriteCode(jclass, code.get());
    sFree(member->attributes[codeIndex]);
    member->attributes[codeIndex] = attribute;
    return true;
}

}  // namespace

TEST(JvmVerify, EditedClassesVerifyAndComputeTheSameResults) {
    fs::path scratch = fs::temp_directory_path() / ("zv-editor-" + std::to_string(getpid()));
    fs::path edited = scratch / "classes";
    fs::remove_all(scratch);
    fs::create_directories(edited);

    std::set<std::string> rejected;
    int methods = 0;
    for (const NamedBytes &entry : loadClasses({ZV_EDITOR_CLASSES})) {
        ClassPtr jclass(JCRParseClass(entry.second.data(), static_cast<int>(entry.second.size())));
        ASSERT_NE(jclass, nullptr) << entry.first;
        jclass->major_version = 50;
        jclass->minor_version = 0;
        bool isCounter = JCRClassNameIs(jclass.get(), "Counter");
        int hit = isCounter ? 0 : JCRAddMethodref(jclass.get(), "Counter", "hit", "()V");
        for (int m = 0; m < jclass->methods_count; m++) {
            JCRMember *member = jclass->methods[m];
            if (isCounter) {
                int codeIndex = findAttribute(jclass.get(), member->attributes, member->attributes_count, "Code");
                if (codeIndex < 0) continue;
                CodePtr code(JCRParseCode(jclass.get(), member->attributes[codeIndex]));
                dropAttributes(jclass.get(), code->attributes, &code->attributes_count, {"StackMapTable"});
                JCRAttribute *attribute = JCRWriteCode(jclass.get(), code.get());
                sFree(member->attributes[codeIndex]);
                member->attributes[codeIndex] = attribute;
                continue;
            }
            methods++;
            if (!instrumentMethod(jclass.get(), member, hit))
                rejected.insert(std::string(JCRClassName(jclass.get())) + "." + memberName(jclass.get(), member));
        }
        int length = 0;
        uint8_t *bytes = JCRWriteClass(jclass.get(), &length);
        ASSERT_NE(bytes, nullptr);
        writeFile(edited / fs::path(entry.first).filename(), bytes, static_cast<size_t>(length));
        sFree(bytes);
    }
    EXPECT_GT(methods, 30);
    // Only the method whose forward branch is within a few bytes of 32 KB.
    EXPECT_EQ(rejected, std::set<std::string>{"Big.bigBranch"});

    JavaRun plain = runMain(ZV_EDITOR_CLASSES, scratch);
    ASSERT_EQ(plain.status, 0) << plain.err;
    EXPECT_EQ(hits(plain.err), 0) << plain.err;
    JavaRun instrumented = runMain(edited, scratch);
    ASSERT_EQ(instrumented.status, 0) << instrumented.err;
    EXPECT_EQ(instrumented.out, plain.out);
    EXPECT_GT(hits(instrumented.err), 100) << instrumented.err;
    fs::remove_all(scratch);
}
