// Entry points of the instrumentation runtime as the agent core calls them.
// Minimal stand-ins: the runtime, direct instrumentation and the sampler
// fill them in with the real work.
#include "pri/runtime.h"
#include "pri/runtime_settings.h"

namespace {
PRIRuntimeSettings settings;
}

const PRIRuntimeSettings &PRISettings() { return settings; }
void PRISetSettings(const PRIRuntimeSettings &newSettings) { settings = newSettings; }

void PRIInitialize(JavaVM *, int, int, int, int instrumentLines, int debugInstrumentation,
                   const char *debugClass, const char *debugMethod) {
    settings.instrumentLines = instrumentLines;
    settings.debugInstrumentation = debugInstrumentation;
    settings.debugClassInstrumentation = debugClass;
    settings.debugMethodInstrumentation = debugMethod;
}
void PRIBootstrapContextClass(JNIEnv *, int, int) {}
void PRICallInitDone(JNIEnv *) {}
void PRINotifyVMExiting(JNIEnv *) {}
void PRIThreadEnded(JNIEnv *) {}
int PRIIsBootstrapDone(void) { return 0; }
jobject PRIPrepareThreadContext(JNIEnv *) { return nullptr; }
void PRISetThreadInfo(JNIEnv *, ZVWord) {}
int PRIDirectIEnabledForThreads(JNIEnv *) { return 0; }
void PRIPatchCompiledNative(void *, int, int) {}
void PRISetMethodNotifications(int, PRIMethodEnteredHook, PRIMethodExitedHook) {}
void PRIConnect(ZVWord) {}
void PRISampleThreads(JNIEnv *, ZVVector *, int) {}
void PRIFreeSampleRecord(JNIEnv *, void *) {}
int PRISamplerThreadHasRun(JNIEnv *, JNIEnv *) { return 0; }
