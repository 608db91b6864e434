// A scriptable JVMPI for tests: an interface record that keeps the events
// enabled, raw monitors for tests that run on one thread, per-thread storage,
// and a JavaVM whose GetEnv hands the interface out.
#pragma once

#include <jni.h>

#include <functional>
#include <map>
#include <vector>

#include "platform/jvmpi.h"

class FakeJVMPI {
public:
    // The one instance the interface's functions report to.
    static FakeJVMPI &instance();

    // Forgets every call and setting; the interface record is rebuilt.
    void reset();

    JVMPI_Interface *interface() { return &interface_; }
    JavaVM *vm() { return &vm_; }

    // Versions GetEnv grants (both by default).
    bool grantVersion1 = true;
    bool grantVersion1_1 = true;

    // Events enabled, in call order.
    const std::vector<jint> &enabledEvents() const { return enabled_; }

    // Answers RequestEvent (for example by sending the dump event).
    std::function<void(jint type, void *argument)> onRequest;

    // Delivers an event to the installed NotifyEvent.
    void send(JVMPI_Event &event);

    void *storage(JNIEnv *env);
    // Releases the agent's storage blocks still attached (they come from sMalloc).
    void releaseStorage();

private:
    FakeJVMPI();

    JVMPI_Interface interface_{};
    JNIInvokeInterface_ invoke_{};
    JavaVM vm_{};
    std::vector<jint> enabled_;
    std::map<JNIEnv *, void *> storage_;
};

// A distinct fake JNIEnv pointer per number (never dereferenced).
JNIEnv *FakeEnv(int n);
jobjectID FakeID(uintptr_t n);
