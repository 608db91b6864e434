// The natives through which the Java side applies the Thread and
// ObjectStreamClass rewrites to class bytes and asks whether bytes carry the
// instrumented marker. Bad bytes give null or false; nothing is thrown.
#include <memory>

#include "classfile/classfile.h"
#include "pri/filters/filters.h"
#include "pri/rewrite/instrument.h"
#include "pri/runtime/preinstrument_natives.h"
#include "support/heap.h"

namespace {

struct FreeBytes {
    void operator()(uint8_t *bytes) const { sFree(bytes); }
};
struct FreeClass {
    void operator()(JCRClass *jclass) const { JCRFreeClass(jclass); }
};
using ClassPtr = std::unique_ptr<JCRClass, FreeClass>;

// The class the array holds, or null when it is null, empty or not a class.
ClassPtr parseArray(JNIEnv *env, jbyteArray array) {
    if (array == nullptr) return nullptr;
    jsize length = env->GetArrayLength(array);
    if (length <= 0) return nullptr;
    std::unique_ptr<uint8_t, FreeBytes> bytes(static_cast<uint8_t *>(sMalloc(length)));
    if (bytes == nullptr) return nullptr;
    env->GetByteArrayRegion(array, 0, length, reinterpret_cast<jbyte *>(bytes.get()));
    if (env->ExceptionCheck()) {
        env->ExceptionClear();
        return nullptr;
    }
    return ClassPtr(JCRParseClass(bytes.get(), length));
}

jbyteArray rewriteArray(JNIEnv *env, jbyteArray array, int (*rewrite)(JCRClass *)) {
    ClassPtr jclass = parseArray(env, array);
    if (jclass == nullptr || rewrite(jclass.get()) == 0) return nullptr;
    int length = 0;
    std::unique_ptr<uint8_t, FreeBytes> written(JCRWriteClass(jclass.get(), &length));
    if (written == nullptr) return nullptr;
    jbyteArray result = env->NewByteArray(length);
    if (result != nullptr)
        env->SetByteArrayRegion(result, 0, length, reinterpret_cast<const jbyte *>(written.get()));
    if (env->ExceptionCheck()) {
        env->ExceptionClear();
        return nullptr;
    }
    return result;
}

jboolean isMarked(JNIEnv *env, jbyteArray array) {
    ClassPtr jclass = parseArray(env, array);
    return jclass != nullptr && PRIIsMarkedInstrumented(jclass.get()) ? JNI_TRUE : JNI_FALSE;
}

}  // namespace

jbyteArray JNICALL Java_meridyn_audit_instr_PRINative_instrumentThread0(JNIEnv *env, jclass, jbyteArray classFile) {
    return rewriteArray(env, classFile, PRIRewriteThreadClass);
}

jbyteArray JNICALL Java_meridyn_audit_instr_DAraraNative_instrumentObjectStream0(JNIEnv *env, jclass,
                                                                                 jbyteArray classFile) {
    return rewriteArray(env, classFile, PRIRewriteObjectStreamClass);
}

jboolean JNICALL Java_meridyn_audit_instr_PRINative_isPRIThreadInstrumented0(JNIEnv *env, jclass,
                                                                             jbyteArray classFile) {
    return isMarked(env, classFile);
}

jboolean JNICALL Java_meridyn_audit_instr_PreInstrumentation_isPRIObjectStreamInstrumented0(JNIEnv *env, jclass,
                                                                                           jbyteArray classFile) {
    return isMarked(env, classFile);
}
