// Entry points of direct instrumentation and the thread sampler as the agent
// core calls them. Minimal stand-ins until those are built.
#include "pri/runtime.h"

int PRIDirectIEnabledForThreads(JNIEnv *) { return 0; }
void PRIPatchCompiledNative(void *, int, int) {}
void PRISampleThreads(JNIEnv *, ZVVector *, int) {}
void PRIFreeSampleRecord(JNIEnv *, void *) {}
int PRISamplerThreadHasRun(JNIEnv *, JNIEnv *) { return 0; }
