// Locks on raw monitors: the depth kept across a timed wait. (Re-entrancy and
// exclusion are the VM's raw monitors'; the extensions' end-to-end run takes
// the locks through the services.)
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

