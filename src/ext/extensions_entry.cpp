// Entry points of extension loading as the agent core calls them, and the
// services record handed to extensions (the agent core fills in its own
// services, so this subsystem does not depend on it). Loading the extension
// table itself is a stand-in that the extension loader fills in.
#include "ext/extensions.h"

#include "platform/mutex.h"

namespace {

template <typename Function>
ZVWord word(Function function) {
    return reinterpret_cast<ZVWord>(function);
}

void *createLock() { return CreateRecursiveMutex(); }
void enterLock(void *lock) { LockMutex(static_cast<RecursiveMutex *>(lock)); }
void leaveLock(void *lock) { UnlockMutex(static_cast<RecursiveMutex *>(lock)); }

ZVServices gServices{};  // the agent core fills in its services at start-up

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

int zviGetToolID(void) { return 5; }
