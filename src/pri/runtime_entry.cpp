// Entry points of direct instrumentation as the agent core calls them.
// Minimal stand-ins until those are built.
#include "pri/runtime.h"

int PRIDirectIEnabledForThreads(JNIEnv *) { return 0; }
void PRIPatchCompiledNative(void *, int, int) {}
