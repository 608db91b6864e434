// The event dispatcher's hottest path, object allocation: with the per-thread
// guard set (a listener is running) and with one listener to call.
#include <benchmark/benchmark.h>

#include <map>

#include "agent/agent.h"
#include "agent/agent_internal.h"

namespace {

// A minimal profiler interface: just what start-up and allocation events use.
std::map<JNIEnv *, void *> gStorage;
jint enableEvent(jint, void *) { return JVMPI_SUCCESS; }
JVMPI_RawMonitor createMonitor(char *) { return reinterpret_cast<JVMPI_RawMonitor>(new int(0)); }
void monitorNoop(JVMPI_RawMonitor) {}
void setStorage(JNIEnv *env, void *block) { gStorage[env] = block; }
void *getStorage(JNIEnv *env) {
    auto it = gStorage.find(env);
    return it != gStorage.end() ? it->second : nullptr;
}

JVMPI_Interface gInterface = [] {
    JVMPI_Interface i{};
    i.version = JVMPI_VERSION_1_1;
    i.EnableEvent = enableEvent;
    i.DisableEvent = enableEvent;
    i.RawMonitorCreate = createMonitor;
    i.RawMonitorEnter = monitorNoop;
    i.RawMonitorExit = monitorNoop;
    i.SetThreadLocalStorage = setStorage;
    i.GetThreadLocalStorage = getStorage;
    return i;
}();

jint getEnv(JavaVM *, void **env, jint) {
    *env = &gInterface;
    return JNI_OK;
}

JNIInvokeInterface_ gInvoke = [] {
    JNIInvokeInterface_ i{};
    i.GetEnv = getEnv;
    return i;
}();
JavaVM gVM{&gInvoke};

void startAgent() {
    static bool started = false;
    if (started) return;
    started = true;
    JVM_OnLoad(&gVM, nullptr, nullptr);
    static ZVHandlerTable table{};
    table.objectAllocated = [](JNIEnv *, jobjectID, ZVWord, jint, jint) {};
    table.classLoaded = [](const char *, ZVWord, char *, jint, JVMPI_Method *, jint, JVMPI_Field *, jint,
                           JVMPI_Field *, jint) {};
    zviSetHandlers(&table);
}

JVMPI_Event allocation(JNIEnv *env) {
    JVMPI_Event event{};
    event.event_type = JVMPI_EVENT_OBJECT_ALLOC;
    event.env_id = env;
    event.u.obj_alloc.size = 16;
    return event;
}

void BM_AllocationReported(benchmark::State &state) {
    startAgent();
    JNIEnv *env = reinterpret_cast<JNIEnv *>(0x1000);
    JVMPI_Event event = allocation(env);
    for (auto _ : state) gInterface.NotifyEvent(&event);
}
BENCHMARK(BM_AllocationReported);

void BM_AllocationInsideListener(benchmark::State &state) {
    startAgent();
    JNIEnv *env = reinterpret_cast<JNIEnv *>(0x2000);
    zviSetThreadLocalStorage(env, 9, 1);  // the guard is set while a listener runs
    JVMPI_Event event = allocation(env);
    for (auto _ : state) gInterface.NotifyEvent(&event);
}
BENCHMARK(BM_AllocationInsideListener);

}  // namespace
