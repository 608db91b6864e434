// Per-thread storage: one block of 21 words per thread, attached with the
// profiler interface's thread-local storage and shared by every subsystem.
#include <cstring>

#include "agent/agent_internal.h"
#include "pri/runtime/runtime.h"
#include "support/heap.h"

namespace {
bool validSlot(int slot) { return slot >= 0 && slot < ZV_STORAGE_SLOTS; }
}  // namespace

ZVWord *ZVStorageBlock(JNIEnv *env) {
    return static_cast<ZVWord *>(zvipi->GetThreadLocalStorage(env));
}

ZVWord zviGetThreadLocalStorage(JNIEnv *env, int slot) {
    if (!validSlot(slot)) return 0;
    ZVWord *block = ZVStorageBlock(env);
    return block != nullptr ? block[slot] : 0;
}

ZVGetStorageFunction zviGetThreadLocalStorageFunction(void) {
    return zvipi->GetThreadLocalStorage;
}

void zviSetThreadLocalStorage(JNIEnv *env, int slot, ZVWord value) {
    if (!validSlot(slot)) return;
    ZVWord *block = ZVStorageBlock(env);
    if (block == nullptr) {
        block = static_cast<ZVWord *>(sMalloc(ZV_STORAGE_SLOTS * sizeof(ZVWord)));
        if (block == nullptr) return;
        memset(block, 0, ZV_STORAGE_SLOTS * sizeof(ZVWord));
        block[slot] = value;
        zvipi->SetThreadLocalStorage(env, block);
    } else {
        block[slot] = value;
    }
    if (slot == ZV_SLOT_THREAD) PRISetThreadInfo(env, value);
}

void ZVReleaseStorageBlock(JNIEnv *env) {
    ZVWord *block = ZVStorageBlock(env);
    if (block == nullptr) return;
    zvipi->SetThreadLocalStorage(env, nullptr);
    sFree(block);
}
