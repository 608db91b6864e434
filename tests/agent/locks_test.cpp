// Locks on raw monitors: re-entrancy of the data lock, exclusion between
// threads, mutexes, and the nesting of GC control.
#include <atomic>
#include <chrono>
#include <thread>

#include "agent/agent_fixture.h"

TEST_F(AgentTest, DataLockIsReentrantAndExcludesOtherThreads) {
    load();
    zviDataLock();
    zviDataLock();  // the same thread enters again
    std::atomic<bool> entered{false};
    std::thread other([&] {
        zviDataLock();
        entered = true;
        zviDataUnlock();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(entered);
    zviDataUnlock();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(entered);  // still held once
    zviDataUnlock();
    other.join();
    EXPECT_TRUE(entered);
}

TEST_F(AgentTest, MonitorsCountDepthAndWaitTimesOut) {
    load();
    zviMonitor *monitor = zviMonitorAllocate("test");
    EXPECT_EQ(zviMonitorEnter(monitor), 1);
    EXPECT_EQ(zviMonitorEnter(monitor), 2);
    zviMonitorWait(monitor, 5);
    zviMonitorNotify(monitor);
    zviMonitorExit(monitor);
    zviMonitorExit(monitor);
    EXPECT_EQ(monitor->depth, 0);
    int before = fake.monitorsAlive();
    zviMonitorDestroy(monitor);
    EXPECT_EQ(fake.monitorsAlive(), before - 1);
}

TEST_F(AgentTest, MutexStorageHoldsAMonitor) {
    load();
    ASSERT_EQ(zviMutexSize(), static_cast<int>(sizeof(void *)));
    void *storage = sMalloc(zviMutexSize());
    zviMutexInit(storage);
    zviMutexEnter(storage);
    zviMutexEnter(storage);
    EXPECT_EQ((*static_cast<zviMonitor **>(storage))->depth, 2);
    zviMutexExit(storage);
    zviMutexExit(storage);
    zviMonitorDestroy(*static_cast<zviMonitor **>(storage));
    sFree(storage);
}

// Disabling nests; an unmatched enable drives the counter below zero, so the
// next disable only brings it back to zero.
TEST_F(AgentTest, GCStaysDisabledUntilTheOutermostEnable) {
    load();
    zviDisableGC();
    zviDisableGC();
    zviEnableGC();
    EXPECT_EQ(fake.count("DisableGC"), 1);
    EXPECT_EQ(fake.count("EnableGC"), 0);
    zviEnableGC();
    EXPECT_EQ(fake.count("EnableGC"), 1);
    zviEnableGC();   // counter -1
    zviDisableGC();  // back to 0: the collector is not disabled
    EXPECT_EQ(fake.count("DisableGC"), 1);
    zviDisableGC();
    EXPECT_EQ(fake.count("DisableGC"), 2);
    zviRunGC();
    EXPECT_EQ(fake.count("RunGC"), 1);
}
