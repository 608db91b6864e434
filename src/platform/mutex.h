// Recursive mutexes: the owning thread may lock again, and must unlock as
// often as it locked.
#pragma once

struct RecursiveMutex;

// Null when the system refuses a mutex or memory runs out.
RecursiveMutex *CreateRecursiveMutex();
// Every operation accepts null and then does nothing (TryLock gives false).
void LockMutex(RecursiveMutex *mutex);
bool TryLockMutex(RecursiveMutex *mutex);
void UnlockMutex(RecursiveMutex *mutex);
// The mutex must not be held.
void DestroyRecursiveMutex(RecursiveMutex *mutex);

// Holds the mutex for the guard's scope.
class MutexGuard {
public:
    explicit MutexGuard(RecursiveMutex *mutex) : mutex_(mutex) { LockMutex(mutex_); }
    ~MutexGuard() { UnlockMutex(mutex_); }
    MutexGuard(const MutexGuard &) = delete;
    MutexGuard &operator=(const MutexGuard &) = delete;

private:
    RecursiveMutex *mutex_;
};
