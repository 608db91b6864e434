// The emulated JVMPI interface record: raw monitors, thread control and
// status, thread-local storage, system threads, GC control and object IDs on
// JVMTI and JNI; and the proxy JavaVM that hands the record out.
#include "platform/jvmpi_emulation.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <atomic>
#include <mutex>
#include <string>

#include "platform/jni_guards.h"
#include "platform/jvmpi_internal.h"
#include "platform/module.h"
#include "platform/race_hints.h"
#include "platform/thread.h"

namespace {

jvmtiEnv *jvmti() { return Jvmpi().jvmti; }

// Runs f on the thread of env: the calling thread, or a known thread.
template <typename Use>
void withThread(JNIEnv *env, Use use) {
    jthread thread = nullptr;
    bool current = false;
    if (jvmti() == nullptr || !JvmpiThreadOf(env, &thread, &current)) return;
    LocalRef guard(JvmpiCurrentEnv(), thread);
    use(thread);
}

// ------------------------------------------------------------ raw monitors

// A JVMPI raw monitor: a JVMTI raw monitor, created on first use. Before a
// late emulation has its JVMTI environment only the start-up thread runs the
// agent, so entering and leaving do nothing until then.
struct Monitor {
    std::string name;
    std::atomic<jrawMonitorID> raw{nullptr};
};

jrawMonitorID raw(JVMPI_RawMonitor handle) {
    auto *monitor = reinterpret_cast<Monitor *>(handle);
    if (monitor == nullptr) return nullptr;
    jrawMonitorID id = monitor->raw.load(std::memory_order_acquire);
    if (id != nullptr || jvmti() == nullptr) return id;
    std::lock_guard<std::mutex> lock(Jvmpi().monitorCreation);
    id = monitor->raw.load(std::memory_order_acquire);
    if (id == nullptr && jvmti()->CreateRawMonitor(monitor->name.c_str(), &id) == JVMTI_ERROR_NONE) {
        monitor->raw.store(id, std::memory_order_release);
    }
    return id;
}

JVMPI_RawMonitor rawMonitorCreate(char *name) {
    auto *monitor = new Monitor;
    monitor->name = name != nullptr ? name : "";
    raw(reinterpret_cast<JVMPI_RawMonitor>(monitor));
    return reinterpret_cast<JVMPI_RawMonitor>(monitor);
}

// The VM's raw monitors order their holders in code the thread sanitizer
// does not see: it is told of each hand-over.
void rawMonitorEnter(JVMPI_RawMonitor monitor) {
    if (jrawMonitorID id = raw(monitor)) {
        jvmti()->RawMonitorEnter(id);
        RaceAcquire(monitor);
    }
}
void rawMonitorExit(JVMPI_RawMonitor monitor) {
    if (jrawMonitorID id = raw(monitor)) {
        RaceRelease(monitor);
        jvmti()->RawMonitorExit(id);
    }
}
void rawMonitorWait(JVMPI_RawMonitor monitor, jlong ms) {
    if (jrawMonitorID id = raw(monitor)) {
        RaceRelease(monitor);
        jvmti()->RawMonitorWait(id, ms);
        RaceAcquire(monitor);
    }
}
void rawMonitorNotifyAll(JVMPI_RawMonitor monitor) {
    if (jrawMonitorID id = raw(monitor)) jvmti()->RawMonitorNotifyAll(id);
}
void rawMonitorDestroy(JVMPI_RawMonitor monitor) {
    if (jrawMonitorID id = raw(monitor)) jvmti()->DestroyRawMonitor(id);
    delete reinterpret_cast<Monitor *>(monitor);
}

// ------------------------------------------------------------ threads

jlong currentThreadCpuTime() {
    jlong nanos = 0;
    if (jvmti() == nullptr || jvmti()->GetCurrentThreadCpuTime(&nanos) != JVMTI_ERROR_NONE) return 0;
    return nanos;
}

void suspendThread(JNIEnv *env) {
    withThread(env, [](jthread thread) { jvmti()->SuspendThread(thread); });
}

void resumeThread(JNIEnv *env) {
    withThread(env, [](jthread thread) { jvmti()->ResumeThread(thread); });
}

void suspendThreadList(jint count, JNIEnv **envs, jint *results) {
    for (jint i = 0; i < count; ++i) {
        jvmtiError error = JVMTI_ERROR_THREAD_NOT_ALIVE;
        withThread(envs[i], [&](jthread thread) { error = jvmti()->SuspendThread(thread); });
        if (results != nullptr) results[i] = error;
    }
}

void resumeThreadList(jint count, JNIEnv **envs, jint *results) {
    for (jint i = 0; i < count; ++i) {
        jvmtiError error = JVMTI_ERROR_THREAD_NOT_ALIVE;
        withThread(envs[i], [&](jthread thread) { error = jvmti()->ResumeThread(thread); });
        if (results != nullptr) results[i] = error;
    }
}

// JVMTI's thread state in JVMPI's terms: waiting to enter a monitor, waiting
// on a condition (Object.wait, sleep, park), or runnable; plus the suspended
// and interrupted bits.
jint getThreadStatus(JNIEnv *env) {
    jint state = 0;
    bool known = false;
    withThread(env, [&](jthread thread) { known = jvmti()->GetThreadState(thread, &state) == JVMTI_ERROR_NONE; });
    if (!known) return JVMPI_THREAD_RUNNABLE;
    jint status = JVMPI_THREAD_RUNNABLE;
    if ((state & JVMTI_THREAD_STATE_BLOCKED_ON_MONITOR_ENTER) != 0) {
        status = JVMPI_THREAD_MONITOR_WAIT;
    } else if ((state & JVMTI_THREAD_STATE_WAITING) != 0) {
        status = JVMPI_THREAD_CONDVAR_WAIT;
    }
    if ((state & JVMTI_THREAD_STATE_SUSPENDED) != 0) status |= JVMPI_THREAD_SUSPENDED;
    if ((state & JVMTI_THREAD_STATE_INTERRUPTED) != 0) status |= JVMPI_THREAD_INTERRUPTED;
    return status;
}

}  // namespace

int JvmpiThreadDetailOf(JNIEnv *env) {
    if (jvmti() == nullptr) return JVMPI_DETAIL_UNKNOWN;
    jint state = 0;
    bool known = false;
    withThread(env, [&](jthread thread) { known = jvmti()->GetThreadState(thread, &state) == JVMTI_ERROR_NONE; });
    if (!known || (state & JVMTI_THREAD_STATE_ALIVE) == 0) return JVMPI_DETAIL_UNKNOWN;
    if ((state & JVMTI_THREAD_STATE_BLOCKED_ON_MONITOR_ENTER) != 0) return JVMPI_DETAIL_BLOCKED;
    if ((state & JVMTI_THREAD_STATE_SLEEPING) != 0) return JVMPI_DETAIL_SLEEPING;
    if ((state & JVMTI_THREAD_STATE_WAITING) != 0) return JVMPI_DETAIL_WAITING;
    if ((state & JVMTI_THREAD_STATE_IN_NATIVE) != 0) return JVMPI_DETAIL_NATIVE;
    return JVMPI_DETAIL_RUNNING;
}

namespace {

// Whether the thread used CPU time since the previous question about it.
jboolean threadHasRun(JNIEnv *env) {
    jlong now = -1;
    withThread(env, [&](jthread thread) {
        if (jvmti()->GetThreadCpuTime(thread, &now) != JVMTI_ERROR_NONE) now = -1;
    });
    if (now < 0) return JNI_FALSE;
    return JvmpiSwapCpuTime(env, now) != now ? JNI_TRUE : JNI_FALSE;
}

// A thread reads its own storage from JVMTI; other threads read the copy.
void setThreadLocalStorage(JNIEnv *env, void *value) {
    if (env == nullptr) return;
    withThread(env, [&](jthread thread) { jvmti()->SetThreadLocalStorage(thread, value); });
    JvmpiKeepStorage(env, value);
}

// A thread that ran before an attach had no thread start: it is announced the
// first time it asks for its storage (its first instrumented call, mostly).
// True when the start was delivered now.
bool announceOldThread(JNIEnv *env) {
    jthread self = nullptr;
    if (jvmti()->GetCurrentThread(&self) != JVMTI_ERROR_NONE || self == nullptr) return false;
    LocalRef guard(env, self);
    bool fresh = JvmpiRememberThread(env, self);
    if (fresh && JvmpiEnabled(JVMPI_EVENT_THREAD_START)) JvmpiDeliverThreadStart(env, self, env);
    return fresh;
}

void *getThreadLocalStorage(JNIEnv *env) {
    if (env == nullptr) return nullptr;
    if (jvmti() == nullptr || env != JvmpiCurrentEnv()) return JvmpiKeptStorage(env);
    void *value = nullptr;
    if (jvmti()->GetThreadLocalStorage(nullptr, &value) != JVMTI_ERROR_NONE) value = nullptr;
    if (value == nullptr && Jvmpi().attached && announceOldThread(env) &&
        jvmti()->GetThreadLocalStorage(nullptr, &value) != JVMTI_ERROR_NONE) {
        value = nullptr;
    }
    return value;
}

jobjectID getThreadObject(JNIEnv *env) {
    jobjectID id = nullptr;
    withThread(env, [&](jthread thread) {
        if (thread != nullptr) {
            id = JvmpiObjectID(thread);
            return;
        }
        jthread self = nullptr;
        if (jvmti()->GetCurrentThread(&self) == JVMTI_ERROR_NONE && self != nullptr) {
            LocalRef guard(env, self);
            id = JvmpiObjectID(self);
        }
    });
    return id;
}

// ------------------------------------------------------------ system threads

struct SystemThreadStart {
    void (*function)(void *);
};

// The function gets the new thread's JNIEnv as its argument.
void JNICALL runSystemThread(jvmtiEnv *, JNIEnv *env, void *argument) {
    SystemThreadStart start = *static_cast<SystemThreadStart *>(argument);
    delete static_cast<SystemThreadStart *>(argument);
    {
        jthread self = nullptr;
        bool known = jvmti()->GetCurrentThread(&self) == JVMTI_ERROR_NONE;
        LocalRef guard(env, self);
        // Agent threads may start without a ThreadStart event: deliver it here once.
        if (known && JvmpiRememberThread(env, self) && JvmpiEnabled(JVMPI_EVENT_THREAD_START))
            JvmpiDeliverThreadStart(env, self, env);
    }
    start.function(env);
}

// A daemon java.lang.Thread of that name, run by JVMTI as an agent thread;
// JVMPI and JVMTI priorities share the 1..10 scale.
jint createSystemThread(char *name, jint priority, void (*function)(void *)) {
    JNIEnv *env = JvmpiCurrentEnv();
    if (env == nullptr || function == nullptr || jvmti() == nullptr) return JNI_ERR;
    LocalRef threadClass(env, env->FindClass("java/lang/Thread"));
    jmethodID constructor = threadClass ? env->GetMethodID(threadClass, "<init>", "(Ljava/lang/String;)V") : nullptr;
    LocalRef threadName(env, constructor != nullptr ? env->NewStringUTF(name != nullptr ? name : "") : nullptr);
    LocalRef thread(env, threadName ? env->NewObject(threadClass, constructor, threadName.get()) : nullptr);
    jint result = JNI_ERR;
    if (thread) {
        if (priority < JVMTI_THREAD_MIN_PRIORITY) priority = JVMTI_THREAD_MIN_PRIORITY;
        if (priority > JVMTI_THREAD_MAX_PRIORITY) priority = JVMTI_THREAD_MAX_PRIORITY;
        auto *start = new SystemThreadStart{function};
        if (jvmti()->RunAgentThread(thread, runSystemThread, start, priority) == JVMTI_ERROR_NONE) {
            result = JNI_OK;
        } else {
            delete start;
        }
    }
    if (env->ExceptionCheck()) env->ExceptionClear();
    return result;
}

// ------------------------------------------------------------ GC, stacks, exit

// JVMTI cannot hold the collector off: disabling and enabling do nothing.
void disableGC() {}
void enableGC() {}
void runGC() {
    if (jvmti() != nullptr) jvmti()->ForceGarbageCollection();
}

jobjectID getMethodClass(jmethodID method) {
    jclass klass = nullptr;
    if (jvmti() == nullptr || jvmti()->GetMethodDeclaringClass(method, &klass) != JVMTI_ERROR_NONE || klass == nullptr) return nullptr;
    LocalRef guard(JvmpiCurrentEnv(), klass);
    return JvmpiClassID(klass);
}

jint lineAt(jmethodID method, jlocation location) {
    jint count = 0;
    JvmtiMemory<jvmtiLineNumberEntry> table(jvmti());
    if (location < 0 || jvmti()->GetLineNumberTable(method, &count, table.out()) != JVMTI_ERROR_NONE) return -1;
    jint line = -1;
    jlocation best = -1;
    for (jint i = 0; i < count; ++i) {
        if (table[i].start_location <= location && table[i].start_location > best) {
            best = table[i].start_location;
            line = table[i].line_number;
        }
    }
    return line;
}

void getCallTrace(JVMPI_CallTrace *trace, jint depth) {
    if (trace == nullptr) return;
    trace->num_frames = 0;
    if (depth <= 0 || trace->frames == nullptr) return;
    auto *frames = new jvmtiFrameInfo[static_cast<size_t>(depth)];
    jint count = 0;
    withThread(trace->env_id, [&](jthread thread) {
        if (jvmti()->GetStackTrace(thread, 0, depth, frames, &count) != JVMTI_ERROR_NONE) count = 0;
    });
    for (jint i = 0; i < count; ++i) {
        trace->frames[i].method_id = frames[i].method;
        trace->frames[i].lineno = lineAt(frames[i].method, frames[i].location);
    }
    trace->num_frames = count;
    delete[] frames;
}

void profilerExit(jint code) {
    fflush(stdout);
    fflush(stderr);
    exit(code);
}

jobject objectIDToObject(jobjectID id) { return JvmpiObjectFor(id); }
jobjectID objectToObjectID(jobject object) { return JvmpiObjectID(object); }

void buildInterface(JVMPI_Interface &iface) {
    iface.version = JVMPI_VERSION_1_1;
    iface.NotifyEvent = nullptr;  // the agent installs its handler
    iface.EnableEvent = JvmpiEnableEvent;
    iface.DisableEvent = JvmpiDisableEvent;
    iface.RequestEvent = JvmpiRequestEvent;
    iface.GetCallTrace = getCallTrace;
    iface.ProfilerExit = profilerExit;
    iface.RawMonitorCreate = rawMonitorCreate;
    iface.RawMonitorEnter = rawMonitorEnter;
    iface.RawMonitorExit = rawMonitorExit;
    iface.RawMonitorWait = rawMonitorWait;
    iface.RawMonitorNotifyAll = rawMonitorNotifyAll;
    iface.RawMonitorDestroy = rawMonitorDestroy;
    iface.GetCurrentThreadCpuTime = currentThreadCpuTime;
    iface.SuspendThread = suspendThread;
    iface.ResumeThread = resumeThread;
    iface.GetThreadStatus = getThreadStatus;
    iface.ThreadHasRun = threadHasRun;
    iface.CreateSystemThread = createSystemThread;
    iface.SetThreadLocalStorage = setThreadLocalStorage;
    iface.GetThreadLocalStorage = getThreadLocalStorage;
    iface.DisableGC = disableGC;
    iface.EnableGC = enableGC;
    iface.RunGC = runGC;
    iface.GetThreadObject = getThreadObject;
    iface.GetMethodClass = getMethodClass;
    iface.jobjectID2jobject = objectIDToObject;
    iface.jobject2jobjectID = objectToObjectID;
    iface.SuspendThreadList = suspendThreadList;
    iface.ResumeThreadList = resumeThreadList;
}

// ------------------------------------------------------------ the proxy VM

JavaVM *real() { return Jvmpi().realVM; }

jint JNICALL proxyGetEnv(JavaVM *, void **env, jint version) {
    if (version == JVMPI_VERSION_1_1 || version == JVMPI_VERSION_1) {
        *env = &Jvmpi().iface;
        return JNI_OK;
    }
    return real()->GetEnv(env, version);
}
jint JNICALL proxyDestroy(JavaVM *) { return real()->DestroyJavaVM(); }
jint JNICALL proxyAttach(JavaVM *, void **env, void *args) { return real()->AttachCurrentThread(env, args); }
jint JNICALL proxyDetach(JavaVM *) { return real()->DetachCurrentThread(); }
jint JNICALL proxyAttachDaemon(JavaVM *, void **env, void *args) {
    return real()->AttachCurrentThreadAsDaemon(env, args);
}

// What the emulation can use; each capability is taken only when the VM has it.
void requestCapabilities(jvmtiEnv *env) {
    jvmtiCapabilities potential{};
    env->GetPotentialCapabilities(&potential);
    jvmtiCapabilities wanted{};
    wanted.can_generate_all_class_hook_events = potential.can_generate_all_class_hook_events;
    wanted.can_generate_early_class_hook_events = potential.can_generate_early_class_hook_events;
    wanted.can_generate_early_vmstart = potential.can_generate_early_vmstart;
    wanted.can_tag_objects = potential.can_tag_objects;
    wanted.can_redefine_classes = potential.can_redefine_classes;  // start-up classes, once live
    // Only an attach retransforms (the classes loaded before it): a VM keeps the
    // original bytes of every class it loads for an agent that may.
    wanted.can_retransform_classes = Jvmpi().attached && potential.can_retransform_classes;
    wanted.can_get_source_file_name = potential.can_get_source_file_name;
    wanted.can_get_line_numbers = potential.can_get_line_numbers;
    wanted.can_get_current_thread_cpu_time = potential.can_get_current_thread_cpu_time;
    wanted.can_get_thread_cpu_time = potential.can_get_thread_cpu_time;
    wanted.can_suspend = potential.can_suspend;
    wanted.can_generate_garbage_collection_events = potential.can_generate_garbage_collection_events;
    wanted.can_generate_compiled_method_load_events = potential.can_generate_compiled_method_load_events;
    wanted.can_generate_object_free_events = potential.can_generate_object_free_events;
    wanted.can_generate_sampled_object_alloc_events = potential.can_generate_sampled_object_alloc_events;
    wanted.can_generate_vm_object_alloc_events = potential.can_generate_vm_object_alloc_events;
    wanted.can_generate_monitor_events = potential.can_generate_monitor_events;  // contention, when asked for
    env->AddCapabilities(&wanted);
    env->GetCapabilities(&Jvmpi().capabilities);
}

// Extension libraries resolve the agent's exports (zvi*, sMalloc, zvipi) from
// this library, so it is made global in the process.
void reopenGlobally() {
    std::string self = ModulePathContaining(reinterpret_cast<const void *>(&reopenGlobally));
    if (!self.empty()) dlopen(self.c_str(), RTLD_NOW | RTLD_NOLOAD | RTLD_GLOBAL);
}

// The interface and the proxy VM, usable before JVMTI is.
JavaVM *buildProxy(JavaVM *vm, bool late) {
    reopenGlobally();
    JvmpiEmulation &e = Jvmpi();
    e.realVM = vm;
    e.late = late;
    buildInterface(e.iface);
    e.proxyFunctions = *vm->functions;
    e.proxyFunctions.GetEnv = proxyGetEnv;
    e.proxyFunctions.DestroyJavaVM = proxyDestroy;
    e.proxyFunctions.AttachCurrentThread = proxyAttach;
    e.proxyFunctions.DetachCurrentThread = proxyDetach;
    e.proxyFunctions.AttachCurrentThreadAsDaemon = proxyAttachDaemon;
    e.proxyVM.functions = &e.proxyFunctions;
    e.started = true;
    return &e.proxyVM;
}

bool attachJvmti(jvmtiEnv *environment) {
    requestCapabilities(environment);
    if (!JvmpiInstallCallbacks(environment)) return false;
    Jvmpi().jvmti = environment;
    JvmpiSwitchOnRecordedEvents();
    return true;
}

jvmtiEnv *jvmtiOf(JavaVM *vm) {
    void *env = nullptr;
    if (vm == nullptr || vm->GetEnv(&env, JVMTI_VERSION_11) != JNI_OK) return nullptr;
    return static_cast<jvmtiEnv *>(env);
}

// A late start in the VM's start phase, where JVMTI is refused: a daemon
// thread attaches to the VM, waits for the live phase, takes its JVMTI
// environment and delivers the VM-initialised event itself when the VM's own
// has passed already. The application's main may run meanwhile.
void attachWhenLive(void *) {
    JavaVM *vm = Jvmpi().realVM;
    JavaVMAttachArgs args{JNI_VERSION_1_2, const_cast<char *>("ZV JVMPI attach"), nullptr};
    void *attached = nullptr;
    jvmtiEnv *environment = nullptr;
    for (int tries = 0; tries < 60000 && environment == nullptr; ++tries) {  // a minute at most
        if (attached == nullptr && vm->AttachCurrentThreadAsDaemon(&attached, &args) != JNI_OK) attached = nullptr;
        if (attached != nullptr) environment = jvmtiOf(vm);
        if (environment == nullptr) SleepMillis(1);
    }
    if (environment == nullptr || !attachJvmti(environment)) {
        fputs("The profiler interface could not be attached to this VM\n", stderr);
        if (attached != nullptr) vm->DetachCurrentThread();
        return;
    }
    auto *env = static_cast<JNIEnv *>(attached);
    jthread self = nullptr;
    if (environment->GetCurrentThread(&self) == JVMTI_ERROR_NONE) {
        LocalRef guard(env, self);
        JvmpiAddAgentJars();
        JvmpiDeliverVMInit(env, self);
    }
    vm->DetachCurrentThread();
}

JavaVM *start(JavaVM *vm) {
    if (Jvmpi().started) return &Jvmpi().proxyVM;
    jvmtiEnv *environment = jvmtiOf(vm);
    if (environment == nullptr) return nullptr;
    buildProxy(vm, false);
    if (!attachJvmti(environment)) return nullptr;
    return &Jvmpi().proxyVM;
}

}  // namespace

JvmpiEmulation &Jvmpi() {
    static JvmpiEmulation *const emulation = new JvmpiEmulation;
    return *emulation;
}

JavaVM *JvmpiStartEmulation(JavaVM *vm) { return start(vm); }

bool JvmpiEmulationStarted() { return Jvmpi().started; }

JavaVM *JvmpiStartAttachEmulation(JavaVM *vm) {
    if (Jvmpi().started) return nullptr;
    jvmtiEnv *environment = jvmtiOf(vm);
    if (environment == nullptr) return nullptr;
    Jvmpi().attached = true;
    buildProxy(vm, true);
    return attachJvmti(environment) ? &Jvmpi().proxyVM : nullptr;
}

JavaVM *JvmpiStartLateEmulation(JavaVM *vm) {
    if (Jvmpi().started) return &Jvmpi().proxyVM;
    void *env = nullptr;
    if (vm == nullptr || vm->GetEnv(&env, JNI_VERSION_1_2) != JNI_OK) return nullptr;
    buildProxy(vm, true);
    if (jvmtiEnv *environment = jvmtiOf(vm)) {
        if (!attachJvmti(environment)) return nullptr;
    } else if (!StartDetachedThread(attachWhenLive, nullptr, "ZV attach")) {
        return nullptr;
    }
    fputs("Warning: this VM has no JVMPI; the profiler interface is emulated from now on, and classes "
          "and threads that exist already are not seen.\n"
          "Load the agent with -agentpath:<ZenVaDir>/lib/libr2orar.so=OPTIONS instead of -Xrun.\n",
          stderr);
    return &Jvmpi().proxyVM;
}
