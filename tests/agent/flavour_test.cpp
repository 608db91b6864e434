// Start-up against what a real VM does not offer (no JVMPI, no JNI 1.2),
// directi=false, and VM flavour detection against the real VM library (each
// case in its own process: a loaded library cannot be unloaded). (Refused
// options are reported and the start goes on in a real VM end to end.)
#include "capture.h"
#include "agent/agent_fixture.h"
#include "platform/module.h"

TEST_F(AgentTest, OpenJDKLibraryIsHotspotAndTheFlavourIsCached) {
    EXPECT_EXIT(
        {
            std::string error;
            if (OpenLibrary(ZV_LIBJVM, &error) == nullptr) exit(100);
            exit(zviGetVMFlavor());
        },
        testing::ExitedWithCode(ZV_VM_HOTSPOT), "");
    // Cached even when the VM library appears later.
    EXPECT_EXIT(
        {
            int before = zviGetVMFlavor();
            std::string error;
            OpenLibrary(ZV_LIBJVM, &error);
            exit(before == ZV_VM_UNKNOWN && zviGetVMFlavor() == ZV_VM_UNKNOWN ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

TEST_F(AgentTest, PrioritizedServiceWithoutJNI12EndsTheProcess) {
    load();
    EXPECT_EXIT(ZVRunPrioritizedService(), testing::ExitedWithCode(1),
                "PRI: getCurrentJNIEnv failed \\(This vm does not support JNI version 1.2\\)");
}

TEST_F(AgentTest, DebugInstrumentationReportsLoadedClasses) {
    StderrOf([&] { load("PRIDebugInstrumentation=true"); });
    JVMPI_Event event{};
    event.event_type = JVMPI_EVENT_CLASS_LOAD;
    event.u.class_load.class_name = "a.B";
    EXPECT_EQ(StdoutOf([&] { fake.send(event); }), "Loaded class a.B\n");
}

TEST_F(AgentTest, DirectInstrumentationOffNeverEnablesCompiledMethodLoad) {
    StderrOf([&] { load("directi=false"); });
    for (jint event : fake.enabledEvents()) EXPECT_NE(event, JVMPI_EVENT_COMPILED_METHOD_LOAD);
    EXPECT_EQ(ZVState().directIMode, 0);
}

TEST_F(AgentTest, WithoutJVMPIStartupEndsTheProcess) {
    fake.grantVersion1 = fake.grantVersion1_1 = false;
    EXPECT_EXIT(JVM_OnLoad(fake.vm(), nullptr, nullptr), testing::ExitedWithCode(1),
                "Cannot find JVMPI \\(-3\\)");
}
