// Native threads: handles, detached threads with names, and best-effort
// priorities.
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <string>
#include <thread>

#include "platform/clock.h"
#include "platform/thread.h"

namespace {

std::string taskName(int kernelId) {
    std::string name;
    std::getline(std::ifstream("/proc/self/task/" + std::to_string(kernelId) + "/comm"), name);
    return name;
}

// A detached thread that publishes its handle, then sleeps or spins until told to stop.
struct Worker {
    std::atomic<ThreadHandle *> handle{nullptr};
    std::atomic<bool> spin{false}, stop{false}, done{false};

    static void run(void *raw) {
        auto *worker = static_cast<Worker *>(raw);
        worker->handle = OpenCurrentThread();
        volatile uint64_t sink = 0;
        while (!worker->stop) {
            if (worker->spin) sink = sink + 1;
            else SleepMillis(1);
        }
        worker->done = true;
    }
    ThreadHandle *start(const char *name) {
        if (!StartDetachedThread(run, this, name)) return nullptr;
        while (handle.load() == nullptr) SleepMillis(1);
        return handle;
    }
    // Returns once the kernel has removed the finished thread.
    void finish() {
        stop = true;
        while (!done) SleepMillis(1);
        for (int i = 0; i < 5000 && !taskName(ThreadKernelId(handle)).empty(); i++) SleepMillis(1);
    }
};

}  // namespace

// (CPU time read from another thread, busy or idle, is checked end to end:
// the profiler's CPU split of threads in a real VM.)
TEST(ThreadHandle, NamedThreadHasACpuTimeUntilItIsGone) {
    Worker worker;
    ThreadHandle *handle = worker.start("__ZV__a-rather-long-thread-name");
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(taskName(ThreadKernelId(handle)), "__ZV__a-rather-");
    EXPECT_GE(ThreadCpuTimeNanos(handle), 0);
    worker.finish();
    EXPECT_EQ(ThreadCpuTimeNanos(handle), -1);
    CloseThreadHandle(handle);
}

TEST(ThreadPriority, LoweringIsHonouredAndRefusalsAreSilent) {
    Worker worker;
    ThreadHandle *handle = worker.start(nullptr);
    ASSERT_NE(ThreadPriority(handle), kThreadPriorityUnknown);
    SetThreadPriority(handle, kThreadPriorityLowest);
    EXPECT_EQ(ThreadPriority(handle), kThreadPriorityLowest);
    SetThreadPriority(handle, kThreadPriorityTimeCritical);  // refused unless privileged
    int raised = ThreadPriority(handle);
    EXPECT_TRUE(raised == kThreadPriorityLowest || raised == kThreadPriorityTimeCritical) << raised;
    SetProcessPriorityClass(ProcessPriorityClass::Idle);
    EXPECT_EQ(ThreadPriority(handle), kThreadPriorityIdle);
    worker.finish();
    EXPECT_EQ(ThreadPriority(nullptr), kThreadPriorityUnknown);
    CloseThreadHandle(handle);
}
