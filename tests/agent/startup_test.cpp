// Start-up against interfaces a real VM does not offer: no JVMPI at all;
// refused options; directi=false.
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

TEST_F(AgentTest, WithoutJVMPIStartupEndsTheProcess) {
    fake.grantVersion1 = fake.grantVersion1_1 = false;
    EXPECT_EXIT(JVM_OnLoad(fake.vm(), nullptr, nullptr), testing::ExitedWithCode(1),
                "Cannot find JVMPI \\(-3\\)");
}
