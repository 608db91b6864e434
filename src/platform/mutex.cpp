// Recursive mutexes on POSIX threads.
#include "platform/mutex.h"

#include <pthread.h>

#include <new>

struct RecursiveMutex {
    pthread_mutex_t mutex;
};

RecursiveMutex *CreateRecursiveMutex() {
    auto *created = new (std::nothrow) RecursiveMutex;
    if (created == nullptr) return nullptr;
    pthread_mutexattr_t attributes;
    bool ok = pthread_mutexattr_init(&attributes) == 0;
    if (ok) {
        ok = pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE) == 0 &&
             pthread_mutex_init(&created->mutex, &attributes) == 0;
        pthread_mutexattr_destroy(&attributes);
    }
    if (!ok) {
        delete created;
        return nullptr;
    }
    return created;
}

void LockMutex(RecursiveMutex *mutex) {
    if (mutex != nullptr) pthread_mutex_lock(&mutex->mutex);
}

bool TryLockMutex(RecursiveMutex *mutex) { return mutex != nullptr && pthread_mutex_trylock(&mutex->mutex) == 0; }

void UnlockMutex(RecursiveMutex *mutex) {
    if (mutex != nullptr) pthread_mutex_unlock(&mutex->mutex);
}

void DestroyRecursiveMutex(RecursiveMutex *mutex) {
    if (mutex == nullptr) return;
    pthread_mutex_destroy(&mutex->mutex);
    delete mutex;
}
