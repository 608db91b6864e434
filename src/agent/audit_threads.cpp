// The set of audit threads: the agent's and the extensions' own Java
// threads, which are left out of profiling.
#include "agent/agent_internal.h"
#include "agent/core.h"

void zviRegisterAuditThread(JNIEnv *env) {
    ZVAgentState &state = ZVState();
    if (env != nullptr && state.auditThreads != nullptr) {
        zviMutexEnter(state.registryMutex);
        ZVIntTablePut(state.auditThreads, reinterpret_cast<ZVWord>(env), reinterpret_cast<ZVWord>(env));
        zviMutexExit(state.registryMutex);
    }
    // Called after the mutex is released: the handler may take the data lock.
    ZVHandlerTable *table = ZVInstalledHandlers();
    if (table != nullptr) table->auditThreadRegistered(env);
}

void zviSetSamplerThread(JNIEnv *env) {
    ZVCore().samplerThread = env;
    zviRegisterAuditThread(env);
}

// The set is read under the registry mutex too: a concurrent insertion may
// be linking a new overflow node.
int zviIsAuditThread(JNIEnv *env) {
    ZVAgentState &state = ZVState();
    if (env == nullptr || state.auditThreads == nullptr) return 0;
    zviMutexEnter(state.registryMutex);
    int found = ZVIntTableGet(state.auditThreads, reinterpret_cast<ZVWord>(env)) != 0;
    zviMutexExit(state.registryMutex);
    return found;
}

void ZVRemoveAuditThread(JNIEnv *env) {
    ZVAgentState &state = ZVState();
    if (env == nullptr || state.auditThreads == nullptr) return;
    zviMutexEnter(state.registryMutex);
    if (ZVIntTableGet(state.auditThreads, reinterpret_cast<ZVWord>(env)) != 0) {
        ZVIntTableRemove(state.auditThreads, reinterpret_cast<ZVWord>(env));
    }
    zviMutexExit(state.registryMutex);
}
