// A test fixture that starts each test from a freshly loaded agent on the
// fake JVMPI, with helpers that send the VM's events.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "agent/agent.h"
#include "agent/agent_internal.h"
#include "agent/core.h"
#include "agent/fake_jvmpi.h"
#include "config/config.h"
#include "ext/extensions.h"
#include "pri/runtime/direct.h"
#include "support/heap.h"

class AgentTest : public ::testing::Test {
protected:
    FakeJVMPI &fake = FakeJVMPI::instance();

    void SetUp() override { resetAll(); }
    void TearDown() override { resetAll(); }

    void resetAll() {
        delete ZVInstallCore(new ZVAgentCore());  // the old record releases its tables
        zvipi = nullptr;
        fake.releaseStorage();
        FreeAgentOptions(InstallAgentOptions(NewAgentOptions()));
        delete PRIInstallDirectState(new PRIDirectState());
        fake.reset();
    }

    void load(const char *options = nullptr) {
        ASSERT_EQ(JVM_OnLoad(fake.vm(), const_cast<char *>(options), nullptr), JNI_OK);
    }

    // Appends an extension record as the extension loader would.
    void addExtension(ZVExtensionRecord *record) {
        ZVAgentState &state = ZVState();
        auto **list = static_cast<ZVExtensionRecord **>(
            sMalloc(static_cast<int>(sizeof(ZVExtensionRecord *)) * (state.extensionCount + 1)));
        for (int i = 0; i < state.extensionCount; ++i) list[i] = state.extensions[i];
        list[state.extensionCount] = record;
        sFree(state.extensions);
        state.extensions = list;
        ++state.extensionCount;
    }

    // Pretends the agent runs in the VM with that flavour code.
    void setFlavor(int flavor) {
        ZVState().vmFlavor = flavor;
        ZVDecideVMTraits(flavor);
    }

    void startThread(JNIEnv *env, const char *name, const char *group = nullptr,
                     const char *parent = nullptr) {
        JVMPI_Event event{};
        event.event_type = JVMPI_EVENT_THREAD_START;
        event.env_id = env;
        event.u.thread_start.thread_name = const_cast<char *>(name);
        event.u.thread_start.group_name = const_cast<char *>(group);
        event.u.thread_start.parent_name = const_cast<char *>(parent);
        event.u.thread_start.thread_env_id = env;
        fake.send(event);
    }

    void endThread(JNIEnv *env) { sendSimple(JVMPI_EVENT_THREAD_END, env); }

    void sendSimple(jint type, JNIEnv *env = nullptr) {
        JVMPI_Event event{};
        event.event_type = type;
        event.env_id = env;
        fake.send(event);
    }
};
