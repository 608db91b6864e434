// The natives of the Java class meridyn/audit/Native, registered at VM
// initialisation.
#include <cstdio>

#include "agent/agent_internal.h"
#include "contract/java_contract.h"
#include "config/config.h"
#include "ext/extensions.h"
#include "metrics/metrics.h"
#include "platform/module.h"
#include "support/install_paths.h"

namespace jc = java_contract;

namespace {

jint JNICALL getTool(JNIEnv *, jclass) { return zviGetToolID(); }

jint JNICALL getPort(JNIEnv *, jclass) { return CurrentOptions().auditPort; }

jstring JNICALL getOptions(JNIEnv *env, jclass) {
    const char *text = ZVOptionsText();
    return text != nullptr ? env->NewStringUTF(text) : nullptr;
}

jboolean JNICALL libraryLoaded(JNIEnv *env, jclass, jstring name) {
    if (name == nullptr) return JNI_FALSE;
    const char *chars = env->GetStringUTFChars(name, nullptr);
    if (chars == nullptr) return JNI_FALSE;
    bool loaded = IsModuleLoaded(chars);
    env->ReleaseStringUTFChars(name, chars);
    return loaded ? JNI_TRUE : JNI_FALSE;
}

jboolean JNICALL hasStarted(JNIEnv *, jclass) {
    return ZVInstalledHandlers() != nullptr ? JNI_TRUE : JNI_FALSE;
}

jstring JNICALL installDir(JNIEnv *env, jclass) {
    const char *directory = GetInstallPath(zviGetToolID());
    return directory != nullptr ? env->NewStringUTF(directory) : nullptr;
}

void JNICALL metricsLoop(JNIEnv *env, jclass) { runMetricsLoop(env); }

void JNICALL prioritizedSystemThread(JNIEnv *, jclass) { ZVRunPrioritizedService(); }

char *text(const char *constant) { return const_cast<char *>(constant); }

}  // namespace

void ZVRegisterNativeMethods(JNIEnv *env, jclass nativeClass) {
    JNINativeMethod methods[] = {
        {text(jc::kGetTool.name), text(jc::kGetTool.descriptor), reinterpret_cast<void *>(getTool)},
        {text(jc::kGetPort.name), text(jc::kGetPort.descriptor), reinterpret_cast<void *>(getPort)},
        {text(jc::kGetOptions.name), text(jc::kGetOptions.descriptor), reinterpret_cast<void *>(getOptions)},
        {text(jc::kLibraryLoaded.name), text(jc::kLibraryLoaded.descriptor), reinterpret_cast<void *>(libraryLoaded)},
        {text(jc::kHasStarted.name), text(jc::kHasStarted.descriptor), reinterpret_cast<void *>(hasStarted)},
        {text(jc::kInstallDir.name), text(jc::kInstallDir.descriptor), reinterpret_cast<void *>(installDir)},
        {text(jc::kRunMetricsLoop.name), text(jc::kRunMetricsLoop.descriptor), reinterpret_cast<void *>(metricsLoop)},
        {text(jc::kInvokePrioritizedSystemThread.name), text(jc::kInvokePrioritizedSystemThread.descriptor),
         reinterpret_cast<void *>(prioritizedSystemThread)},
    };
    // One at a time: a class without one of them (an older zenva.jar) keeps
    // the others, and the user learns which one is missing rather than
    // meeting the pending error at some later, unrelated check.
    for (const JNINativeMethod &method : methods) {
        if (env->RegisterNatives(nativeClass, &method, 1) == JNI_OK) continue;
        env->ExceptionClear();
        fprintf(stderr, "Zentrova Error: native method %s.%s%s not registered; the class does not declare it\n",
                jc::kNativeClass, method.name, method.signature);
    }
}
