// Class events the real VM runs cannot produce: unloads while classes are
// still buffered, events with null names and arrays, and the class-load
// hook's refusal of bytes it cannot parse.
#include <gmock/gmock.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "agent/agent_fixture.h"
#include "pri/rewrite/instrument.h"
#include "agent/recording_handlers.h"

using ::testing::ElementsAre;

namespace {

std::vector<std::string> gHookCalls;
int gAllocations = 0;

void *allocate(unsigned int size) {
    ++gAllocations;
    return malloc(size);
}

unsigned char changingHook(JCRClass *, int phase) {
    gHookCalls.push_back("change " + std::to_string(phase));
    return 1;
}

}  // namespace

class ClassEventsTest : public AgentTest {
protected:
    ZVHandlerTable table = makeRecordingTable();
    JVMPI_Method methods[2] = {
        {const_cast<char *>("run"), const_cast<char *>("()V"), 3, 9, reinterpret_cast<jmethodID>(11)},
        {const_cast<char *>("<init>"), const_cast<char *>("()V"), 1, 1, reinterpret_cast<jmethodID>(12)}};
    JVMPI_Field statics[1] = {{const_cast<char *>("COUNT"), const_cast<char *>("I")}};

    void SetUp() override {
        AgentTest::SetUp();
        gHookCalls.clear();
        gAllocations = 0;
        load();
    }

    void loadClass(const char *name, uintptr_t id, jint methodCount = 2) {
        JVMPI_Event event{};
        event.event_type = JVMPI_EVENT_CLASS_LOAD;
        event.env_id = FakeEnv(1);
        auto &load = event.u.class_load;
        load.class_name = name;
        load.source_name = const_cast<char *>("Foo.java");
        load.num_interfaces = 2;
        load.num_methods = methodCount;
        load.methods = methodCount > 0 ? methods : nullptr;
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

    JVMPI_Event hook(const std::vector<unsigned char> &bytes) {
        JVMPI_Event event{};
        event.event_type = JVMPI_EVENT_CLASS_LOAD_HOOK;
        event.env_id = FakeEnv(1);
        event.u.class_load_hook.class_data = const_cast<unsigned char *>(bytes.data());
        event.u.class_load_hook.class_data_len = static_cast<jint>(bytes.size());
        event.u.class_load_hook.malloc_f = allocate;
        fake.send(event);
        return event;
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
    EXPECT_EQ(recorded().classes[0].methodCount, 0);
    EXPECT_EQ(recorded().classes[0].staticCount, 0);
    EXPECT_EQ(recorded().classes[0].instanceCount, 0);
    EXPECT_EQ(recorded().calls.back(), "classLoaded ");  // a null name arrives as ""
}

TEST_F(ClassEventsTest, UnparsableClassGoesBackUnchangedWithoutExtensions) {
    ZVExtensionRecord ext{};
    ext.classLoadHook = changingHook;
    addExtension(&ext);
    std::vector<unsigned char> broken = {0xCA, 0xFE, 0xBA, 0xBE, 0, 0};
    JVMPI_Event event = hook(broken);
    EXPECT_TRUE(gHookCalls.empty());
    EXPECT_EQ(event.u.class_load_hook.new_class_data, broken.data());
    EXPECT_EQ(event.u.class_load_hook.new_class_data_len, 6);
    JVMPI_Event empty{};
    empty.event_type = JVMPI_EVENT_CLASS_LOAD_HOOK;
    fake.send(empty);
    EXPECT_EQ(empty.u.class_load_hook.new_class_data, nullptr);
    EXPECT_EQ(empty.u.class_load_hook.new_class_data_len, 0);
}
