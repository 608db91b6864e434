// The registry of live Java threads, keyed by JNIEnv: registration at thread
// start, removal at thread end, and the exported queries.
#include <cstdio>
#include <cstring>

#include "agent/agent_internal.h"
#include "agent/core.h"
#include "platform/jvmpi_emulation.h"
#include "support/heap.h"

namespace {

// Shared result of zviGetActiveThreads, reused by every call.

const char *const kExcludedPrefixes[] = {"CompileThread0"};

void freeRecord(ZVThreadRecord *record) {
    sFree(record->name);
    sFree(record->groupName);
    if (record->nativeHandle != nullptr) ZVCloseThread(record->nativeHandle);
    sFree(record);
}

// Their start events arrive on another thread, so their handle would be wrong.
bool startsElsewhere(const char *name, const char *parent) {
    if (!ZVTraits().helperThreadsStartElsewhere) return false;
    if (parent != nullptr || name == nullptr) return false;
    return strcmp(name, "Finalizer") == 0 || strcmp(name, "Reference Handler") == 0;
}

}  // namespace

ZVThreadRecord *ZVFindThread(JNIEnv *env) {
    ZVHashTable *threads = ZVState().activeThreads;
    if (threads == nullptr) return nullptr;
    return reinterpret_cast<ZVThreadRecord *>(ZVHashGet(threads, reinterpret_cast<ZVWord>(env)));
}

void ZVRegisterThread(const char *name, const char *group, const char *parent, JNIEnv *env) {
    ZVAgentState &state = ZVState();
    if (ZVTraits().clearsStorageOfStartingThreads) zvipi->SetThreadLocalStorage(env, nullptr);
    zviDataLock();
    const char *groupName = group != nullptr ? group : "Unknown thread group";
    auto *record = static_cast<ZVThreadRecord *>(sMalloc(sizeof(ZVThreadRecord)));
    if (record != nullptr && state.activeThreads != nullptr) {
        memset(record, 0, sizeof(ZVThreadRecord));
        record->env = env;
        record->name = sStrdup(name != nullptr ? name : "Unknown thread");
        record->groupName = sStrdup(groupName);
        record->groupPath = ZVGroupPath(groupName, parent);
        if (!startsElsewhere(name, parent)) {
            record->nativeHandle = ZVDuplicateCurrentThread();
            if (record->nativeHandle == nullptr) fputs("Cannot duplicate current thread handle\n", stderr);
        }
        ZVThreadRecord *old = ZVFindThread(env);
        if (old != nullptr) {
            ZVHashRemove(state.activeThreads, reinterpret_cast<ZVWord>(env));
            freeRecord(old);
        }
        ZVHashPut(state.activeThreads, reinterpret_cast<ZVWord>(env), reinterpret_cast<ZVWord>(record));
    } else {
        sFree(record);
    }
    zviDataUnlock();
    if (group != nullptr && strcmp(group, "__ZVAudit__") == 0) zviRegisterAuditThread(env);
}

void ZVUnregisterThread(JNIEnv *env) {
    ZVAgentState &state = ZVState();
    zviDataLock();
    ZVRemoveAuditThread(env);
    ZVThreadRecord *record = ZVFindThread(env);
    if (record != nullptr) {
        ZVHashRemove(state.activeThreads, reinterpret_cast<ZVWord>(env));
        freeRecord(record);
    }
    zviDataUnlock();
}

int ZVIsExcludedSystemThread(JNIEnv *env) {
    zviDataLock();
    ZVThreadRecord *record = ZVFindThread(env);
    bool excluded = false;
    if (record != nullptr && record->name != nullptr) {
        for (const char *prefix : kExcludedPrefixes) {
            if (strncmp(record->name, prefix, strlen(prefix)) == 0) excluded = true;
        }
    }
    zviDataUnlock();
    return excluded;
}

JNIEnv **zviGetActiveThreads(void) {
    ZVAgentCore &core = ZVCore();
    ZVAgentState &state = core.state;
    JNIEnv **&list = core.activeList;
    int32_t &capacity = core.activeCapacity;
    zviDataLock();
    int count = state.activeThreads != nullptr ? state.activeThreads->count : 0;
    if (list == nullptr || count > capacity) {
        sFree(list);
        capacity = 2 * count + 1;
        list = static_cast<JNIEnv **>(sMalloc((capacity + 1) * static_cast<int>(sizeof(JNIEnv *))));
        if (list == nullptr) capacity = 0;
    }
    if (list != nullptr) {
        int n = 0;
        if (state.activeThreads != nullptr) {
            ZVForEachEntry(state.activeThreads, [&](ZVWord key, ZVWord) {
                if (n < capacity) list[n++] = reinterpret_cast<JNIEnv *>(key);
            });
        }
        list[n] = nullptr;
    }
    JNIEnv **result = list;
    zviDataUnlock();
    return result;
}

void zviSuspendThread(JNIEnv *env) {
    if (ZVState().threadsSuspendable) zvipi->SuspendThread(env);
}

void zviResumeThread(JNIEnv *env) {
    if (ZVState().threadsSuspendable) zvipi->ResumeThread(env);
}

jint zviGetThreadStatus(JNIEnv *env) { return zvipi->GetThreadStatus(env); }

jint zviGetThreadState(JNIEnv *env) {
    switch (JvmpiThreadDetailOf(env)) {
        case JVMPI_DETAIL_RUNNING: return ZV_THREAD_RUNNING;
        case JVMPI_DETAIL_BLOCKED: return ZV_THREAD_BLOCKED;
        case JVMPI_DETAIL_WAITING: return ZV_THREAD_WAITING;
        case JVMPI_DETAIL_SLEEPING: return ZV_THREAD_SLEEPING;
        case JVMPI_DETAIL_NATIVE: return ZV_THREAD_NATIVE;
        default: break;
    }
    // A VM with its own profiler interface says no more than its status.
    switch (zvipi->GetThreadStatus(env) & ~(JVMPI_THREAD_INTERRUPTED | JVMPI_THREAD_SUSPENDED)) {
        case JVMPI_THREAD_MONITOR_WAIT: return ZV_THREAD_BLOCKED;
        case JVMPI_THREAD_CONDVAR_WAIT: return ZV_THREAD_WAITING;
        default: return ZV_THREAD_RUNNING;
    }
}

jlong zviGetThreadCPUTime(JNIEnv *env) {
    zviDataLock();
    ZVThreadRecord *record = ZVFindThread(env);
    uint64_t nanos = 0;
    bool known = record != nullptr && record->nativeHandle != nullptr && ZVThreadCPUNanos(record->nativeHandle, &nanos);
    zviDataUnlock();
    return known ? static_cast<jlong>(nanos) : -1;
}

jlong zviGetCPUTime(void) { return zvipi->GetCurrentThreadCpuTime(); }

int zviIsGreenThreads(void) { return 0; }

JNIEnv *zviGetJNIEnvForSystemThreadNamed(const char *name) {
    char wanted[1024];
    snprintf(wanted, sizeof wanted, "__ZV__%s", name != nullptr ? name : "");
    JNIEnv *found = nullptr;
    zviDataLock();
    ZVHashTable *threads = ZVState().activeThreads;
    if (threads != nullptr) {
        ZVForEachEntry(threads, [&](ZVWord, ZVWord value) {
            auto *record = reinterpret_cast<ZVThreadRecord *>(value);
            if (found == nullptr && record->name != nullptr && strcmp(record->name, wanted) == 0) {
                found = record->env;
            }
        });
    }
    zviDataUnlock();
    return found;
}

const char *zviGetThreadName(JNIEnv *env) {
    zviDataLock();
    ZVThreadRecord *record = ZVFindThread(env);
    const char *name = record != nullptr ? record->name : nullptr;
    zviDataUnlock();
    return name;
}

const char *zviGetThreadGroupPathForJNIEnv(JNIEnv *env) {
    zviDataLock();
    ZVThreadRecord *record = ZVFindThread(env);
    const char *path = record != nullptr ? record->groupPath : nullptr;
    zviDataUnlock();
    return path;
}

void *zviGetNativeThreadID(JNIEnv *env) {
    zviDataLock();
    ZVThreadRecord *record = ZVFindThread(env);
    void *handle = record != nullptr ? record->nativeHandle : nullptr;
    zviDataUnlock();
    return handle;
}

jobjectID zviThreadObjectForJNIEnv(JNIEnv *env) { return zvipi->GetThreadObject(env); }

JNIEnv *zviJNIEnvForThreadHandle(jobject handle) {
    zviDisableGC();
    jobjectID object = zviObjectForHandle(handle);
    JNIEnv *found = nullptr;
    zviDataLock();
    ZVHashTable *threads = ZVState().activeThreads;
    if (threads != nullptr) {
        ZVForEachEntry(threads, [&](ZVWord key, ZVWord) {
            auto *env = reinterpret_cast<JNIEnv *>(key);
            if (found == nullptr && zvipi->GetThreadObject(env) == object) found = env;
        });
    }
    zviDataUnlock();
    zviEnableGC();
    return found;
}

int zviIsVMShuttingDown(void) { return std::atomic_ref(ZVState().vmShuttingDown).load(std::memory_order_relaxed); }

void ZVFreeThreadRegistry(ZVAgentState &state) {
    if (state.activeThreads != nullptr) {
        ZVForEachEntry(state.activeThreads,
                       [](ZVWord, ZVWord value) { freeRecord(reinterpret_cast<ZVThreadRecord *>(value)); });
        ZVHashFree(state.activeThreads);
        state.activeThreads = nullptr;
    }
    ZVFreeThreadGroups(state);
    if (state.auditThreads != nullptr) ZVIntTableFree(state.auditThreads);
    state.auditThreads = nullptr;
}
