// Entry points of extension loading as the agent core calls them. The
// services record is filled with the agent core's own services; loading the
// extension table itself is a stand-in that the extension loader fills in.
#include "ext/extensions.h"

#include "agent/agent.h"
#include "platform/mutex.h"

namespace {

template <typename Function>
ZVWord word(Function function) {
    return reinterpret_cast<ZVWord>(function);
}

void *createLock() { return CreateRecursiveMutex(); }
void enterLock(void *lock) { LockMutex(static_cast<RecursiveMutex *>(lock)); }
void leaveLock(void *lock) { UnlockMutex(static_cast<RecursiveMutex *>(lock)); }

// Words of other subsystems (markers, backtraces, contexts, directory
// services) stay 0 until those subsystems provide them.
ZVServices makeServices() {
    ZVServices services{};
    ZVWord *w = services.words;
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
    w[28] = word(zviGetGCInfo);
    w[29] = word(zviGetClassCountValue);
    w[30] = word(zviGetActiveThreadCountValue);
    w[31] = word(zviGetTotalThreadCountValue);
    return services;
}

ZVServices gServices = makeServices();

}  // namespace

ZVServices *ZVGetServices(void) { return &gServices; }

void ZVFillServiceLocks(void) {
    ZVWord *w = gServices.words;
    if (w[ZV_SERVICE_LOCK_CREATE] != 0) return;
    w[ZV_SERVICE_LOCK_ENTER] = word(enterLock);
    w[ZV_SERVICE_LOCK_LEAVE] = word(leaveLock);
    w[ZV_SERVICE_LOCK_CREATE] = word(createLock);
}

// Stand-in: no extension table is read yet, so no extension is loaded.
void ZVLoadExtensions(SEElement *, SEElement *) {}

// Stand-in: extensions are added only through the agent state for now.
void zviAddExtension(JNIEnv *, SEElement *) {}

void zviInitExtensions(JNIEnv *env) {
    ZVAgentState &state = ZVState();
    for (int i = 0; i < state.extensionCount; ++i) {
        ZVExtensionRecord *record = state.extensions[i];
        if (record != nullptr && record->javaInit != nullptr) record->javaInit(env);
    }
}

int zviGetNumExtensions(void) { return ZVState().extensionCount; }

int zviGetToolID(void) { return 5; }
