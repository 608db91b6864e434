// Class events: buffering before the handler table, replay at
// zviSetHandlers, and the class-load hook's road through the extensions.
#include <gmock/gmock.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "agent/agent_fixture.h"
#include "pri/instrument.h"
#include "agent/recording_handlers.h"

using ::testing::ElementsAre;

namespace {

// class Foo extends java.lang.Object, with nothing else.
const std::vector<unsigned char> kClassFile = {
    0xCA, 0xFE, 0xBA, 0xBE, 0, 0, 0, 49, 0, 5,
    7, 0, 2, 1, 0, 3, 'F', 'o', 'o',
    7, 0, 4, 1, 0, 16, 'j', 'a', 'v', 'a', '/', 'l', 'a', 'n', 'g', '/', 'O', 'b', 'j', 'e', 'c', 't',
    0, 0x21, 0, 1, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0};

std::vector<std::string> gHookCalls;
int gAllocations = 0;

void *allocate(unsigned int size) {
    ++gAllocations;
    return malloc(size);
}

unsigned char recordHook(JCRClass *, int phase) {
    gHookCalls.push_back("hook " + std::to_string(phase));
    return 0;
}

unsigned char changingHook(JCRClass *, int phase) {
    gHookCalls.push_back("change " + std::to_string(phase));
    return 1;
}

void extensionClassLoaded(JVMPI_Event *event) {
    gHookCalls.push_back(std::string("loaded ") + event->u.class_load.class_name);
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

TEST_F(ClassEventsTest, ClassesLoadedBeforeHandlersAreReplayedWithCopies) {
    loadClass("Foo", 100);
    loadClass("Bar", 200, 0);
    EXPECT_TRUE(recorded().classes.empty());
    zviSetHandlers(&table);
    ASSERT_EQ(recorded().classes.size(), 2u);
    for (const LoadedClass &c : recorded().classes) {
        if (c.name == "Foo") {
            EXPECT_EQ(c.key, PRIClassKeyGet(100));  // the class key the VM's class ID maps to
            EXPECT_EQ(c.source, "Foo.java");
            EXPECT_THAT(c.methods, ElementsAre("run ()V", "<init> ()V"));
            EXPECT_EQ(c.staticCount, 1);
            EXPECT_EQ(c.interfaceCount, 2);
        } else {
            EXPECT_EQ(c.name, "Bar");
            EXPECT_TRUE(c.methods.empty());
        }
    }
    EXPECT_EQ(ZVState().classBuffer, nullptr);
    loadClass("Baz", 300);  // straight to the table from now on
    EXPECT_EQ(recorded().classes.back().name, "Baz");
}

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

TEST_F(ClassEventsTest, SetHandlersIntroducesConnectingExtensionsThenTheAgent) {
    ZVExtensionRecord silent{}, connecting{};
    connecting.connect = [](ZVWord) {};
    addExtension(&silent);
    addExtension(&connecting);
    loadClass("Foo", 100);
    zviSetHandlers(&table);
    std::vector<std::string> calls = recorded().calls;
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0], "extensionAdded " + std::to_string(reinterpret_cast<uintptr_t>(&connecting)));
    EXPECT_THAT(calls[1], ::testing::StartsWith("extensionAdded "));
    EXPECT_EQ(calls[2], "classLoaded Foo");
}

TEST_F(ClassEventsTest, TableWithoutExtensionAddedStillReplays) {
    table.extensionAdded = nullptr;
    loadClass("Foo", 100);
    zviSetHandlers(&table);
    EXPECT_THAT(recorded().calls, ElementsAre("classLoaded Foo"));
}

TEST_F(ClassEventsTest, ExtensionsSeeTheClassLoadEventFirst) {
    ZVExtensionRecord ext{};
    ext.classLoaded = extensionClassLoaded;
    addExtension(&ext);
    zviSetHandlers(&table);
    loadClass("Foo", 100);
    EXPECT_THAT(gHookCalls, ElementsAre("loaded Foo"));
    EXPECT_EQ(recorded().classes.size(), 1u);
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

TEST_F(ClassEventsTest, ExtensionWithOrderZeroSeesEachHookedClassTwice) {
    ZVExtensionRecord before{}, both{}, after{};
    before.order = -1;
    before.classLoadHook = recordHook;
    both.order = 0;
    both.classLoadHook = recordHook;
    after.order = 3;
    after.classLoadHook = recordHook;
    addExtension(&before);
    addExtension(&both);
    addExtension(&after);
    JVMPI_Event event = hook(kClassFile);
    EXPECT_THAT(gHookCalls, ElementsAre("hook -1", "hook -1", "hook 1", "hook 1"));
    // Nothing changed: the offered bytes go back untouched, nothing is written.
    EXPECT_EQ(event.u.class_load_hook.new_class_data, kClassFile.data());
    EXPECT_EQ(event.u.class_load_hook.new_class_data_len, static_cast<jint>(kClassFile.size()));
    EXPECT_EQ(gAllocations, 0);
}

TEST_F(ClassEventsTest, ChangedClassIsWrittenWithTheEventsAllocator) {
    ZVExtensionRecord ext{};
    ext.order = 1;
    ext.classLoadHook = changingHook;
    addExtension(&ext);
    JVMPI_Event event = hook(kClassFile);
    EXPECT_THAT(gHookCalls, ElementsAre("change 1"));
    EXPECT_EQ(gAllocations, 1);
    ASSERT_NE(event.u.class_load_hook.new_class_data, kClassFile.data());
    std::vector<unsigned char> written(event.u.class_load_hook.new_class_data,
                                       event.u.class_load_hook.new_class_data +
                                           event.u.class_load_hook.new_class_data_len);
    EXPECT_EQ(written, kClassFile);  // the unchanged model writes the same bytes
    free(event.u.class_load_hook.new_class_data);
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
