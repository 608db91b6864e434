// Native threads: handles, CPU time read from another thread, detached
// threads with names, and best-effort priorities.
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <string>
#include <thread>

#include "platform/clock.h"
#include "platform/thread.h"

namespace {

bool taskExists(int kernelId) { return std::ifstream("/proc/self/task/" + std::to_string(kernelId) + "/comm").good(); }

std::string taskName(int kernelId) {
    std::string name;
    std::getline(std::ifstream("/proc/self/task/" + std::to_string(kernelId) + "/comm"), name);
    return name;
}

void spinFor(int64_t nanos) {
    int64_t end = CurrentThreadCpuTimeNanos() + nanos;
    volatile uint64_t sink = 0;
    while (CurrentThreadCpuTimeNanos() < end) sink = sink + 1;
}

// A detached thread that publishes its handle, then works until told to stop.
struct Worker {
    std::atomic<ThreadHandle *> handle{nullptr};
    std::atomic<bool> spin{false};
    std::atomic<bool> stop{false};
    std::atomic<int> kernelId{0};
    std::atomic<bool> done{false};

    static void run(void *raw) {
        auto *worker = static_cast<Worker *>(raw);
        worker->kernelId = CurrentKernelThreadId();
        worker->handle = OpenCurrentThread();
        while (!worker->stop) {
            if (worker->spin) spinFor(1000000);
            else SleepMillis(1);
        }
        worker->done = true;
    }
    void waitStarted() const {
        while (handle.load() == nullptr) SleepMillis(1);
    }
    // Waits until the kernel has removed the finished thread.
    void finish() {
        stop = true;
        while (!done) SleepMillis(1);
        for (int i = 0; i < 5000 && taskExists(kernelId); i++) SleepMillis(1);
    }
};

}  // namespace

TEST(ThreadHandle, DescribesTheCallingThread) {
    ThreadHandle *handle = OpenCurrentThread();
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(ThreadKernelId(handle), CurrentKernelThreadId());
    EXPECT_TRUE(IsCurrentThread(handle));
    bool elsewhere = true;
    std::thread([&] { elsewhere = IsCurrentThread(handle); }).join();
    EXPECT_FALSE(elsewhere);
    EXPECT_GE(ThreadCpuTimeNanos(handle), 0);
    CloseThreadHandle(handle);
    EXPECT_EQ(ThreadCpuTimeNanos(nullptr), -1);
}

TEST(ThreadHandle, CpuTimeOfABusyThreadGrowsAndAnIdleOneBarely) {
    Worker worker;
    ASSERT_TRUE(StartDetachedThread(Worker::run, &worker, "zv-worker"));
    worker.waitStarted();
    ThreadHandle *handle = worker.handle;
    ASSERT_NE(handle, nullptr);
    EXPECT_NE(ThreadKernelId(handle), CurrentKernelThreadId());
    EXPECT_FALSE(IsCurrentThread(handle));

    int64_t idleStart = ThreadCpuTimeNanos(handle);
    SleepMillis(100);
    int64_t idleUsed = ThreadCpuTimeNanos(handle) - idleStart;
    worker.spin = true;
    int64_t busyStart = ThreadCpuTimeNanos(handle);
    int64_t wallStart = MonotonicNanos();
    while (ThreadCpuTimeNanos(handle) - busyStart < 50000000 && MonotonicNanos() - wallStart < 10000000000) {
        SleepMillis(5);
    }
    int64_t busyUsed = ThreadCpuTimeNanos(handle) - busyStart;
    EXPECT_GE(busyUsed, 50000000);
    EXPECT_LT(idleUsed, busyUsed);

    worker.finish();
    EXPECT_EQ(ThreadCpuTimeNanos(handle), -1);  // the thread is gone
    CloseThreadHandle(handle);
}

TEST(ThreadHandle, DetachedThreadCarriesItsTruncatedName) {
    Worker worker;
    ASSERT_TRUE(StartDetachedThread(Worker::run, &worker, "__ZV__a-rather-long-thread-name"));
    worker.waitStarted();
    EXPECT_EQ(taskName(worker.kernelId), "__ZV__a-rather-");
    worker.finish();
    CloseThreadHandle(worker.handle);
    EXPECT_FALSE(StartDetachedThread(nullptr, nullptr));
}

TEST(ThreadPriority, LoweringIsHonouredAndRefusalsAreSilent) {
    Worker worker;
    ASSERT_TRUE(StartDetachedThread(Worker::run, &worker));
    worker.waitStarted();
    ThreadHandle *handle = worker.handle;
    int original = ThreadPriority(handle);
    ASSERT_NE(original, kThreadPriorityUnknown);
    SetThreadPriority(handle, kThreadPriorityLowest);
    EXPECT_EQ(ThreadPriority(handle), kThreadPriorityLowest);
    // Without privileges this is refused; either way nothing is reported.
    SetThreadPriority(handle, kThreadPriorityTimeCritical);
    int raised = ThreadPriority(handle);
    EXPECT_TRUE(raised == kThreadPriorityLowest || raised == kThreadPriorityTimeCritical) << raised;
    worker.finish();
    EXPECT_EQ(ThreadPriority(nullptr), kThreadPriorityUnknown);
    CloseThreadHandle(handle);
}

TEST(ThreadPriority, ProcessClassNormalKeepsANormalThreadNormal) {
    ThreadHandle *self = OpenCurrentThread();
    int before = ThreadPriority(self);
    SetProcessPriorityClass(ProcessPriorityClass::Normal);
    if (before == kThreadPriorityNormal) {
        EXPECT_EQ(ThreadPriority(self), kThreadPriorityNormal);
    }
    CloseThreadHandle(self);
}
