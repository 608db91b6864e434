// Class events the real VM runs cannot produce: unloads while classes are
// still buffered, events with null names and arrays, and the class-load
// hook's refusal of bytes it cannot parse.
#include <gmock/gmock.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "agent/agent_fixture.h"
#include "pri/rewrite/instrument.h"
#include "agent/recording_handlers.h"

using ::testing::ElementsAre;

class ClassEventsTest : public AgentTest {
protected:
    ZVHandlerTable table = makeRecordingTable();
    JVMPI_Method methods[2] = {
        {const_cast<char *>("run"), const_cast<char *>("()V"), 3, 9, reinterpret_cast<jmethodID>(11)},
        {const_cast<char *>("<init>"), const_cast<char *>("()V"), 1, 1, reinterpret_cast<jmethodID>(12)}};
    JVMPI_Field statics[1] = {{const_cast<char *>("COUNT"), const_cast<char *>("I")}};

    void SetUp() override {
        AgentTest::SetUp();
        load();
    }

    void loadClass(const char *name, uintptr_t id) {
        JVMPI_Event event{};
        event.event_type = JVMPI_EVENT_CLASS_LOAD;
        event.env_id = FakeEnv(1);
        auto &load = event.u.class_load;
        load.class_name = name;
        load.source_name = const_cast<char *>("Foo.java");
        load.num_interfaces = 2;
        load.num_methods = 2;
        load.methods = methods;
        load.num_static_fields = 1;
        load.statics = statics;
        load.class_id = FakeID(id);
        fake.send(event);
    }

    void unloadClass(uintptr_t id) {
        JVMPI_Event event{};
        event.event_type = JVMPI_EVENT_CLASS_UNLOAD;
        event.u.class_unload.class_id = FakeID(id);
        fake.send(event);
    }
};

TEST_F(ClassEventsTest, BufferedClassesFollowLaterLoadsAndUnloads) {
    loadClass("Bar", 200);
    loadClass("Gone", 300);
    unloadClass(300);  // found through its class key
    zviSetHandlers(&table);
    std::vector<std::string> names;
    for (const LoadedClass &c : recorded().classes) names.push_back(c.name);
    EXPECT_THAT(names, ::testing::ElementsAre("Bar"));
    unloadClass(200);
    EXPECT_EQ(recorded().calls.back(), "classUnloaded 200");
}

TEST_F(ClassEventsTest, NullNamesAndArraysAreAccepted) {
    zviSetHandlers(&table);
    JVMPI_Event event{};
    event.event_type = JVMPI_EVENT_CLASS_LOAD;
    event.u.class_load.num_methods = 3;  // claims methods but has no array
    event.u.class_load.num_static_fields = -1;
    event.u.class_load.num_instance_fields = -4;
    event.u.class_load.instances = statics;
    fake.send(event);
    ASSERT_EQ(recorded().classes.size(), 1u);
    const LoadedClass &c = recorded().classes[0];
    EXPECT_EQ(std::vector<jint>({c.methodCount, c.staticCount, c.instanceCount}), std::vector<jint>({0, 0, 0}));
    EXPECT_EQ(recorded().calls.back(), "classLoaded ");  // a null name arrives as ""
}

TEST_F(ClassEventsTest, UnparsableClassGoesBackUnchangedWithoutExtensions) {
    static bool hooked;
    hooked = false;
    ZVExtensionRecord ext{};
    ext.classLoadHook = [](JCRClass *, int) -> unsigned char {
        hooked = true;
        return 1;  // "changed"
    };
    addExtension(&ext);
    std::vector<unsigned char> broken = {0xCA, 0xFE, 0xBA, 0xBE, 0, 0};
    JVMPI_Event event{};
    event.event_type = JVMPI_EVENT_CLASS_LOAD_HOOK;
    event.env_id = FakeEnv(1);
    event.u.class_load_hook.class_data = broken.data();
    event.u.class_load_hook.class_data_len = 6;
    event.u.class_load_hook.malloc_f = [](unsigned int size) { return malloc(size); };
    fake.send(event);
    EXPECT_FALSE(hooked);
    EXPECT_EQ(event.u.class_load_hook.new_class_data, broken.data());
    EXPECT_EQ(event.u.class_load_hook.new_class_data_len, 6);
    JVMPI_Event empty{};
    empty.event_type = JVMPI_EVENT_CLASS_LOAD_HOOK;
    fake.send(empty);
    EXPECT_EQ(empty.u.class_load_hook.new_class_data, nullptr);
    EXPECT_EQ(empty.u.class_load_hook.new_class_data_len, 0);
}
