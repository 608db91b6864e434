// Locks on raw monitors: the depth kept across a timed wait, and the nesting
// of GC control. (Re-entrancy and exclusion are the VM's raw monitors'; the
// extensions' end-to-end run takes the locks through the services.)
#include <atomic>
#include <chrono>
#include <thread>

#include "agent/agent_fixture.h"

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
