// The scriptable JVMPI test double.
#include "agent/fake_jvmpi.h"

#include "support/heap.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <thread>

// A raw monitor as the VM has it: re-entrant, with wait and notify-all.
struct FakeMonitor {
    std::mutex mutex;
    std::condition_variable changed;
    std::thread::id owner;
    int count = 0;
};

struct FakeAccess {
    static FakeJVMPI &f() { return FakeJVMPI::instance(); }

    static jint GetEnv(JavaVM *, void **env, jint version) {
        FakeJVMPI &fake = f();
        bool granted = (version == JVMPI_VERSION_1_1 && fake.grantVersion1_1) ||
                       (version == JVMPI_VERSION_1 && fake.grantVersion1);
        if (!granted) return JNI_EVERSION;
        *env = fake.interface();
        return JNI_OK;
    }
    static jint RequestEvent(jint type, void *argument) {
        if (f().onRequest) f().onRequest(type, argument);
        return JVMPI_SUCCESS;
    }
    static JVMPI_RawMonitor RawMonitorCreate(char *) { return reinterpret_cast<JVMPI_RawMonitor>(new FakeMonitor); }
    static void RawMonitorEnter(JVMPI_RawMonitor raw) {
        auto *m = reinterpret_cast<FakeMonitor *>(raw);
        std::unique_lock<std::mutex> lock(m->mutex);
        if (m->count > 0 && m->owner == std::this_thread::get_id()) {
            ++m->count;
            return;
        }
        m->changed.wait(lock, [m] { return m->count == 0; });
        m->owner = std::this_thread::get_id();
        m->count = 1;
    }
    static void RawMonitorExit(JVMPI_RawMonitor raw) {
        auto *m = reinterpret_cast<FakeMonitor *>(raw);
        std::lock_guard<std::mutex> lock(m->mutex);
        if (m->count > 0 && --m->count == 0) {
            m->owner = std::thread::id();
            m->changed.notify_all();
        }
    }
    static void RawMonitorWait(JVMPI_RawMonitor raw, jlong ms) {
        auto *m = reinterpret_cast<FakeMonitor *>(raw);
        std::unique_lock<std::mutex> lock(m->mutex);
        int saved = m->count;
        m->count = 0;
        m->owner = std::thread::id();
        m->changed.notify_all();
        if (ms > 0) {
            m->changed.wait_for(lock, std::chrono::milliseconds(std::min<jlong>(ms, 3600000)));
        } else {
            m->changed.wait(lock);
        }
        m->changed.wait(lock, [m] { return m->count == 0; });
        m->owner = std::this_thread::get_id();
        m->count = saved;
    }
    static void RawMonitorNotifyAll(JVMPI_RawMonitor raw) {
        auto *m = reinterpret_cast<FakeMonitor *>(raw);
        std::lock_guard<std::mutex> lock(m->mutex);
        m->changed.notify_all();
    }
    static void RawMonitorDestroy(JVMPI_RawMonitor raw) { delete reinterpret_cast<FakeMonitor *>(raw); }
    // The entry of `env` in one of the maps the tests fill, or `absent`.
    template <typename Value>
    static Value lookup(const std::map<JNIEnv *, Value> &map, JNIEnv *env, Value absent) {
        std::lock_guard<std::mutex> lock(f().mutex_);
        auto it = map.find(env);
        return it != map.end() ? it->second : absent;
    }
    static void SetThreadLocalStorage(JNIEnv *env, void *pointer) {
        std::lock_guard<std::mutex> lock(f().mutex_);
        f().storage_[env] = pointer;
    }
    static void *GetThreadLocalStorage(JNIEnv *env) { return lookup(f().storage_, env, static_cast<void *>(nullptr)); }
};

FakeJVMPI::FakeJVMPI() { reset(); }

FakeJVMPI &FakeJVMPI::instance() {
    static FakeJVMPI fake;
    return fake;
}

void FakeJVMPI::reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    grantVersion1 = grantVersion1_1 = true;
    enabled_.clear();
    storage_.clear();
    onRequest = nullptr;
    interface_ = JVMPI_Interface{};
    interface_.version = JVMPI_VERSION_1_1;
    interface_.EnableEvent = [](jint type, void *) {
        std::lock_guard<std::mutex> lock(FakeAccess::f().mutex_);
        FakeAccess::f().enabled_.push_back(type);
        return jint{JVMPI_SUCCESS};
    };
    interface_.DisableEvent = [](jint, void *) { return jint{JVMPI_SUCCESS}; };
    interface_.RequestEvent = FakeAccess::RequestEvent;
    interface_.RawMonitorCreate = FakeAccess::RawMonitorCreate;
    interface_.RawMonitorEnter = FakeAccess::RawMonitorEnter;
    interface_.RawMonitorExit = FakeAccess::RawMonitorExit;
    interface_.RawMonitorWait = FakeAccess::RawMonitorWait;
    interface_.RawMonitorNotifyAll = FakeAccess::RawMonitorNotifyAll;
    interface_.RawMonitorDestroy = FakeAccess::RawMonitorDestroy;
    interface_.GetCurrentThreadCpuTime = [] { return jlong{4242}; };
    interface_.SuspendThread = interface_.ResumeThread = [](JNIEnv *) {};
    interface_.GetThreadStatus = [](JNIEnv *) { return jint{0}; };
    interface_.ThreadHasRun = [](JNIEnv *) { return jboolean{JNI_FALSE}; };
    interface_.CreateSystemThread = [](char *, jint, void (*)(void *)) { return jint{JNI_OK}; };
    interface_.SetThreadLocalStorage = FakeAccess::SetThreadLocalStorage;
    interface_.GetThreadLocalStorage = FakeAccess::GetThreadLocalStorage;
    interface_.DisableGC = interface_.EnableGC = interface_.RunGC = [] {};
    interface_.GetThreadObject = [](JNIEnv *) { return jobjectID{}; };
    interface_.jobjectID2jobject = [](jobjectID id) { return reinterpret_cast<jobject>(id); };
    interface_.jobject2jobjectID = [](jobject object) { return reinterpret_cast<jobjectID>(object); };
    invoke_ = JNIInvokeInterface_{};
    invoke_.GetEnv = FakeAccess::GetEnv;
    invoke_.DetachCurrentThread = [](JavaVM *) { return jint{JNI_OK}; };
    vm_.functions = &invoke_;
}

std::vector<jint> FakeJVMPI::enabledEvents() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return enabled_;
}

void FakeJVMPI::send(JVMPI_Event &event) { interface_.NotifyEvent(&event); }

void *FakeJVMPI::storage(JNIEnv *env) { return FakeAccess::GetThreadLocalStorage(env); }

void FakeJVMPI::releaseStorage() {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto &entry : storage_) sFree(entry.second);
    storage_.clear();
}

JNIEnv *FakeEnv(int n) { return reinterpret_cast<JNIEnv *>(static_cast<uintptr_t>(0x1000 + 16 * n)); }

jobjectID FakeID(uintptr_t n) { return reinterpret_cast<jobjectID>(n); }
