// The thread registry: registration and replacement, group paths, audit
// threads, per-thread storage. (Has-run answers, allocations inside a
// listener, and the registry under thousands of threads starting and ending
// while the sampler reads it are checked end to end.)
#include <gmock/gmock.h>

#include "agent/agent_fixture.h"
#include "agent/recording_handlers.h"

using ::testing::ElementsAre;

class ThreadsTest : public AgentTest {
protected:
    void SetUp() override {
        AgentTest::SetUp();
        load();
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
    EXPECT_EQ(zviGetActiveThreads()[0], nullptr);
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

TEST_F(ThreadsTest, PerThreadStorageIsCreatedOnFirstWriteAndClearedByAStart) {
    EXPECT_EQ(zviGetThreadLocalStorage(FakeEnv(1), 3), 0);
    zviSetThreadLocalStorage(FakeEnv(1), 3, 33);
    EXPECT_EQ(zviGetThreadLocalStorage(FakeEnv(1), 3), 33);
    EXPECT_EQ(zviGetThreadLocalStorage(FakeEnv(1), 2), 0);
    zviSetThreadLocalStorage(FakeEnv(1), 21, 5);  // beyond the block: ignored
    zviSetThreadLocalStorage(FakeEnv(1), -1, 5);
    EXPECT_EQ(zviGetThreadLocalStorage(FakeEnv(1), 21), 0);
    auto get = zviGetThreadLocalStorageFunction();
    EXPECT_EQ(static_cast<ZVWord *>(get(FakeEnv(1)))[3], 33);
    // A start clears the storage.
    zviSetThreadLocalStorage(FakeEnv(1), 1, 11);
    void *block = fake.storage(FakeEnv(1));
    startThread(FakeEnv(1), "t");
    EXPECT_EQ(fake.storage(FakeEnv(1)), nullptr);
    sFree(block);
}

TEST_F(ThreadsTest, FinalizerStartedElsewhereGetsNoHandleOnHotspot) {
    setFlavor(ZV_VM_HOTSPOT);
    startThread(FakeEnv(1), "Finalizer");
    startThread(FakeEnv(2), "Finalizer", "system", "parent");
    EXPECT_EQ(zviGetNativeThreadID(FakeEnv(1)), nullptr);
    EXPECT_NE(zviGetNativeThreadID(FakeEnv(2)), nullptr);
    EXPECT_EQ(zviThreadHasRun2(nullptr, FakeEnv(1), 0, 0), 0);
}
