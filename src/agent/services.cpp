// The agent core's services in the record handed to extensions.
#include "agent/agent.h"
#include "agent/agent_internal.h"
#include "ext/extensions.h"
#include "pri/runtime/runtime.h"

namespace {

template <typename Function>
ZVWord word(Function function) {
    return reinterpret_cast<ZVWord>(function);
}

// The context services: the calling thread's ZVContext (a local reference,
// null before the runtime's bootstrap), and handing it a context to use.
// A thread without an environment has no context.
jobject getContext(JNIEnv *env) { return env != nullptr ? PRIPrepareThreadContext(env) : nullptr; }
void storeContext(JNIEnv *env, jobject context) {
    if (env != nullptr) PRIStoreThreadContext(env, context);
}

}  // namespace

// Every word but the lock words, which come with the first extension or the
// VM's initialisation (ZVFillServiceLocks). The marker and backtrace services
// answer 0 while the instrumentation runtime is inactive.
void ZVInstallAgentServices() {
    ZVWord *w = ZVGetServices()->words;
    w[ZV_SERVICE_TAG_NINE] = 9;
    w[ZV_SERVICE_TAG_EIGHT] = 8;
    w[ZV_SERVICE_SET_THREAD_STORAGE] = word(zviSetThreadLocalStorage);
    w[ZV_SERVICE_GET_THREAD_STORAGE] = word(zviGetThreadLocalStorage);
    w[ZV_SERVICE_CREATE_SYSTEM_THREAD] = word(zviCreateSystemThread);
    w[ZV_SERVICE_SYSTEM_THREAD_ENV] = word(zviGetJNIEnvForSystemThreadNamed);
    w[ZV_SERVICE_MONITOR_ALLOCATE] = word(zviMonitorAllocate);
    w[ZV_SERVICE_MONITOR_ENTER] = word(zviMonitorEnter);
    w[ZV_SERVICE_MONITOR_EXIT] = word(zviMonitorExit);
    w[ZV_SERVICE_MONITOR_WAIT] = word(zviMonitorWait);
    w[ZV_SERVICE_MONITOR_NOTIFY] = word(zviMonitorNotify);
    w[ZV_SERVICE_PUSH_MARKER] = word(PRIPushMarker);
    w[ZV_SERVICE_POP_MARKER] = word(PRIPopMarker);
    w[ZV_SERVICE_MARKER_EXISTS] = word(PRIMarkerExists);
    w[ZV_SERVICE_ADD_EXTENSION] = word(zviAddExtension);
    w[ZV_SERVICE_HANDLE_FOR_OBJECT] = word(zviHandleForObject);
    w[ZV_SERVICE_MARKER_NAME] = word(PRIMarkerNameForNumber);
    w[ZV_SERVICE_BACKTRACE_PUSH_MARKER] = word(zviGetBacktraceUsingBacktracePushMarker);
    w[ZV_SERVICE_PRIORITIZED_CALL] = word(ZVInvokePrioritizedStaticCall);
    w[ZV_SERVICE_REGISTER_STACK_NAME] = word(PRIRegisterStackName);
    w[ZV_SERVICE_GET_CONTEXT] = word(getContext);
    w[ZV_SERVICE_STORE_CONTEXT] = word(storeContext);
    w[ZV_SERVICE_LIST_DIRECTORY] = word(ZVListToolDirectory);
    w[ZV_SERVICE_CREATE_FILE] = word(ZVCreateToolFile);
    w[ZV_SERVICE_MARKER_DATA] = word(PRIMarkerDataForID);
    w[ZV_SERVICE_GC_INFO] = word(zviGetGCInfo);
    w[ZV_SERVICE_CLASS_COUNT] = word(zviGetClassCountValue);
    w[ZV_SERVICE_ACTIVE_THREAD_COUNT] = word(zviGetActiveThreadCountValue);
    w[ZV_SERVICE_TOTAL_THREAD_COUNT] = word(zviGetTotalThreadCountValue);
}
