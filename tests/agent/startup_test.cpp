// Start-up: the JVMPI handshake, the state it creates, the events it enables
// and their order, and the refusal of a second load.
#include <gmock/gmock.h>

#include <algorithm>

#include "capture.h"
#include "agent/agent_fixture.h"

using ::testing::ElementsAre;
using ::testing::HasSubstr;

TEST_F(AgentTest, CreatesStateThenEnablesEventsInStartupOrder) {
    load();
    EXPECT_THAT(fake.enabledEvents(),
                ElementsAre(JVMPI_EVENT_CLASS_LOAD, JVMPI_EVENT_CLASS_UNLOAD, JVMPI_EVENT_THREAD_START,
                            JVMPI_EVENT_THREAD_END, JVMPI_EVENT_CLASS_LOAD_HOOK,
                            JVMPI_EVENT_JVM_INIT_DONE, JVMPI_EVENT_JVM_SHUT_DOWN,
                            JVMPI_EVENT_DATA_DUMP_REQUEST, JVMPI_EVENT_COMPILED_METHOD_LOAD));
    EXPECT_EQ(zviGetGCGeneration(), 1);
    EXPECT_EQ(zviIsMemoryProfilerDisabled(), 1);
    ZVAgentState &state = ZVState();
    EXPECT_EQ(zviIsInitialized(), 1);
    EXPECT_EQ(zviGetCurrentVM(), fake.vm());
    EXPECT_EQ(zvipi, fake.interface());
    EXPECT_EQ(state.jvmpiVersion, JVMPI_VERSION_1_1);
    EXPECT_NE(zvipi->NotifyEvent, nullptr);
    ASSERT_NE(state.dataLock, nullptr);
    // The data lock is created before the registry mutex, and both before events.
    std::vector<std::string> calls = fake.calls();
    auto at = [&](const std::string &call) {
        return std::find(calls.begin(), calls.end(), call) - calls.begin();
    };
    EXPECT_LT(at("RawMonitorCreate ZVI_LOCK"), at("RawMonitorCreate "));
    EXPECT_LT(at("RawMonitorCreate "), at("EnableEvent 42"));
    EXPECT_EQ(zviHandleForObject(FakeID(77)), reinterpret_cast<jobject>(77));
}


TEST_F(AgentTest, DirectInstrumentationOffNeverEnablesCompiledMethodLoad) {
    StderrOf([&] { load("directi=false"); });
    for (jint event : fake.enabledEvents()) EXPECT_NE(event, JVMPI_EVENT_COMPILED_METHOD_LOAD);
    EXPECT_EQ(ZVState().directIMode, 0);
}

// A refused option is reported and leaves its default; the VM still starts.
TEST_F(AgentTest, RefusedOptionsAreReportedAndStartUpGoesOn) {
    EXPECT_THAT(StderrOf([&] { load("port=15x0"); }),
                HasSubstr("Invalid value for port: '15x0' (expected a whole number from 1 to 65535)\n"
                          "Zentrova Error: options refused (see above); their defaults are used\n"));
    EXPECT_EQ(gAgentOptions.auditPort, 1473);
}

TEST_F(AgentTest, SecondLoadIsRefusedAndLeavesFirstInstance) {
    load("port=1500");
    size_t callsAfterFirst = fake.calls().size();
    JVMPI_Interface *first = zvipi;
    EXPECT_EQ(StderrOf([&] { EXPECT_EQ(JVM_OnLoad(fake.vm(), const_cast<char *>("port=1600"), nullptr), JNI_OK); }),
              "*************\n\nZentrova Configuration Error:\n\t-Xrun... parameter was specified "
              "more than once.\n\n*************\n");
    EXPECT_EQ(fake.calls().size(), callsAfterFirst);
    EXPECT_EQ(zvipi, first);
    EXPECT_EQ(gAgentOptions.auditPort, 1500);
}

TEST_F(AgentTest, FallsBackToVersion1) {
    fake.grantVersion1_1 = false;
    load();
    EXPECT_EQ(ZVState().jvmpiVersion, JVMPI_VERSION_1);
    std::vector<std::string> calls = fake.calls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[0], "GetEnv " + std::to_string(JVMPI_VERSION_1_1));
    EXPECT_EQ(calls[1], "GetEnv " + std::to_string(JVMPI_VERSION_1));
    // No VM library is loaded here, so the interface's conversions are used.
    EXPECT_EQ(zviSupportsHandleForObject(), 1);
}

TEST_F(AgentTest, Version1WithoutConversionsDisablesObjectDescription) {
    fake.grantVersion1_1 = false;
    fake.interface()->jobjectID2jobject = nullptr;
    fake.interface()->jobject2jobjectID = nullptr;
    EXPECT_THAT(StderrOf([&] { load(); }),
                HasSubstr("This virtual machine does not support jobjectID2jobject. Object "
                          "description disabled.\n"));
    EXPECT_EQ(zviSupportsHandleForObject(), 0);
    EXPECT_EQ(zviHandleForObject(FakeID(5)), nullptr);
    EXPECT_EQ(zviObjectForHandle(reinterpret_cast<jobject>(5)), nullptr);
}

TEST_F(AgentTest, WithoutJVMPIStartupEndsTheProcess) {
    fake.grantVersion1 = fake.grantVersion1_1 = false;
    EXPECT_EXIT(JVM_OnLoad(fake.vm(), nullptr, nullptr), testing::ExitedWithCode(1),
                "Cannot find JVMPI \\(-3\\)");
}

TEST_F(AgentTest, MemoryProfilerSwitchesObjectEvents) {
    load();
    zviGetMemProfilerOptions()->enabled = 1;
    EXPECT_EQ(zviIsMemoryProfilerDisabled(), 0);
    zviSetMemoryProfilerEnabled(1);
    zviSetMemoryProfilerEnabled(0);
    EXPECT_THAT(fake.disabledEvents(), ElementsAre(JVMPI_EVENT_OBJECT_ALLOC, JVMPI_EVENT_OBJECT_FREE));
    EXPECT_EQ(fake.count("EnableEvent 4"), 1);
    EXPECT_EQ(fake.count("EnableEvent 5"), 1);
}
