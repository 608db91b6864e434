// The agent core's services in the record handed to extensions.
#include "agent/agent.h"
#include "agent/agent_internal.h"
#include "ext/extensions.h"
#include "pri/backtraces.h"
#include "pri/runtime.h"

namespace {

template <typename Function>
ZVWord word(Function function) {
    return reinterpret_cast<ZVWord>(function);
}

// The marker and backtrace services of the instrumentation runtime; each
// answers 0 while the runtime is inactive.
void installMarkerServices(ZVWord *w) {
    w[14] = word(PRIPushMarker);
    w[15] = word(PRIPopMarker);
    w[16] = word(PRIMarkerExists);
    w[19] = word(PRIMarkerNameForNumber);
    w[20] = word(zviGetBacktraceUsingBacktracePushMarker);
    w[22] = word(PRIRegisterStackName);
    w[27] = word(PRIMarkerDataForID);
}

// The context services: the calling thread's ZVContext (a local reference,
// null before the runtime's bootstrap), and handing it a context to use.
// A thread without an environment has no context.
jobject getContext(JNIEnv *env) { return env != nullptr ? PRIPrepareThreadContext(env) : nullptr; }
void storeContext(JNIEnv *env, jobject context) {
    if (env != nullptr) PRIStoreThreadContext(env, context);
}

}  // namespace

// The loader's own words (17, 25, 26) are there from the start; the lock
// words (6 to 8) come with the first extension or the VM's initialisation.
void ZVInstallAgentServices() {
    ZVWord *w = ZVGetServices()->words;
    installMarkerServices(w);
    w[0] = 9;
    w[1] = 8;
    w[2] = word(zviSetThreadLocalStorage);
    w[3] = word(zviGetThreadLocalStorage);
    w[4] = word(zviCreateSystemThread);
    w[5] = word(zviGetJNIEnvForSystemThreadNamed);
    w[9] = word(zviMonitorAllocate);
    w[10] = word(zviMonitorEnter);
    w[11] = word(zviMonitorExit);
    w[12] = word(zviMonitorWait);
    w[13] = word(zviMonitorNotify);
    w[17] = word(zviAddExtension);
    w[18] = word(zviHandleForObject);
    w[ZV_SERVICE_PRIORITIZED_CALL] = word(ZVInvokePrioritizedStaticCall);
    w[ZV_SERVICE_GET_CONTEXT] = word(getContext);
    w[ZV_SERVICE_STORE_CONTEXT] = word(storeContext);
    w[28] = word(zviGetGCInfo);
    w[29] = word(zviGetClassCountValue);
    w[30] = word(zviGetActiveThreadCountValue);
    w[31] = word(zviGetTotalThreadCountValue);
}
