// Java string creation through JNI, ending the VM when creation leaves a
// Java exception pending.
#include <jni.h>

#include "support/containers.h"

void ZVCheckJNIException(JNIEnv *env, const char *message) {
    if (env == nullptr || env->ExceptionOccurred() == nullptr) return;
    env->ExceptionDescribe();
    env->FatalError(message);
}

jstring ZVAllocateStringUTF(JNIEnv *env, const char *utf8) {
    // NewStringUTF has no defined behaviour for a null text.
    if (env == nullptr || utf8 == nullptr) return nullptr;
    jstring string = env->NewStringUTF(utf8);
    ZVCheckJNIException(env, "ZVAllocateStringUTF");
    return string;
}
