// Thread-local slots on POSIX thread keys; a reused key reads null in every
// thread, which is what callers of a fresh slot expect.
#include "platform/tls.h"

#include <pthread.h>

#include <climits>

int AllocateThreadSlot() {
    pthread_key_t key;
    if (pthread_key_create(&key, nullptr) != 0) return kNoThreadSlot;
    if (key > static_cast<pthread_key_t>(INT_MAX)) {
        pthread_key_delete(key);
        return kNoThreadSlot;
    }
    return static_cast<int>(key);
}

void FreeThreadSlot(int slot) {
    if (slot >= 0) pthread_key_delete(static_cast<pthread_key_t>(slot));
}

void *ThreadSlotValue(int slot) {
    return slot >= 0 ? pthread_getspecific(static_cast<pthread_key_t>(slot)) : nullptr;
}

bool SetThreadSlotValue(int slot, void *value) {
    return slot >= 0 && pthread_setspecific(static_cast<pthread_key_t>(slot), value) == 0;
}
