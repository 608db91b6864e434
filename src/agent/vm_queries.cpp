// Small exported queries about the VM and the agent, and the forwards to
// the thread sampler.
#include "agent/agent_internal.h"
#include "pri/runtime/runtime.h"

JavaVM *zviGetCurrentVM(void) { return ZVState().vm; }

int zviIsInitialized(void) { return zvipi != nullptr; }

int zviSupportsSuspendingThreads(void) { return ZVState().threadsSuspendable; }

int zviSupportsLowLevelSampler(void) { return ZVState().instrumentationActive; }

int zviIsMemoryProfilerDisabled(void) {
    const ZVAgentState &state = ZVState();
    if (state.instrumentationActive == 0) return 0;
    return state.memoryProfilerOptions.enabled == 0;
}

// Nothing in the agent disables QA, so only the inactive case differs.
int zviIsQADisabled(void) { return 0; }

void zviSampleThreads(JNIEnv *sampler, ZVVector *records, int includeIdle) {
    PRISampleThreads(sampler, records, includeIdle);
}

void zviFreeLowLevelBuffer(JNIEnv *env, void *record) { PRIFreeSampleRecord(env, record); }

jint zviDetachCurrentThread(void) {
    JavaVM *vm = ZVState().vm;
    return vm != nullptr ? vm->DetachCurrentThread() : JNI_ERR;
}

unsigned char zviSetExitEnabled(unsigned char flag) {
    ZVState().exitEnabled = flag;
    return flag;
}
