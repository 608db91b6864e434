// Whether a thread has run since it was last asked: from the sampler's mark,
// else from the thread's CPU time on VMs with native threads, else from
// JVMPI's own answer.
#include "agent/agent_internal.h"
#include "pri/runtime/runtime.h"

unsigned char zviThreadHasRun2(JNIEnv *sampler, JNIEnv *env, int useSampler, int useStatus) {
    if (useSampler != 0 && PRISamplerThreadHasRun(sampler, env) == 1) return 1;
    if (!ZVTraits().cpuTimeShowsRun) {
        if (useStatus == 0) return zvipi->ThreadHasRun(env) != 0;
        return (zvipi->GetThreadStatus(env) & ~JVMPI_THREAD_INTERRUPTED) == JVMPI_THREAD_RUNNABLE;
    }
    zviDataLock();
    unsigned char hasRun = 0;
    ZVThreadRecord *record = ZVFindThread(env);
    uint64_t time = 0;
    if (record != nullptr && record->nativeHandle != nullptr &&
        ZVThreadUserTime(record->nativeHandle, &time)) {
        // The sum of both halves, wrapping at 32 bits, is what is compared.
        uint32_t sum = static_cast<uint32_t>(time) + static_cast<uint32_t>(time >> 32);
        hasRun = sum != record->lastCpuSum;
        record->lastCpuSum = sum;
    }
    zviDataUnlock();
    return hasRun;
}

unsigned char zviThreadHasRun(JNIEnv *env) { return zviThreadHasRun2(nullptr, env, 1, 0); }

void zviInitThreadHasRun(JNIEnv *sampler) {
    zviDataLock();
    for (JNIEnv **env = zviGetActiveThreads(); env != nullptr && *env != nullptr; ++env) {
        if (zviIsAuditThread(*env)) continue;
        zviThreadHasRun2(sampler, *env, 1, 0);
        zviThreadHasRun2(sampler, *env, 0, 0);
    }
    zviDataUnlock();
}

void zviEnableMethodsNotifications(int flag) {
    ZVState().methodNotifications = flag;
    ZVHandlerTable *table = ZVInstalledHandlers();
    PRISetMethodNotifications(flag, table != nullptr ? table->methodEntered : nullptr,
                              table != nullptr ? table->methodExited : nullptr);
}
