// The scriptable JVMPI test double.
#include "agent/fake_jvmpi.h"

#include <gtest/gtest.h>

#include "support/heap.h"

FakeJVMPI::FakeJVMPI() { reset(); }

FakeJVMPI &FakeJVMPI::instance() {
    static FakeJVMPI fake;
    return fake;
}

void FakeJVMPI::reset() {
    grantVersion1 = grantVersion1_1 = true;
    enabled_.clear();
    storage_.clear();
    onRequest = nullptr;
    interface_ = JVMPI_Interface{};
    interface_.version = JVMPI_VERSION_1_1;
    interface_.EnableEvent = [](jint type, void *) {
        instance().enabled_.push_back(type);
        return jint{JVMPI_SUCCESS};
    };
    interface_.DisableEvent = [](jint, void *) { return jint{JVMPI_SUCCESS}; };
    interface_.RequestEvent = [](jint type, void *argument) {
        if (instance().onRequest) instance().onRequest(type, argument);
        return jint{JVMPI_SUCCESS};
    };
    // The tests run on one thread, where a re-entrant monitor never blocks
    // (nor is storage shared); nothing they run waits on a monitor.
    interface_.RawMonitorCreate = [](char *) { return reinterpret_cast<JVMPI_RawMonitor>(new int); };
    interface_.RawMonitorEnter = interface_.RawMonitorExit = interface_.RawMonitorNotifyAll = [](JVMPI_RawMonitor) {};
    interface_.RawMonitorWait = [](JVMPI_RawMonitor, jlong) { ADD_FAILURE() << "a raw monitor wait"; };
    interface_.RawMonitorDestroy = [](JVMPI_RawMonitor raw) { delete reinterpret_cast<int *>(raw); };
    interface_.GetCurrentThreadCpuTime = [] { return jlong{4242}; };
    interface_.SuspendThread = interface_.ResumeThread = [](JNIEnv *) {};
    interface_.GetThreadStatus = [](JNIEnv *) { return jint{0}; };
    interface_.ThreadHasRun = [](JNIEnv *) { return jboolean{JNI_FALSE}; };
    interface_.CreateSystemThread = [](char *, jint, void (*)(void *)) { return jint{JNI_OK}; };
    interface_.SetThreadLocalStorage = [](JNIEnv *env, void *pointer) { instance().storage_[env] = pointer; };
    interface_.GetThreadLocalStorage = [](JNIEnv *env) { return instance().storage(env); };
    interface_.DisableGC = interface_.EnableGC = interface_.RunGC = [] {};
    interface_.GetThreadObject = [](JNIEnv *) { return jobjectID{}; };
    interface_.jobjectID2jobject = [](jobjectID id) { return reinterpret_cast<jobject>(id); };
    interface_.jobject2jobjectID = [](jobject object) { return reinterpret_cast<jobjectID>(object); };
    invoke_ = JNIInvokeInterface_{};
    invoke_.GetEnv = [](JavaVM *, void **env, jint version) {
        FakeJVMPI &fake = instance();
        bool granted = (version == JVMPI_VERSION_1_1 && fake.grantVersion1_1) ||
                       (version == JVMPI_VERSION_1 && fake.grantVersion1);
        if (!granted) return jint{JNI_EVERSION};
        *env = fake.interface();
        return jint{JNI_OK};
    };
    invoke_.DetachCurrentThread = [](JavaVM *) { return jint{JNI_OK}; };
    vm_.functions = &invoke_;
}

void FakeJVMPI::send(JVMPI_Event &event) { interface_.NotifyEvent(&event); }

void *FakeJVMPI::storage(JNIEnv *env) {
    auto it = storage_.find(env);
    return it != storage_.end() ? it->second : nullptr;
}

void FakeJVMPI::releaseStorage() {
    for (auto &entry : storage_) sFree(entry.second);
    storage_.clear();
}

JNIEnv *FakeEnv(int n) { return reinterpret_cast<JNIEnv *>(static_cast<uintptr_t>(0x1000 + 16 * n)); }

jobjectID FakeID(uintptr_t n) { return reinterpret_cast<jobjectID>(n); }
