// Recursive mutexes: re-entry by the owner, exclusion of other threads.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/mutex.h"

namespace {

bool lockableElsewhere(RecursiveMutex *mutex) {
    bool locked = false;
    std::thread([&] { locked = TryLockMutex(mutex) && (UnlockMutex(mutex), true); }).join();
    return locked;
}

}  // namespace

TEST(RecursiveMutex, OwnerReentersAndOthersWaitUntilTheLastUnlock) {
    RecursiveMutex *mutex = CreateRecursiveMutex();
    ASSERT_NE(mutex, nullptr);
    LockMutex(mutex);
    {
        MutexGuard guard(mutex);
        EXPECT_TRUE(TryLockMutex(mutex));
        UnlockMutex(mutex);
    }
    EXPECT_FALSE(lockableElsewhere(mutex));
    UnlockMutex(mutex);
    EXPECT_TRUE(lockableElsewhere(mutex));
    DestroyRecursiveMutex(mutex);
    MutexGuard ignored(nullptr);  // a null mutex is accepted and does nothing
}

TEST(RecursiveMutex, NestedGuardsSerialiseIncrementsAcrossThreads) {
    RecursiveMutex *mutex = CreateRecursiveMutex();
    long counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; t++) {
        threads.emplace_back([&] {
            for (int i = 0; i < 20000; i++) {
                MutexGuard outer(mutex);
                long seen = counter;
                MutexGuard inner(mutex);
                counter = seen + 1;
            }
        });
    }
    for (auto &thread : threads) thread.join();
    EXPECT_EQ(counter, 80000);
    DestroyRecursiveMutex(mutex);
}
