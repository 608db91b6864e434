// VM-level events: the VM-initialised start of the Java side, shutdown,
// data-dump requests, GC generations, compiled natives and unknown types.
#include <gmock/gmock.h>

#include <set>
#include <thread>

#include "capture.h"
#include "agent/agent_fixture.h"
#include "agent/fake_jni.h"
#include "agent/recording_handlers.h"

using ::testing::ElementsAre;
using ::testing::HasSubstr;

class VMEventsTest : public AgentTest {
protected:
    // Without extensionAdded, so that the calls below are the events' own.
    ZVHandlerTable table = [] {
        ZVHandlerTable t = makeRecordingTable();
        t.extensionAdded = nullptr;
        return t;
    }();
    FakeJNI jni;

    void vmInitialized() { sendSimple(JVMPI_EVENT_JVM_INIT_DONE, jni.env()); }

    // The calls into the audit classes, without the profiler context's
    // bootstrap (which reads the direct-instrumentation table's inputs).
    std::vector<std::string> auditCalls() const {
        static const std::set<std::string> bootstrap = {
            "System.getProperty(\"java.vendor\")", "System.getProperty(\"java.version\")",
            "System.getProperty(\"java.vm.name\")", "Audit.getDirectInstrumentationTablePath()"};
        std::vector<std::string> calls;
        for (const std::string &call : jni.calls)
            if (call.rfind("ZV", 0) != 0 && bootstrap.count(call) == 0) calls.push_back(call);
        return calls;
    }
};

// (The natives registered are checked against the real classes end to end.)
TEST_F(VMEventsTest, VMInitialisedStartsTheAudit) {
    load();
    vmInitialized();
    // The context bootstrap first, with the direct-instrumentation table's
    // look-ups; memory profiler off (1) and profilers always enabled (4);
    // the context's initDone last.
    EXPECT_THAT(jni.calls, ElementsAre("ZVTime.setUsePreciseTimer(true)",
                                       "ZVContext.VMInitializationDone(false,false)",
                                       "System.getProperty(\"java.vendor\")",
                                       "System.getProperty(\"java.version\")",
                                       "System.getProperty(\"java.vm.name\")",
                                       "Audit.getDirectInstrumentationTablePath()",
                                       "System.getProperty(\"zenva.scanForFreePort\")",
                                       "System.setProperty(\"AUDIT\",\"z2a\")",
                                       "Main.setSNMPAgentPort(161)", "Main.setSNMPTrapPort(162)",
                                       "Audit.start(1473,5)", "ZVContext.initDone()"));
    EXPECT_EQ(ZVState().auditStarted, 1);
}

TEST_F(VMEventsTest, SettersFollowTheOptionsInOrder) {
    testing::internal::CaptureStderr();
    load("port=1500-1510,vmName=box,actionFilename=act,snapshotRepository=repo,startCPUProfiler=true,"
         "acceptConnections=false,enableAPI=true,pause=true,noexit=true,startAudit=true");
    testing::internal::GetCapturedStderr();
    vmInitialized();
    EXPECT_THAT(auditCalls(),
                ElementsAre("System.getProperty(\"zenva.scanForFreePort\")",
                            "System.setProperty(\"zenva.scanForFreePort\",\"1510\")",
                            "System.setProperty(\"AUDIT\",\"z2a\")",
                            "Main.setSnapshotRepository(\"repo\",null,0)",
                            "Main.setCPUProfilerOptions(0,1,50,2,0,true,100000)",
                            "Main.setAcceptConnections(false)", "Main.setVMName(\"box\")",
                            "Main.setSNMPAgentPort(161)", "Main.setSNMPTrapPort(162)",
                            "Main.setActionFilename(\"act\")", "Audit.start(1500,27)"));
}

TEST_F(VMEventsTest, MissingOptionalSetterDoesNotStopTheStart) {
    load();
    jni.missing = {"meridyn/audit/Main.setUnitTestMode", "meridyn/audit/Main.setAutoCaptureOptions"};
    vmInitialized();
    EXPECT_EQ(auditCalls().back(), "Audit.start(1473,5)");
    EXPECT_EQ(ZVState().auditStarted, 1);
}

TEST_F(VMEventsTest, MissingRequiredMemberLeavesTheAuditUnstarted) {
    load();
    jni.missing = {"meridyn/audit/Main.setVMName"};
    EXPECT_THAT(StderrOf([&] { vmInitialized(); }), HasSubstr("startAudit failed."));
    for (const std::string &call : jni.calls) EXPECT_THAT(call, ::testing::Not(HasSubstr("start(")));
    EXPECT_EQ(ZVState().auditStarted, 0);
}

TEST_F(VMEventsTest, MissingSupportClassesEndTheProcess) {
    load();
    jni.missing = {"meridyn/audit/Native"};
    EXPECT_EXIT(vmInitialized(), testing::ExitedWithCode(1),
                "ZV: Zentrova Audit System classes not found. The CLASSPATH should include "
                "zenva.jar \\(1\\)");
    jni.missing = {"meridyn/audit/Audit"};
    EXPECT_EXIT(vmInitialized(), testing::ExitedWithCode(1), "zenva.jar \\(2\\)");
}

TEST_F(VMEventsTest, ShutdownWithExitDisabledWaitsForever) {
    load();
    zviSetHandlers(&table);
    vmInitialized();
    zviSetExitEnabled(0);
    testing::internal::CaptureStderr();
    JVMPI_Event event{};
    event.event_type = JVMPI_EVENT_JVM_SHUT_DOWN;
    event.env_id = jni.env();
    EXPECT_THROW(fake.send(event), FakeJNI::WaitForever);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Exit called. (ignored)\n");
    EXPECT_EQ(jni.calls.back(), "Native.waitForever()");
    EXPECT_EQ(zviIsVMShuttingDown(), 1);
    for (const std::string &call : recorded().calls) EXPECT_NE(call, "vmShutDown");
}

TEST_F(VMEventsTest, ShutdownTellsTheHandlers) {
    load();
    zviSetHandlers(&table);
    sendSimple(JVMPI_EVENT_JVM_SHUT_DOWN, jni.env());
    EXPECT_EQ(zviIsVMShuttingDown(), 1);
    EXPECT_THAT(recorded().calls, ElementsAre("vmShutDown"));
}

// A data-dump request calls its entry twice; GC starts count generations even
// without a table.
TEST_F(VMEventsTest, DataDumpRequestCallsItsEntryTwiceAndGCStartsCountGenerations) {
    load();
    sendSimple(JVMPI_EVENT_DATA_DUMP_REQUEST);  // no table: nothing to call
    sendSimple(JVMPI_EVENT_GC_START);
    EXPECT_EQ(zviGetGCGeneration(), 2);
    zviSetHandlers(&table);
    sendSimple(JVMPI_EVENT_DATA_DUMP_REQUEST | JVMPI_REQUESTED_EVENT);
    sendSimple(JVMPI_EVENT_GC_START);
    sendSimple(JVMPI_EVENT_GC_FINISH);
    EXPECT_EQ(zviGetGCGeneration(), 3);
    EXPECT_THAT(recorded().calls, ElementsAre("dataDumpRequested", "dataDumpRequested", "gcStarted", "gcFinished"));
    table.dataDumpRequested = nullptr;
    sendSimple(JVMPI_EVENT_DATA_DUMP_REQUEST);
    EXPECT_EQ(recorded().calls.size(), 4u);
}

TEST_F(VMEventsTest, UnknownAndMethodEventsAreRoutedOrIgnored) {
    load();
    sendSimple(JVMPI_EVENT_METHOD_ENTRY2, FakeEnv(1));  // no table yet
    zviSetHandlers(&table);
    sendSimple(999);
    sendSimple(JVMPI_EVENT_METHOD_ENTRY);  // type 1 is not handled
    sendSimple(JVMPI_EVENT_METHOD_ENTRY2, FakeEnv(1));
    sendSimple(JVMPI_EVENT_METHOD_EXIT, FakeEnv(1));
    std::string env = std::to_string(reinterpret_cast<uintptr_t>(FakeEnv(1)));
    EXPECT_THAT(recorded().calls, ElementsAre("methodEntered " + env, "methodExited " + env));
}

TEST_F(VMEventsTest, CountersAskTwiceOnlyWhenTheFirstAnswerIsPositive) {
    load();
    EXPECT_EQ(zviGetClassCountValue(), 0);
    zviSetHandlers(&table);
    recorded().countAnswer = 0;
    EXPECT_EQ(zviGetClassCountValue(), 0);
    recorded().countAnswer = 7;
    EXPECT_EQ(zviGetClassCountValue(), 7);
    EXPECT_THAT(recorded().calls, ElementsAre("classCount", "classCount", "classCount"));
}

TEST_F(VMEventsTest, NativesAnswerFromTheAgent) {
    StderrOf([&] { load("port=1500"); });
    vmInitialized();
    ASSERT_GE(jni.nativeFunctions.size(), 8u);  // the audit natives come first
    JNIEnv *env = jni.env();
    jclass native = jni.findClass("meridyn/audit/Native");
    auto intNative = [&](int i) {
        return reinterpret_cast<jint(JNICALL *)(JNIEnv *, jclass)>(jni.nativeFunctions[i])(env, native);
    };
    auto stringNative = [&](int i) {
        return reinterpret_cast<jstring(JNICALL *)(JNIEnv *, jclass)>(jni.nativeFunctions[i])(env, native);
    };
    auto hasStarted = reinterpret_cast<jboolean(JNICALL *)(JNIEnv *, jclass)>(jni.nativeFunctions[4]);
    auto libraryLoaded =
        reinterpret_cast<jboolean(JNICALL *)(JNIEnv *, jclass, jstring)>(jni.nativeFunctions[3]);
    EXPECT_EQ(intNative(0), 5);
    EXPECT_EQ(intNative(1), 1500);
    EXPECT_EQ(FakeJNI::text(stringNative(2)), "port=1500");
    EXPECT_EQ(libraryLoaded(env, native, nullptr), JNI_FALSE);
    EXPECT_EQ(libraryLoaded(env, native, jni.string("libsurely-not-loaded.so")), JNI_FALSE);
    EXPECT_EQ(hasStarted(env, native), JNI_FALSE);
    zviSetHandlers(&table);
    EXPECT_EQ(hasStarted(env, native), JNI_TRUE);
}

TEST_F(VMEventsTest, PrioritizedCallRunsAtOnceOutsideClassic) {
    load();
    jclass clazz = jni.findClass("meridyn/audit/Tasks");
    jmethodID method = jni.staticMethod(clazz, "run", "(Ljava/lang/Object;Z)V");
    ZVInvokePrioritizedStaticCall(jni.env(), clazz, method, nullptr);
    EXPECT_TRUE(jni.calls.empty());
    ZVInvokePrioritizedStaticCall(jni.env(), clazz, method, jni.string("job"));
    EXPECT_THAT(jni.calls, ElementsAre("Tasks.run(\"job\",true)"));
}

// On the Classic VM the call runs on the "ext_request" system thread; the
// service thread never ends, so the case runs in its own process.
TEST_F(VMEventsTest, PrioritizedCallRunsOnTheServiceThreadOnClassic) {
    load();
    setFlavor(ZV_VM_CLASSIC);
    fake.jniEnv = jni.env();
    fake.onCreateSystemThread = [](const char *, jint, void (*function)(void *)) {
        std::thread(function, nullptr).detach();
        return JNI_OK;
    };
    auto serveTwice = [this] {
        jclass clazz = jni.findClass("meridyn/audit/Tasks");
        jmethodID method = jni.staticMethod(clazz, "run", "(Ljava/lang/Object;Z)V");
        ZVInvokePrioritizedStaticCall(jni.env(), clazz, method, jni.string("first"));
        ZVInvokePrioritizedStaticCall(jni.env(), clazz, method, jni.string("second"));
        std::vector<std::string> expected = {"Tasks.run(\"first\",false)", "Tasks.run(\"second\",false)"};
        return jni.calls == expected && fake.count("CreateSystemThread __ZV__ext_request 10") == 1;
    };
    EXPECT_EXIT(exit(serveTwice() ? 0 : 1), testing::ExitedWithCode(0), "");
}
