// The Thread and ObjectStreamClass rewrites: on the JDK's own java/lang/Thread,
// on javac-compiled stand-ins for java/io/ObjectStreamClass, and through the
// byte-array natives with bad and foreign bytes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "classfile/bytecode.h"
#include "pri/filters.h"
#include "pri/preinstrument.h"
#include "support/heap.h"
#include "zvtool/class_sources.h"

using testing::ElementsAre;
using testing::HasSubstr;

namespace {

using Bytes = std::vector<uint8_t>;
struct FreeClass {
    void operator()(JCRClass *jclass) const { JCRFreeClass(jclass); }
};
using ClassPtr = std::unique_ptr<JCRClass, FreeClass>;

// Read once per test program: the jmod is large.
Bytes jdkClass(const std::string &name) {
    static std::map<std::string, Bytes> cache;
    auto found = cache.find(name);
    if (found != cache.end()) return found->second;
    Bytes bytes;
    EXPECT_TRUE(ReadClass(ZV_JAVA_BASE_JMOD, name, &bytes)) << name;
    return cache[name] = bytes;
}

Bytes stubObjectStreamClass(const char *variant) {
    Bytes bytes;
    EXPECT_TRUE(ReadClass(std::string(ZV_PRI_JAVA_CLASSES) + "/" + variant, "java/io/ObjectStreamClass", &bytes));
    return bytes;
}

ClassPtr parse(const Bytes &bytes) { return ClassPtr(JCRParseClass(bytes.data(), static_cast<int>(bytes.size()))); }

Bytes write(const JCRClass *jclass) {
    int length = 0;
    uint8_t *data = JCRWriteClass(jclass, &length);
    Bytes bytes(data, data + (data == nullptr ? 0 : length));
    sFree(data);
    return bytes;
}

std::string utf8(const JCRClass *jclass, int index) {
    const char *text = JCRUtf8At(jclass, index);
    return text != nullptr ? text : "?";
}

// A Class entry by its name, a member reference as Class.name.
std::string refName(const JCRClass *jclass, int index) {
    const JCRConstant *ref = JCRConstantAt(jclass, index, 0);
    if (ref == nullptr) return "?";
    if (ref->tag == JCR_CONSTANT_Class) return utf8(jclass, ref->index1);
    const JCRConstant *owner = JCRConstantAt(jclass, ref->index1, JCR_CONSTANT_Class);
    const JCRConstant *nameAndType = JCRConstantAt(jclass, ref->index2, JCR_CONSTANT_NameAndType);
    if (owner == nullptr || nameAndType == nullptr) return "?";
    return utf8(jclass, owner->index1) + "." + utf8(jclass, nameAndType->index1);
}

struct MethodCode {
    JCRCode *code = nullptr;
    JCRInsnList *list = nullptr;
    std::vector<std::string> listing;  // "mnemonic operand" per instruction
    ~MethodCode() {
        JCRFreeInsnList(list);
        JCRFreeCode(code);
    }
};

// The method's code with each instruction as text: references by name,
// local indexes of aload/astore in every form, branch offsets.
std::unique_ptr<MethodCode> methodCode(const JCRClass *jclass, const JCRMember *method) {
    auto result = std::make_unique<MethodCode>();
    result->code = JCRParseCode(jclass, JCRFindMemberAttribute(jclass, method, "Code"));
    if (result->code == nullptr || (result->list = JCRDecodeCode(result->code)) == nullptr) return result;
    for (int i = 0; i < result->list->count; i++) {
        const JCRInsn &insn = result->list->insns[i];
        const JCROpcodeInfo &info = JCROpcodes[insn.opcode];
        int u16 = insn.operand_length >= 2 ? (insn.operands[0] << 8) | insn.operands[1] : 0;
        std::string text = info.name;
        if (JCRALoadIndex(jclass, &insn) >= 0)
            text = "aload " + std::to_string(JCRALoadIndex(jclass, &insn));
        else if (JCRAStoreIndex(jclass, &insn) >= 0)
            text = "astore " + std::to_string(JCRAStoreIndex(jclass, &insn));
        else if ((insn.opcode >= JCR_OP_GETSTATIC && insn.opcode <= JCR_OP_INVOKESTATIC) || insn.opcode == 187)
            text += " " + refName(jclass, u16);
        else if (info.branch_kind == JCR_BRANCH_16)
            text += " " + std::to_string(static_cast<int16_t>(u16));
        result->listing.push_back(text);
    }
    return result;
}

const JCRMember *member(const JCRClass *jclass, JCRMember **members, int count, const std::string &name) {
    for (int i = 0; i < count; i++)
        if (utf8(jclass, members[i]->name_index) == name) return members[i];
    return nullptr;
}

// The n instructions after each occurrence of `text`.
std::vector<std::vector<std::string>> following(const std::vector<std::string> &listing, const std::string &text,
                                                size_t n) {
    std::vector<std::vector<std::string>> result;
    for (auto it = listing.begin(); (it = std::find(it, listing.end(), text)) != listing.end(); ++it) {
        auto end = listing.end() - it - 1 < static_cast<long>(n) ? listing.end() : it + 1 + n;
        result.emplace_back(it + 1, end);
    }
    return result;
}

// Byte arrays for the natives: a jbyteArray points at a Bytes owned here.
class FakeArrays {
public:
    FakeArrays() {
        functions_.GetArrayLength = [](JNIEnv *, jarray array) {
            return static_cast<jsize>(reinterpret_cast<Bytes *>(array)->size());
        };
        functions_.GetByteArrayRegion = [](JNIEnv *, jbyteArray array, jsize start, jsize length, jbyte *out) {
            const Bytes &bytes = *reinterpret_cast<Bytes *>(array);
            std::copy_n(bytes.begin() + start, length, out);
        };
        functions_.NewByteArray = [](JNIEnv *env, jsize length) {
            auto *self = reinterpret_cast<FakeArrays *>(reinterpret_cast<char *>(env) - offsetof(FakeArrays, env_));
            self->arrays_.push_back(std::make_unique<Bytes>(length));
            return reinterpret_cast<jbyteArray>(self->arrays_.back().get());
        };
        functions_.SetByteArrayRegion = [](JNIEnv *, jbyteArray array, jsize start, jsize length, const jbyte *in) {
            std::copy_n(in, length, reinterpret_cast<Bytes *>(array)->begin() + start);
        };
        functions_.ExceptionCheck = [](JNIEnv *) -> jboolean { return JNI_FALSE; };
        functions_.ExceptionClear = [](JNIEnv *) {};
        env_.functions = &functions_;
    }
    JNIEnv *env() { return &env_; }
    jbyteArray array(const Bytes &bytes) {
        arrays_.push_back(std::make_unique<Bytes>(bytes));
        return reinterpret_cast<jbyteArray>(arrays_.back().get());
    }
    static const Bytes &bytes(jbyteArray array) { return *reinterpret_cast<Bytes *>(array); }

private:
    JNINativeInterface_ functions_{};
    JNIEnv env_{};
    std::vector<std::unique_ptr<Bytes>> arrays_;
};

}  // namespace

TEST(ThreadRewrite, JdkThreadGetsTwoFieldsAnAccessorAndTheMarkerOnce) {
    ClassPtr thread = parse(jdkClass("java/lang/Thread"));
    ASSERT_NE(thread, nullptr);
    ASSERT_FALSE(PRIIsMarkedInstrumented(thread.get()));
    int fields = thread->fields_count, methods = thread->methods_count;
    ASSERT_EQ(PRIRewriteThreadClass(thread.get()), 1);

    Bytes written = write(thread.get());
    ClassPtr reparsed = parse(written);
    ASSERT_NE(reparsed, nullptr);
    JCRClass *c = reparsed.get();
    EXPECT_TRUE(PRIIsMarkedInstrumented(c));
    EXPECT_GT(JCRFindUtf8(c, "__ZV_PRI_INSTR_1"), 0);
    ASSERT_EQ(c->fields_count, fields + 2);
    ASSERT_EQ(c->methods_count, methods + 1);
    const JCRMember *context = member(c, c->fields, c->fields_count, "__ZV_context_");
    const JCRMember *flag = member(c, c->fields, c->fields_count, "__ZV_PreInstr_");
    const JCRMember *accessor = member(c, c->methods, c->methods_count, "__ZV_getContext_");
    ASSERT_TRUE(context != nullptr && flag != nullptr && accessor != nullptr);
    EXPECT_EQ(context->access_flags, 0x0081);
    EXPECT_EQ(utf8(c, context->descriptor_index), "Lmeridyn/audit/profiler/ZVContext;");
    EXPECT_EQ(flag->access_flags, 0x0089);
    EXPECT_EQ(utf8(c, flag->descriptor_index), "Z");
    EXPECT_EQ(accessor->access_flags, 0x0019);
    EXPECT_EQ(utf8(c, accessor->descriptor_index), "()Lmeridyn/audit/profiler/ZVContext;");
    EXPECT_TRUE(JCRIsSynthetic(c, accessor));
    EXPECT_GT(JCRFindMethodref(c, "meridyn/audit/profiler/ZVContext", "getContext0",
                               "()Lmeridyn/audit/profiler/ZVContext;"), 0);

    auto code = methodCode(c, accessor);
    ASSERT_NE(code->list, nullptr);
    EXPECT_EQ(code->code->max_stack, 4);
    EXPECT_EQ(code->code->max_locals, 0);
    EXPECT_EQ(code->code->code_length, 29u);
    EXPECT_EQ(code->code->exception_table_length, 0);
    EXPECT_EQ(code->code->attributes_count, 0);
    EXPECT_THAT(code->listing,
                ElementsAre("invokestatic java/lang/Thread.currentThread", "getfield java/lang/Thread.__ZV_context_",
                            "dup", "ifnonnull 21", "pop", "invokestatic java/lang/Thread.currentThread", "dup",
                            "new meridyn/audit/profiler/ZVContext", "dup",
                            "invokespecial meridyn/audit/profiler/ZVContext.<init>",
                            "putfield java/lang/Thread.__ZV_context_", "getfield java/lang/Thread.__ZV_context_",
                            "areturn"));

    // Marked classes, in memory or re-read, are refused.
    EXPECT_EQ(PRIRewriteThreadClass(thread.get()), 0);
    EXPECT_EQ(PRIRewriteThreadClass(c), 0);
    EXPECT_EQ(c->fields_count, fields + 2);
    EXPECT_EQ(write(c), written);
}

TEST(ThreadRewrite, OtherClassesAreLeftAlone) {
    Bytes object = jdkClass("java/lang/Object");
    ClassPtr jclass = parse(object);
    ASSERT_NE(jclass, nullptr);
    EXPECT_EQ(PRIRewriteThreadClass(jclass.get()), 0);
    EXPECT_EQ(write(jclass.get()), object);
    EXPECT_EQ(PRIRewriteThreadClass(nullptr), 0);
}

TEST(SerializationRewrite, UIDInputsPassThroughTheFiltersAfterTheLastCalls) {
    Bytes original = stubObjectStreamClass("serial_uid");
    ClassPtr jclass = parse(original);
    ASSERT_NE(jclass, nullptr);
    JCRMember *uid = JCRFindStaticMethod(jclass.get(), "computeDefaultSUID", "(Ljava/lang/Class;)J");
    ASSERT_NE(uid, nullptr);
    auto before = methodCode(jclass.get(), uid);

    testing::internal::CaptureStderr();
    ASSERT_EQ(PRIRewriteObjectStreamClass(jclass.get()), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

    ClassPtr reparsed = parse(write(jclass.get()));
    ASSERT_NE(reparsed, nullptr);
    JCRClass *c = reparsed.get();
    auto after = methodCode(c, JCRFindStaticMethod(c, "computeDefaultSUID", "(Ljava/lang/Class;)J"));
    ASSERT_NE(after->list, nullptr);
    EXPECT_EQ(after->code->max_locals, before->code->max_locals + 1);
    EXPECT_EQ(after->listing.size(), before->listing.size() + 3 + 3 + 2);

    const std::string filters = "invokestatic meridyn/audit/profiler/ZVContext.";
    auto methods = following(after->listing, "invokevirtual java/lang/Class.getDeclaredMethods", 4);
    ASSERT_EQ(methods.size(), 2u);
    EXPECT_THAT(methods[0][1], testing::Not(HasSubstr("filterMethods")));  // only the last call
    const std::string &stored = methods[1][0];
    std::string local = stored.substr(stored.find(' ') + 1);
    EXPECT_THAT(methods[1], ElementsAre("astore " + local, "aload " + local, filters + "filterMethods",
                                        "astore " + local));
    auto interfaces = following(after->listing, "invokevirtual java/lang/Class.getInterfaces", 4);
    ASSERT_EQ(interfaces.size(), 1u);
    local = interfaces[0][0].substr(interfaces[0][0].find(' ') + 1);
    EXPECT_THAT(interfaces[0], ElementsAre("astore " + local, "aload " + local, filters + "filterInterfaces",
                                           "astore " + local));
    auto clinit = following(after->listing, "invokestatic java/io/ObjectStreamClass.hasStaticInitializer", 2);
    ASSERT_EQ(clinit.size(), 1u);
    EXPECT_THAT(clinit[0], ElementsAre("aload 0", filters + "filterHasClassInit"));
    EXPECT_GT(JCRFindMethodref(c, "meridyn/audit/profiler/ZVContext", "filterHasClassInit",
                               "(ZLjava/lang/Class;)Z"), 0);

    // The line table moved with the code: every entry still starts an instruction.
    JCRAttribute *table = nullptr;
    for (int i = 0; i < after->code->attributes_count; i++)
        if (utf8(c, after->code->attributes[i]->name_index) == "LineNumberTable") table = after->code->attributes[i];
    ASSERT_NE(table, nullptr);
    JCRLineTable *lineTable = JCRParseLineTable(c, table);
    ASSERT_GT(lineTable->count, 0);
    for (int i = 0; i < lineTable->count; i++)
        EXPECT_GE(JCRInsnAtOffset(after->list, lineTable->entries[i].start_pc), 0) << i;
    JCRFreeLineTable(lineTable);
}

TEST(SerializationRewrite, OlderUIDMethodMissingCallsAndMissingMethodAreReported) {
    ClassPtr older = parse(stubObjectStreamClass("serial_uid_fallback"));
    ASSERT_NE(older, nullptr);
    testing::internal::CaptureStderr();
    EXPECT_EQ(PRIRewriteObjectStreamClass(older.get()), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Zentrova Pre-Instrumentation error: Could not find call to getInterfaces in ObjectStreamClass.\n"
              "Zentrova Pre-Instrumentation error: Could not find call to hasStaticInitializer in "
              "ObjectStreamClass.\n");
    auto code = methodCode(older.get(),
                           JCRFindStaticMethod(older.get(), "computeSerialVersionUID", "(Ljava/lang/Class;)J"));
    EXPECT_THAT(following(code->listing, "invokevirtual java/lang/Class.getDeclaredMethods", 3),
                ElementsAre(ElementsAre("astore 1", "aload 1",
                                        "invokestatic meridyn/audit/profiler/ZVContext.filterMethods")));

    Bytes object = jdkClass("java/lang/Object");
    ClassPtr other = parse(object);
    testing::internal::CaptureStderr();
    EXPECT_EQ(PRIRewriteObjectStreamClass(other.get()), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Could not find the serialization method within the ObjectStreamClass\n");
    EXPECT_EQ(write(other.get()), object);
}

TEST(PreInstrumentationNatives, RewriteAndMarkerQueriesOnGoodForeignAndBadBytes) {
    FakeArrays jni;
    JNIEnv *env = jni.env();
    Bytes thread = jdkClass("java/lang/Thread");
    jbyteArray rewritten = Java_meridyn_audit_instr_PRINative_instrumentThread0(env, nullptr, jni.array(thread));
    ASSERT_NE(rewritten, nullptr);
    ClassPtr parsed = parse(FakeArrays::bytes(rewritten));
    ASSERT_NE(parsed, nullptr);
    EXPECT_NE(JCRFindStaticMethod(parsed.get(), "__ZV_getContext_", "()Lmeridyn/audit/profiler/ZVContext;"), nullptr);
    EXPECT_TRUE(Java_meridyn_audit_instr_PRINative_isPRIThreadInstrumented0(env, nullptr, rewritten));
    EXPECT_TRUE(Java_meridyn_audit_instr_PreInstrumentation_isPRIObjectStreamInstrumented0(env, nullptr, rewritten));
    EXPECT_FALSE(Java_meridyn_audit_instr_PRINative_isPRIThreadInstrumented0(env, nullptr, jni.array(thread)));
    EXPECT_EQ(Java_meridyn_audit_instr_PRINative_instrumentThread0(env, nullptr, rewritten), nullptr);

    jbyteArray stream = Java_meridyn_audit_instr_DAraraNative_instrumentObjectStream0(
        env, nullptr, jni.array(stubObjectStreamClass("serial_uid")));
    ASSERT_NE(stream, nullptr);
    EXPECT_NE(parse(FakeArrays::bytes(stream)), nullptr);

    Bytes object = jdkClass("java/lang/Object");
    EXPECT_EQ(Java_meridyn_audit_instr_PRINative_instrumentThread0(env, nullptr, jni.array(object)), nullptr);
    testing::internal::CaptureStderr();
    EXPECT_EQ(Java_meridyn_audit_instr_DAraraNative_instrumentObjectStream0(env, nullptr, jni.array(object)),
              nullptr);
    Bytes truncated(thread.begin(), thread.begin() + static_cast<long>(thread.size() / 2));
    EXPECT_EQ(Java_meridyn_audit_instr_PRINative_instrumentThread0(env, nullptr, jni.array(truncated)), nullptr);
    EXPECT_FALSE(Java_meridyn_audit_instr_PRINative_isPRIThreadInstrumented0(env, nullptr, jni.array(truncated)));
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(Java_meridyn_audit_instr_PRINative_instrumentThread0(env, nullptr, jni.array({})), nullptr);
    EXPECT_EQ(Java_meridyn_audit_instr_PRINative_instrumentThread0(env, nullptr, nullptr), nullptr);
    EXPECT_FALSE(Java_meridyn_audit_instr_PRINative_isPRIThreadInstrumented0(env, nullptr, nullptr));
}
