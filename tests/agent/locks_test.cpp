// Locks on raw monitors: re-entrancy and exclusion between threads for the
// data lock and mutexes, timed waits, and the nesting of GC control.
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "agent/agent_fixture.h"

namespace {

// Holds the lock twice on this thread while another thread provably tries
// to take it: the other gets in only after the second release.
void expectReentrantExclusion(const std::function<void()> &lock, const std::function<void()> &unlock) {
    lock();
    lock();  // the same thread enters again
    std::atomic<bool> attempting{false}, entered{false};
    std::thread other([&] {
        attempting = true;
        lock();
        entered = true;
        unlock();
    });
    while (!attempting) std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // time to get in, were it let in
    EXPECT_FALSE(entered);
    unlock();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(entered) << "still held once";
    unlock();
    other.join();
    EXPECT_TRUE(entered);
}

}  // namespace

TEST_F(AgentTest, DataLockAndMutexesAreReentrantAndExcludeOtherThreads) {
    load();
    expectReentrantExclusion(zviDataLock, zviDataUnlock);
    void *storage = sMalloc(zviMutexSize());
    zviMutexInit(storage);
    expectReentrantExclusion([storage] { zviMutexEnter(storage); }, [storage] { zviMutexExit(storage); });
    zviMonitorDestroy(*static_cast<zviMonitor **>(storage));
    sFree(storage);
}

TEST_F(AgentTest, MonitorWaitTimesOutHoldingTheMonitorAgain) {
    load();
    zviMonitor *monitor = zviMonitorAllocate("test");
    EXPECT_EQ(zviMonitorEnter(monitor), 1);
    EXPECT_EQ(zviMonitorEnter(monitor), 2);
    auto start = std::chrono::steady_clock::now();
    zviMonitorWait(monitor, 100);
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(90)) << "nobody notified: the wait runs to its timeout";
    EXPECT_EQ(monitor->depth, 2);
    std::atomic<bool> entered{false};
    std::thread other([&] {
        zviMonitorEnter(monitor);
        entered = true;
        zviMonitorExit(monitor);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_FALSE(entered) << "the wait gave the monitor back to its owner";
    zviMonitorNotify(monitor);
    zviMonitorExit(monitor);
    zviMonitorExit(monitor);
    other.join();
    EXPECT_TRUE(entered);
    EXPECT_EQ(monitor->depth, 0);
    int before = fake.monitorsAlive();
    zviMonitorDestroy(monitor);
    EXPECT_EQ(fake.monitorsAlive(), before - 1);
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
