// VM flavour detection against the real VM library, each case in its own
// process because a loaded library cannot be unloaded.
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
