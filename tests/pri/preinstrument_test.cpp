// The Thread and ObjectStreamClass rewrites on the JDK's own java/lang/Thread
// and on javac-compiled stand-ins for java/io/ObjectStreamClass. (A real VM
// runs the rewritten Thread and the natives in the end-to-end tests.)
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "capture.h"
#include "class_helpers.h"
#include "classfile/bytecode.h"
#include "pri/filters.h"
#include "pri/preinstrument.h"

namespace {

constexpr char kUID[] = "(Ljava/lang/Class;)J";

Bytes stub(const char *variant) {
    return classBytes(std::string(ZV_PRI_JAVA_CLASSES) + "/" + variant, "java/io/ObjectStreamClass");
}

// The method's code as "name; name; ...": invokes as Class.method (class
// without package), every form of aload/astore as "aload N"/"astore N".
std::string listing(const JCRClass *jclass, const char *method, JCRCode **kept = nullptr) {
    JCRCode *code = JCRParseCode(jclass, JCRFindMemberAttribute(jclass, JCRFindStaticMethod(jclass, method, kUID), "Code"));
    JCRInsnList *list = code != nullptr ? JCRDecodeCode(code) : nullptr;
    std::string text;
    for (int i = 0; list != nullptr && i < list->count; i++) {
        const JCRInsn *insn = &list->insns[i];
        const JCRConstant *ref = JCRConstantAt(jclass, insn->operand_length >= 2 ? (insn->operands[0] << 8) | insn->operands[1] : 0, 0);
        if (JCRALoadIndex(jclass, insn) >= 0) text += "aload " + std::to_string(JCRALoadIndex(jclass, insn));
        else if (JCRAStoreIndex(jclass, insn) >= 0) text += "astore " + std::to_string(JCRAStoreIndex(jclass, insn));
        else text += JCROpcodes[insn->opcode].name;
        if (insn->opcode >= JCR_OP_INVOKEVIRTUAL && insn->opcode <= JCR_OP_INVOKESTATIC && ref != nullptr) {
            std::string owner = JCRUtf8At(jclass, JCRConstantAt(jclass, ref->index1, 0)->index1);
            text += " " + owner.substr(owner.rfind('/') + 1) + "." +
                    JCRUtf8At(jclass, JCRConstantAt(jclass, ref->index2, 0)->index1);
        }
        text += "; ";
    }
    JCRFreeInsnList(list);
    if (kept != nullptr) *kept = code;
    else JCRFreeCode(code);
    return text;
}

// Whether the result of the last `call` is stored, reloaded, filtered and
// stored again into the same local.
bool filteredAfterLast(const std::string &code, const std::string &call, const std::string &filter) {
    size_t at = code.rfind(call + "; astore ");
    if (at == std::string::npos) return false;
    size_t store = at + call.size() + 2;
    std::string local = code.substr(store + 7, code.find(';', store) - store - 7);
    std::string expected = "astore " + local + "; aload " + local + "; invokestatic ZVContext." + filter +
                           "; astore " + local + "; ";
    return code.compare(store, expected.size(), expected) == 0;
}

}  // namespace

TEST(ThreadRewrite, JdkThreadGetsTwoFieldsAnAccessorAndTheMarkerOnce) {
    ClassPtr thread = parse(classBytes(ZV_JAVA_BASE_JMOD, "java/lang/Thread"));
    ASSERT_NE(thread, nullptr);
    int fields = thread->fields_count, methods = thread->methods_count;
    ASSERT_EQ(PRIRewriteThreadClass(thread.get()), 1);
    Bytes written = write(thread.get());
    ClassPtr again = parse(written);
    ASSERT_NE(again, nullptr);
    EXPECT_GT(JCRFindUtf8(again.get(), "__ZV_PRI_INSTR_1"), 0);
    EXPECT_EQ(again->fields_count, fields + 2);
    ASSERT_EQ(again->methods_count, methods + 1);
    const JCRMember *accessor = again->methods[methods];
    EXPECT_EQ(JCRFindStaticMethod(again.get(), "__ZV_getContext_", "()Lmeridyn/audit/profiler/ZVContext;"), accessor);
    EXPECT_TRUE(JCRIsSynthetic(again.get(), accessor));
    JCRCode *code = JCRParseCode(again.get(), JCRFindMemberAttribute(again.get(), accessor, "Code"));
    ASSERT_NE(code, nullptr);
    EXPECT_TRUE(code->code_length == 29 && code->max_stack == 4 && code->max_locals == 0);
    JCRFreeCode(code);

    EXPECT_EQ(PRIRewriteThreadClass(thread.get()), 0);  // marked: refused, in memory and re-read
    EXPECT_EQ(PRIRewriteThreadClass(again.get()), 0);
    EXPECT_EQ(write(again.get()), written);
    Bytes object = classBytes(ZV_JAVA_BASE_JMOD, "java/lang/Object");
    ClassPtr other = parse(object);
    EXPECT_EQ(PRIRewriteThreadClass(other.get()), 0);
    EXPECT_EQ(write(other.get()), object);
}

TEST(SerializationRewrite, UIDInputsPassThroughTheFiltersAfterTheLastCalls) {
    ClassPtr stream = parse(stub("serial_uid"));
    ASSERT_NE(stream, nullptr);
    JCRCode *before = nullptr;
    listing(stream.get(), "computeDefaultSUID", &before);
    testing::internal::CaptureStderr();
    ASSERT_EQ(PRIRewriteObjectStreamClass(stream.get()), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    ClassPtr again = parse(write(stream.get()));
    ASSERT_NE(again, nullptr);
    JCRCode *after = nullptr;
    std::string code = listing(again.get(), "computeDefaultSUID", &after);
    EXPECT_EQ(after->max_locals, before->max_locals + 1);
    // Only the second of the two getDeclaredMethods calls is filtered.
    EXPECT_THAT(code, testing::HasSubstr("Class.getDeclaredMethods; astore 1; aload 1; arraylength; "));
    EXPECT_TRUE(filteredAfterLast(code, "Class.getDeclaredMethods", "filterMethods")) << code;
    EXPECT_TRUE(filteredAfterLast(code, "Class.getInterfaces", "filterInterfaces")) << code;
    EXPECT_THAT(code, testing::HasSubstr("aload 0; invokestatic ObjectStreamClass.hasStaticInitializer; "
                                         "aload 0; invokestatic ZVContext.filterHasClassInit; ifeq"));
    // The line table moved with the code: every entry still starts an instruction.
    JCRInsnList *list = JCRDecodeCode(after);
    for (int i = 0; i < after->attributes_count; i++) {
        if (std::string(JCRUtf8At(again.get(), after->attributes[i]->name_index)) != "LineNumberTable") continue;
        JCRLineTable *table = JCRParseLineTable(again.get(), after->attributes[i]);
        EXPECT_GT(table->count, 3);
        for (int e = 0; e < table->count; e++) EXPECT_GE(JCRInsnAtOffset(list, table->entries[e].start_pc), 0);
        JCRFreeLineTable(table);
    }
    JCRFreeInsnList(list);
    JCRFreeCode(before);
    JCRFreeCode(after);
}

TEST(SerializationRewrite, OlderUIDMethodMissingCallsAndMissingMethodAreReported) {
    ClassPtr older = parse(stub("serial_uid_fallback"));
    ASSERT_NE(older, nullptr);
    EXPECT_EQ(StderrOf([&] { EXPECT_EQ(PRIRewriteObjectStreamClass(older.get()), 1); }),
              "Zentrova Pre-Instrumentation error: Could not find call to getInterfaces in ObjectStreamClass.\n"
              "Zentrova Pre-Instrumentation error: Could not find call to hasStaticInitializer in "
              "ObjectStreamClass.\n");
    EXPECT_THAT(listing(older.get(), "computeSerialVersionUID"),
                testing::HasSubstr("astore 1; aload 1; invokestatic ZVContext.filterMethods; astore 1; aload 1;"));

    Bytes object = classBytes(ZV_JAVA_BASE_JMOD, "java/lang/Object");
    ClassPtr other = parse(object);
    EXPECT_EQ(StderrOf([&] { EXPECT_EQ(PRIRewriteObjectStreamClass(other.get()), 0); }),
              "Could not find the serialization method within the ObjectStreamClass\n");
    EXPECT_EQ(write(other.get()), object);
}
