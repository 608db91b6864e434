// VM-level events in the cases a real VM run does not reach: missing Java
// members and classes, shutdown without exit, unknown types, prioritized calls.
#include <gmock/gmock.h>

#include "capture.h"
#include "agent/agent_fixture.h"
#include "agent/fake_jni.h"
#include "agent/recording_handlers.h"
#include "pri/runtime/context_runtime.h"

using ::testing::ElementsAre;
using ::testing::HasSubstr;

class VMEventsTest : public AgentTest {
protected:
    ZVHandlerTable table = makeRecordingTable();
    void SetUp() override {
        AgentTest::SetUp();
        table.extensionAdded = nullptr;  // so that the calls recorded are the events' own
    }
    FakeJNI jni;

    void vmInitialized() { sendSimple(JVMPI_EVENT_JVM_INIT_DONE, jni.env()); }
};

TEST_F(VMEventsTest, MissingOptionalSetterOrNativeDoesNotStopTheStart) {
    load();
    jni.missing = {"meridyn/audit/Main.setUnitTestMode", "meridyn/audit/Main.setAutoCaptureOptions",
                   "meridyn/audit/Native.installDir"};
    EXPECT_THAT(StderrOf([&] { vmInitialized(); }),
                HasSubstr("Zentrova Error: native method meridyn/audit/Native.installDir()Ljava/lang/String; "
                          "not registered; the class does not declare it\n"));
    EXPECT_THAT(jni.calls, ::testing::Contains("Audit.start(1473,5)"));
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

TEST_F(VMEventsTest, UnknownAndMethodEventsAreRoutedOrIgnored) {
    load();
    sendSimple(JVMPI_EVENT_METHOD_ENTRY2, FakeEnv(1));  // no table yet
    zviEnableMethodsNotifications(1);                    // reaches the table installed next
    zviSetHandlers(&table);
    EXPECT_TRUE(PRIState().enteredHook == table.methodEntered && PRIState().exitedHook == table.methodExited);
    zviEnableMethodsNotifications(0);
    sendSimple(999);
    sendSimple(JVMPI_EVENT_METHOD_ENTRY);  // type 1 is not handled
    sendSimple(JVMPI_EVENT_METHOD_ENTRY2, FakeEnv(1));
    sendSimple(JVMPI_EVENT_METHOD_EXIT, FakeEnv(1));
    std::string env = std::to_string(reinterpret_cast<uintptr_t>(FakeEnv(1)));
    EXPECT_THAT(recorded().calls, ElementsAre("methodEntered " + env, "methodExited " + env));
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

