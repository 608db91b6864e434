// The ObjectStreamClass rewrite on javac-compiled stand-ins whose calls are
// missing, and on a class without the method: each says what it could not
// find. (A real VM runs the rewritten Thread and ObjectStreamClass end to end.)
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "capture.h"
#include "class_files.h"
#include "classfile/bytecode.h"
#include "pri/rewrite/instrument.h"

namespace {

constexpr char kUID[] = "(Ljava/lang/Class;)J";

Bytes stub(const char *variant) {
    return ClassBytesOf(std::string(ZV_PRI_JAVA_CLASSES) + "/" + variant, "java/io/ObjectStreamClass");
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

}  // namespace

TEST(SerializationRewrite, OlderUIDMethodMissingCallsAndMissingMethodAreReported) {
    ClassPtr older = Parse(stub("serial_uid_fallback"));
    ASSERT_NE(older, nullptr);
    EXPECT_EQ(StderrOf([&] { EXPECT_EQ(PRIRewriteObjectStreamClass(older.get()), 1); }),
              "Zentrova Pre-Instrumentation error: Could not find call to getInterfaces in ObjectStreamClass.\n"
              "Zentrova Pre-Instrumentation error: Could not find call to hasStaticInitializer in "
              "ObjectStreamClass.\n");
    EXPECT_THAT(listing(older.get(), "computeSerialVersionUID"),
                testing::HasSubstr("astore 1; aload 1; invokestatic ZVContext.filterMethods; astore 1; aload 1;"));

    Bytes object = ClassBytesOf(ZV_JAVA_BASE_JMOD, "java/lang/Object");
    ClassPtr other = Parse(object);
    EXPECT_EQ(StderrOf([&] { EXPECT_EQ(PRIRewriteObjectStreamClass(other.get()), 0); }),
              "Could not find the serialization method within the ObjectStreamClass\n");
    EXPECT_EQ(Write(other.get()), object);
}
