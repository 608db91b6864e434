// Start-up against interfaces a real VM does not offer: version fallback,
// missing conversions, no JVMPI at all; refused options; directi=false.
#include <gmock/gmock.h>

#include "capture.h"
#include "agent/agent_fixture.h"

using ::testing::HasSubstr;

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
    EXPECT_EQ(CurrentOptions().auditPort, 1473);
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
