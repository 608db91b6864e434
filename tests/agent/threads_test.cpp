// The thread registry: registration and replacement, group paths, audit
// threads, per-thread storage, system threads, has-run answers, and the
// registry under many threads at once.
#include <gmock/gmock.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "agent/agent_fixture.h"
#include "agent/recording_handlers.h"

using ::testing::ElementsAre;

class ThreadsTest : public AgentTest {
protected:
    void SetUp() override {
        AgentTest::SetUp();
        load();
    }

    std::vector<JNIEnv *> active() {
        std::vector<JNIEnv *> envs;
        for (JNIEnv **env = zviGetActiveThreads(); *env != nullptr; ++env) envs.push_back(*env);
        return envs;
    }
};

// (Names, group paths and system threads of real threads are checked end to end.)
TEST_F(ThreadsTest, MissingNamesGetDefaultsAndUnknownThreadsNothing) {
    startThread(FakeEnv(2), nullptr);
    EXPECT_STREQ(zviGetThreadName(FakeEnv(2)), "Unknown thread");
    EXPECT_STREQ(zviGetThreadGroupPathForJNIEnv(FakeEnv(2)), "Unknown thread group");
    EXPECT_EQ(zviGetThreadName(FakeEnv(3)), nullptr);
    EXPECT_EQ(zviGetNativeThreadID(FakeEnv(3)), nullptr);
    endThread(FakeEnv(2));
    EXPECT_EQ(zviIsValidJNIEnv(FakeEnv(2)), 0);
    EXPECT_TRUE(active().empty());
    std::string longName(5000, 'x');
    EXPECT_EQ(zviGetJNIEnvForSystemThreadNamed(longName.c_str()), nullptr);
}

TEST_F(ThreadsTest, UnseenParentIsARootUntilMainOrSystemIsSeen) {
    startThread(FakeEnv(9), "z", "early", "orphans");
    EXPECT_STREQ(zviGetThreadGroupPathForJNIEnv(FakeEnv(9)), "orphans~early");
    startThread(FakeEnv(1), "a", "system");
    startThread(FakeEnv(2), "b", "workers", "pool");
    EXPECT_STREQ(zviGetThreadGroupPathForJNIEnv(FakeEnv(2)), "system~pool~workers");
    startThread(FakeEnv(3), "c", "main", "system");
    startThread(FakeEnv(4), "d", "jobs", "queue");
    EXPECT_STREQ(zviGetThreadGroupPathForJNIEnv(FakeEnv(4)), "system~main~queue~jobs");
    startThread(FakeEnv(5), "e", "jobs", "queue");  // the same group again
    EXPECT_STREQ(zviGetThreadGroupPathForJNIEnv(FakeEnv(5)), "system~main~queue~jobs");
}

TEST_F(ThreadsTest, AuditGroupMakesAnAuditThreadUntilItEnds) {
    ZVHandlerTable table = makeRecordingTable();
    table.extensionAdded = nullptr;
    zviSetHandlers(&table);
    startThread(FakeEnv(1), "audit", "__ZVAudit__");
    startThread(FakeEnv(2), "user", "__ZVAudit__x");
    EXPECT_EQ(zviIsAuditThread(FakeEnv(1)), 1);
    EXPECT_EQ(zviIsAuditThread(FakeEnv(2)), 0);
    std::string env1 = std::to_string(reinterpret_cast<uintptr_t>(FakeEnv(1)));
    std::string env2 = std::to_string(reinterpret_cast<uintptr_t>(FakeEnv(2)));
    EXPECT_THAT(recorded().calls, ElementsAre("auditThreadRegistered " + env1, "threadStarted " + env1,
                                              "threadStarted " + env2));
    endThread(FakeEnv(1));
    EXPECT_EQ(zviIsAuditThread(FakeEnv(1)), 0);
    zviSetSamplerThread(FakeEnv(7));
    EXPECT_EQ(zviIsAuditThread(FakeEnv(7)), 1);
}

TEST_F(ThreadsTest, ThreadEndReachesHandlersThenExtensionsAndDropsStorage) {
    static std::vector<std::string> order;
    order.clear();
    ZVHandlerTable table = makeRecordingTable();
    table.threadEnded = [](JNIEnv *env) {
        order.push_back(std::string("table ") + (zviGetThreadName(env) != nullptr ? "registered" : "gone"));
    };
    ZVExtensionRecord ext{};
    ext.threadEnded = [](JNIEnv *env) {
        order.push_back(std::string("extension ") + (zviGetThreadName(env) != nullptr ? "registered" : "gone"));
    };
    addExtension(&ext);
    zviSetHandlers(&table);
    startThread(FakeEnv(1), "t");
    zviSetThreadLocalStorage(FakeEnv(1), 4, 44);
    endThread(FakeEnv(1));
    EXPECT_THAT(order, ElementsAre("table registered", "extension gone"));
    EXPECT_EQ(fake.storage(FakeEnv(1)), nullptr);
}

TEST_F(ThreadsTest, PerThreadStorageIsCreatedOnFirstWriteAndClearedByAStartExceptOnIBM) {
    EXPECT_EQ(zviGetThreadLocalStorage(FakeEnv(1), 3), 0);
    zviSetThreadLocalStorage(FakeEnv(1), 3, 33);
    EXPECT_EQ(zviGetThreadLocalStorage(FakeEnv(1), 3), 33);
    EXPECT_EQ(zviGetThreadLocalStorage(FakeEnv(1), 2), 0);
    zviSetThreadLocalStorage(FakeEnv(1), 21, 5);  // beyond the block: ignored
    zviSetThreadLocalStorage(FakeEnv(1), -1, 5);
    EXPECT_EQ(zviGetThreadLocalStorage(FakeEnv(1), 21), 0);
    auto get = zviGetThreadLocalStorageFunction();
    EXPECT_EQ(static_cast<ZVWord *>(get(FakeEnv(1)))[3], 33);
    // A start clears the storage, except on IBM.
    zviSetThreadLocalStorage(FakeEnv(1), 1, 11);
    void *block = fake.storage(FakeEnv(1));
    startThread(FakeEnv(1), "t");
    EXPECT_EQ(fake.storage(FakeEnv(1)), nullptr);
    sFree(block);
    setFlavor(ZV_VM_IBM);
    zviSetThreadLocalStorage(FakeEnv(2), 1, 22);
    startThread(FakeEnv(2), "t");
    EXPECT_EQ(zviGetThreadLocalStorage(FakeEnv(2), 1), 22);
}

TEST_F(ThreadsTest, HandleToJNIEnvMatchesThreadObjectsWithGCHeldOff) {
    startThread(FakeEnv(1), "a");
    startThread(FakeEnv(2), "b");
    fake.threadObjects[FakeEnv(1)] = FakeID(100);
    fake.threadObjects[FakeEnv(2)] = FakeID(200);
    EXPECT_EQ(zviJNIEnvForThreadHandle(reinterpret_cast<jobject>(200)), FakeEnv(2));
    EXPECT_EQ(zviJNIEnvForThreadHandle(reinterpret_cast<jobject>(300)), nullptr);
    EXPECT_EQ(fake.count("DisableGC"), 2);
    EXPECT_EQ(fake.count("EnableGC"), 2);
    EXPECT_EQ(zviThreadObjectForJNIEnv(FakeEnv(1)), FakeID(100));
}

TEST_F(ThreadsTest, HasRunWithoutNativeThreadsAsksJVMPI) {
    fake.threadHasRun[FakeEnv(1)] = JNI_TRUE;
    EXPECT_EQ(zviThreadHasRun(FakeEnv(1)), 1);
    EXPECT_EQ(zviThreadHasRun(FakeEnv(2)), 0);
    fake.threadStatus[FakeEnv(1)] = JVMPI_THREAD_RUNNABLE | JVMPI_THREAD_INTERRUPTED;
    fake.threadStatus[FakeEnv(2)] = JVMPI_THREAD_RUNNABLE | JVMPI_THREAD_SUSPENDED;
    EXPECT_EQ(zviThreadHasRun2(nullptr, FakeEnv(1), 0, 1), 1);
    EXPECT_EQ(zviThreadHasRun2(nullptr, FakeEnv(2), 0, 1), 0);
}

TEST_F(ThreadsTest, HasRunOnHotspotComparesCpuTime) {
    setFlavor(ZV_VM_HOTSPOT);
    std::mutex mutex;
    std::condition_variable changed;
    int step = 0;  // 1: registered and idle; 2: run again; 3: idle again; 4: end
    auto moveTo = [&](int next, int awaited) {
        std::unique_lock<std::mutex> lock(mutex);
        if (next > 0) step = next;
        changed.notify_all();
        changed.wait(lock, [&] { return awaited == 0 || step == awaited; });
    };
    auto burn = [] {
        volatile uint64_t x = 0;
        for (int i = 0; i < 3000000; ++i) x = x + i;
    };
    std::thread worker([&] {
        startThread(FakeEnv(1), "worker");
        burn();
        moveTo(1, 2);
        burn();
        moveTo(3, 4);
    });
    moveTo(0, 1);
    EXPECT_EQ(zviThreadHasRun2(nullptr, FakeEnv(1), 0, 0), 1);
    EXPECT_EQ(zviThreadHasRun2(nullptr, FakeEnv(1), 0, 0), 0);
    moveTo(2, 3);
    EXPECT_EQ(zviThreadHasRun2(nullptr, FakeEnv(1), 0, 0), 1);
    moveTo(4, 0);
    worker.join();
    EXPECT_EQ(zviThreadHasRun2(nullptr, FakeEnv(9), 0, 0), 0);  // not registered
}

TEST_F(ThreadsTest, FinalizerStartedElsewhereGetsNoHandleOnHotspot) {
    setFlavor(ZV_VM_HOTSPOT);
    startThread(FakeEnv(1), "Finalizer");
    startThread(FakeEnv(2), "Finalizer", "system", "parent");
    EXPECT_EQ(zviGetNativeThreadID(FakeEnv(1)), nullptr);
    EXPECT_NE(zviGetNativeThreadID(FakeEnv(2)), nullptr);
    EXPECT_EQ(zviThreadHasRun2(nullptr, FakeEnv(1), 0, 0), 0);
}

TEST_F(ThreadsTest, AllocationsInsideAListenerAreNotReported) {
    static FakeJVMPI *fakeForHandler = nullptr;
    fakeForHandler = &fake;
    ZVHandlerTable table = makeRecordingTable();
    table.extensionAdded = nullptr;
    table.objectAllocated = [](JNIEnv *env, jobjectID, ZVWord key, jint, jint) {
        recorded().calls.push_back("allocated " + std::to_string(key));
        JVMPI_Event nested{};
        nested.event_type = JVMPI_EVENT_OBJECT_ALLOC;
        nested.env_id = env;
        fakeForHandler->send(nested);  // made by the listener itself
    };
    ZVExtensionRecord ext{};
    ext.objectAllocated = [](JNIEnv *, jobjectID object, jobjectID classID, jint, jint size) {
        recorded().calls.push_back("extension " + std::to_string(reinterpret_cast<uintptr_t>(object)) +
                                   " " + std::to_string(reinterpret_cast<uintptr_t>(classID)) + " " +
                                   std::to_string(size));
    };
    addExtension(&ext);
    zviSetHandlers(&table);
    JVMPI_Event event{};
    event.event_type = JVMPI_EVENT_OBJECT_ALLOC;
    event.env_id = FakeEnv(1);
    event.u.obj_alloc.class_id = FakeID(70);
    event.u.obj_alloc.obj_id = FakeID(71);
    event.u.obj_alloc.size = 24;
    fake.send(event);
    fake.send(event);
    EXPECT_THAT(recorded().calls, ElementsAre("allocated 0", "extension 71 70 24", "allocated 0",
                                              "extension 71 70 24"));
}

TEST_F(ThreadsTest, RegistryStaysConsistentUnderConcurrentStartsAndQueries) {
    constexpr int kWriters = 6, kPerWriter = 150;
    std::atomic<bool> done{false};
    std::vector<std::thread> threads;
    for (int w = 0; w < kWriters; ++w) {
        threads.emplace_back([this, w] {
            for (int i = 0; i < kPerWriter; ++i) {
                JNIEnv *env = FakeEnv(1000 + w * kPerWriter + i);
                std::string group = "group" + std::to_string(i % 7);
                startThread(env, "__ZV__t", group.c_str(), i % 2 ? "main" : nullptr);
                zviSetThreadLocalStorage(env, 12, i);  // a slot no subsystem owns
                if (i % 3 != 0) endThread(env);
            }
        });
    }
    for (int r = 0; r < 2; ++r) {
        threads.emplace_back([&] {
            while (!done) {
                zviDataLock();  // the shared array is read under the lock
                for (JNIEnv **env = zviGetActiveThreads(); *env != nullptr; ++env) {
                    EXPECT_NE(zviGetThreadGroupPathForJNIEnv(*env), nullptr);
                }
                zviDataUnlock();
                zviGetJNIEnvForSystemThreadNamed("t");
                zviIsAuditThread(FakeEnv(1));
            }
        });
    }
    for (int w = 0; w < kWriters; ++w) threads[w].join();
    done = true;
    for (size_t i = kWriters; i < threads.size(); ++i) threads[i].join();
    EXPECT_EQ(active().size(), static_cast<size_t>(kWriters * kPerWriter / 3));
}
