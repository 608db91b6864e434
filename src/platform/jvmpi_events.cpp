// JVMTI events turned into JVMPI events for the agent's NotifyEvent, and the
// interface's EnableEvent, DisableEvent and RequestEvent. Each JVMPI event is
// delivered on the thread that JVMTI reports it on.
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <mutex>
#include <time.h>
#include <unordered_map>

#include "platform/jni_guards.h"
#include "platform/jvmpi_dumps.h"
#include "platform/jvmpi_emulation.h"
#include "platform/jvmpi_internal.h"

namespace {

// JVMPI event type -> the JVMTI events that produce it.
struct EventRoute {
    jint jvmpi;
    jvmtiEvent jvmti[2];
    int count;
};

const EventRoute kRoutes[] = {
    {JVMPI_EVENT_CLASS_LOAD_HOOK, {JVMTI_EVENT_CLASS_FILE_LOAD_HOOK}, 1},
    {JVMPI_EVENT_CLASS_LOAD, {JVMTI_EVENT_CLASS_PREPARE}, 1},
    // Class objects freed by the collector stand for unloaded classes.
    {JVMPI_EVENT_CLASS_UNLOAD, {JVMTI_EVENT_OBJECT_FREE}, 1},
    {JVMPI_EVENT_OBJECT_FREE, {JVMTI_EVENT_OBJECT_FREE}, 1},
    // Every allocation while the heap sampler's interval is 0, plus the
    // VM's own allocations that bytecode and JNI do not make.
    {JVMPI_EVENT_OBJECT_ALLOC, {JVMTI_EVENT_SAMPLED_OBJECT_ALLOC, JVMTI_EVENT_VM_OBJECT_ALLOC}, 2},
    {JVMPI_EVENT_JVM_SHUT_DOWN, {JVMTI_EVENT_VM_DEATH}, 1},
    {JVMPI_EVENT_DATA_DUMP_REQUEST, {JVMTI_EVENT_DATA_DUMP_REQUEST}, 1},
    {JVMPI_EVENT_GC_START, {JVMTI_EVENT_GARBAGE_COLLECTION_START}, 1},
    {JVMPI_EVENT_GC_FINISH, {JVMTI_EVENT_GARBAGE_COLLECTION_FINISH}, 1},
    {JVMPI_EVENT_COMPILED_METHOD_LOAD, {JVMTI_EVENT_COMPILED_METHOD_LOAD}, 1},
    {JVMPI_EVENT_METHOD_ENTRY, {JVMTI_EVENT_METHOD_ENTRY}, 1},
    {JVMPI_EVENT_METHOD_ENTRY2, {JVMTI_EVENT_METHOD_ENTRY}, 1},
    {JVMPI_EVENT_METHOD_EXIT, {JVMTI_EVENT_METHOD_EXIT}, 1},
    // Always on inside the emulation (the thread map needs them).
    {JVMPI_EVENT_THREAD_START, {}, 0},
    {JVMPI_EVENT_THREAD_END, {}, 0},
    {JVMPI_EVENT_JVM_INIT_DONE, {}, 0},
    // Tags stay with their objects when the collector moves them, so IDs
    // never change: switching moves on succeeds and none arrive.
    {JVMPI_EVENT_OBJECT_MOVE, {}, 0},
};

const EventRoute *routeOf(jint type) {
    for (const EventRoute &route : kRoutes) {
        if (route.jvmpi == type) return &route;
    }
    return nullptr;
}

void *JNICALL jvmtiMalloc(unsigned int size) {
    unsigned char *memory = nullptr;
    if (Jvmpi().jvmti->Allocate(size, &memory) != JVMTI_ERROR_NONE) return nullptr;
    return memory;
}

// Set by the listener during one class-load hook on this thread.
thread_local bool tKeepHandedBack = false;
thread_local bool tNoSecondOffer = false;

void JNICALL onClassFileLoadHook(jvmtiEnv *, JNIEnv *env, jclass redefined, jobject loader, const char *name,
                                 jobject, jint length, const unsigned char *data, jint *newLength,
                                 unsigned char **newData) {
    if (!JvmpiEnabled(JVMPI_EVENT_CLASS_LOAD_HOOK)) return;
    tKeepHandedBack = false;
    tNoSecondOffer = false;
    JVMPI_Event event{};
    event.event_type = JVMPI_EVENT_CLASS_LOAD_HOOK;
    event.env_id = env;
    auto &hook = event.u.class_load_hook;
    hook.class_data = const_cast<unsigned char *>(data);
    hook.class_data_len = length;
    hook.malloc_f = jvmtiMalloc;
    JvmpiDeliver(&event);
    // Handing back the offered bytes means "unchanged"; JVMTI wants nothing then.
    bool changed = hook.new_class_data != nullptr && hook.new_class_data != data;
    if (changed) {
        *newData = hook.new_class_data;
        *newLength = hook.new_class_data_len;
    }
    if (redefined == nullptr && !JvmpiBootAppendLoadable() && !tNoSecondOffer) {
        bool handedBack = changed && tKeepHandedBack;
        JvmpiKeepStartupClass(name, loader, handedBack ? hook.new_class_data : data,
                              handedBack ? hook.new_class_data_len : length);
    }
}

// A start-up class that will be redefined is announced once, in its new
// version: announcing the first too would cost its listeners an unload and a
// second load (about a third of all start-up classes).
void JNICALL onClassPrepare(jvmtiEnv *, JNIEnv *env, jthread, jclass klass) {
    if (JvmpiEnabled(JVMPI_EVENT_CLASS_LOAD) && !JvmpiPrepareDeferredByRedefinition(env) &&
        !JvmpiStartupClassPending(klass))
        JvmpiDeliverClassLoad(env, klass, JVMPI_EVENT_CLASS_LOAD);
}

}  // namespace

// Classes loaded before the start phase (or before an attach) got no
// ClassPrepare: they are delivered once, when the VM is initialised (or the
// loaded classes have been instrumented). Those still to be redefined wait
// for their new version, so that listeners learn each class once.
void JvmpiDeliverUnannouncedClasses(JNIEnv *env) {
    jvmtiEnv *jvmti = Jvmpi().jvmti;
    JvmtiRefArray<jclass> classes(jvmti, env);
    if (jvmti->GetLoadedClasses(classes.count(), classes.out()) != JVMTI_ERROR_NONE) return;
    for (jint i = 0; i < classes.size(); ++i) {
        jint status = 0;
        jvmti->GetClassStatus(classes[i], &status);
        bool plain = (status & (JVMTI_CLASS_STATUS_ARRAY | JVMTI_CLASS_STATUS_PRIMITIVE)) == 0;
        if (plain && (status & JVMTI_CLASS_STATUS_PREPARED) != 0 && !JvmpiHasClassID(classes[i]) &&
            !JvmpiStartupClassPending(classes[i])) {
            JvmpiDeliverClassLoad(env, classes[i], JVMPI_EVENT_CLASS_LOAD);
        }
    }
}

namespace {

void JNICALL onThreadStart(jvmtiEnv *, JNIEnv *env, jthread thread) {
    bool fresh = JvmpiRememberThread(env, thread);
    if (fresh && JvmpiEnabled(JVMPI_EVENT_THREAD_START)) JvmpiDeliverThreadStart(env, thread, env);
}

void JNICALL onThreadEnd(jvmtiEnv *, JNIEnv *env, jthread) {
    if (JvmpiEnabled(JVMPI_EVENT_THREAD_END)) {
        JVMPI_Event event{};
        event.event_type = JVMPI_EVENT_THREAD_END;
        event.env_id = env;
        JvmpiDeliver(&event);
    }
    JvmpiForgetThread(env);
}

void JNICALL onVMInit(jvmtiEnv *, JNIEnv *env, jthread thread) {
    JvmpiStartupMark("VM initialised");
    JvmpiDeliverVMInit(env, thread);
    JvmpiStartupMark("VM-initialised work done");
}

void JNICALL onVMDeath(jvmtiEnv *, JNIEnv *env) {
    JvmpiStartupMark("VM death");
    if (!JvmpiEnabled(JVMPI_EVENT_JVM_SHUT_DOWN)) return;
    JVMPI_Event event{};
    event.event_type = JVMPI_EVENT_JVM_SHUT_DOWN;
    event.env_id = env;
    JvmpiDeliver(&event);
}

// JNI is not allowed during a collection: the listeners run with no JNIEnv.
void deliverGC(jint type) {
    if (!JvmpiEnabled(type)) return;
    JVMPI_Event event{};
    event.event_type = type;
    JvmpiDeliver(&event);
}

void JNICALL onGCStart(jvmtiEnv *) { deliverGC(JVMPI_EVENT_GC_START); }
void JNICALL onGCFinish(jvmtiEnv *) { deliverGC(JVMPI_EVENT_GC_FINISH); }

void JNICALL onDataDumpRequest(jvmtiEnv *) {
    if (!JvmpiEnabled(JVMPI_EVENT_DATA_DUMP_REQUEST)) return;
    JVMPI_Event event{};
    event.event_type = JVMPI_EVENT_DATA_DUMP_REQUEST;
    event.env_id = JvmpiCurrentEnv();
    JvmpiDeliver(&event);
}

void JNICALL onCompiledMethodLoad(jvmtiEnv *, jmethodID method, jint codeSize, const void *codeAddress,
                                  jint, const jvmtiAddrLocationMap *, const void *) {
    if (!JvmpiEnabled(JVMPI_EVENT_COMPILED_METHOD_LOAD)) return;
    JVMPI_Event event{};
    event.event_type = JVMPI_EVENT_COMPILED_METHOD_LOAD;
    event.env_id = JvmpiCurrentEnv();
    auto &load = event.u.compiled_method_load;
    load.method_id = method;
    load.code_addr = const_cast<void *>(codeAddress);
    load.code_size = codeSize;
    JvmpiDeliver(&event);
}

void JNICALL onObjectFree(jvmtiEnv *, jlong tag) { JvmpiObjectFreed(tag); }

void JNICALL onMethodEntry(jvmtiEnv *, JNIEnv *env, jthread, jmethodID method) {
    JVMPI_Event event{};
    event.env_id = env;
    if (JvmpiEnabled(JVMPI_EVENT_METHOD_ENTRY)) {
        event.event_type = JVMPI_EVENT_METHOD_ENTRY;
        event.u.method.method_id = method;
        JvmpiDeliver(&event);
    }
    if (JvmpiEnabled(JVMPI_EVENT_METHOD_ENTRY2)) {
        event.event_type = JVMPI_EVENT_METHOD_ENTRY2;
        event.u.method_entry2.method_id = method;
        event.u.method_entry2.obj_id = nullptr;  // the receiver is not reported
        JvmpiDeliver(&event);
    }
}

void JNICALL onMethodExit(jvmtiEnv *, JNIEnv *env, jthread, jmethodID method, jboolean, jvalue) {
    if (!JvmpiEnabled(JVMPI_EVENT_METHOD_EXIT)) return;
    JVMPI_Event event{};
    event.event_type = JVMPI_EVENT_METHOD_EXIT;
    event.env_id = env;
    event.u.method.method_id = method;
    JvmpiDeliver(&event);
}

// JVMPI's array kind of the class, from its signature, remembered by class tag.
jint arrayKind(jvmtiEnv *jvmti, jclass klass, jobjectID classID) {
    JvmpiEmulation::Events &state = Jvmpi().events;
    jlong classTag = JvmpiTagFromID(classID);
    {
        std::lock_guard<std::mutex> lock(state.kindMutex);
        auto found = state.kinds.find(classTag);
        if (found != state.kinds.end()) return found->second;
    }
    JvmtiMemory<char> signature(jvmti);
    if (jvmti->GetClassSignature(klass, signature.out(), nullptr) != JVMTI_ERROR_NONE) return 0;
    jint kind = signature[0] == '[' ? JvmpiTypeCode(signature[1]) : 0;
    if (classTag != 0) {
        std::lock_guard<std::mutex> lock(state.kindMutex);
        state.kinds[classTag] = kind;
    }
    return kind;
}

// Both allocation events may report one object: the first gives it its ID,
// the second finds it tagged and is dropped.
void deliverAllocation(jvmtiEnv *jvmti, JNIEnv *env, jobject object, jclass klass, jlong size) {
    if (!JvmpiEnabled(JVMPI_EVENT_OBJECT_ALLOC)) return;
    jobjectID id = JvmpiNewObjectID(object);
    if (id == nullptr) return;
    JVMPI_Event event{};
    event.event_type = JVMPI_EVENT_OBJECT_ALLOC;
    event.env_id = env;
    auto &alloc = event.u.obj_alloc;
    alloc.class_id = JvmpiAllocatedClassID(klass);
    alloc.is_array = arrayKind(jvmti, klass, alloc.class_id);
    alloc.size = size > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<jint>(size);
    alloc.obj_id = id;
    JvmpiDeliver(&event);
}

// Calls handler with the class signature of klass, JVMTI's for the call.
template <typename Handler>
void withSignature(jvmtiEnv *jvmti, jclass klass, Handler handler) {
    JvmtiMemory<char> signature(jvmti);
    if (klass != nullptr && jvmti->GetClassSignature(klass, signature.out(), nullptr) == JVMTI_ERROR_NONE &&
        signature.get() != nullptr)
        handler(signature.get());
}

void JNICALL onSampledObjectAlloc(jvmtiEnv *jvmti, JNIEnv *env, jthread, jobject object, jclass klass,
                                  jlong size) {
    if (JvmpiAllocationSampled sampled = Jvmpi().events.allocationSampled.load(std::memory_order_acquire))
        withSignature(jvmti, klass, [&](const char *signature) { sampled(env, signature, size); });
    deliverAllocation(jvmti, env, object, klass, size);
}

// When each thread began to wait for a monitor; 0 while it waits for none.
thread_local int64_t tContendedSince = 0;

int64_t monotonicNanos() {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

void JNICALL onMonitorContendedEnter(jvmtiEnv *, JNIEnv *, jthread, jobject) { tContendedSince = monotonicNanos(); }

void JNICALL onMonitorContendedEntered(jvmtiEnv *jvmti, JNIEnv *env, jthread, jobject object) {
    int64_t since = tContendedSince;
    tContendedSince = 0;
    JvmpiMonitorContended contended = Jvmpi().events.contended.load(std::memory_order_acquire);
    if (since == 0 || contended == nullptr) return;
    int64_t waited = monotonicNanos() - since;
    LocalRef<jclass> klass(env, env->GetObjectClass(object));
    withSignature(jvmti, klass, [&](const char *signature) { contended(env, signature, waited > 0 ? waited : 0); });
}

void JNICALL onVMObjectAlloc(jvmtiEnv *jvmti, JNIEnv *env, jthread, jobject object, jclass klass, jlong size) {
    deliverAllocation(jvmti, env, object, klass, size);
}

jvmtiError setMode(jvmtiEventMode mode, jvmtiEvent event) {
    return Jvmpi().jvmti->SetEventNotificationMode(mode, event, nullptr);
}

// JVMTI events shared by several JVMPI types stay on while any of them is on.
bool stillWanted(jvmtiEvent event) {
    for (const EventRoute &route : kRoutes) {
        for (int i = 0; i < route.count; ++i) {
            if (route.jvmti[i] == event && JvmpiEnabled(route.jvmpi)) return true;
        }
    }
    return false;
}

// Method events slow the VM down, so their capability is only asked for
// when a listener switches them on.
bool ensureMethodCapability() {
    JvmpiEmulation &emulation = Jvmpi();
    if (emulation.capabilities.can_generate_method_entry_events &&
        emulation.capabilities.can_generate_method_exit_events) {
        return true;
    }
    jvmtiCapabilities wanted{};
    wanted.can_generate_method_entry_events = 1;
    wanted.can_generate_method_exit_events = 1;
    if (emulation.jvmti->AddCapabilities(&wanted) != JVMTI_ERROR_NONE) return false;
    emulation.jvmti->GetCapabilities(&emulation.capabilities);
    return true;
}

bool capabilityFor(jint type) {
    const jvmtiCapabilities &caps = Jvmpi().capabilities;
    switch (type) {
        case JVMPI_EVENT_METHOD_ENTRY:
        case JVMPI_EVENT_METHOD_ENTRY2:
        case JVMPI_EVENT_METHOD_EXIT: return ensureMethodCapability();
        case JVMPI_EVENT_GC_START:
        case JVMPI_EVENT_GC_FINISH: return caps.can_generate_garbage_collection_events;
        case JVMPI_EVENT_COMPILED_METHOD_LOAD: return caps.can_generate_compiled_method_load_events;
        case JVMPI_EVENT_CLASS_UNLOAD:
        case JVMPI_EVENT_OBJECT_FREE: return caps.can_generate_object_free_events;
        case JVMPI_EVENT_OBJECT_ALLOC:
            return caps.can_generate_sampled_object_alloc_events && caps.can_generate_vm_object_alloc_events &&
                   caps.can_tag_objects;
        default: return true;
    }
}

// Built and delivered on the requesting thread before the request returns.
// Without an argument the dump is a full one (level 2), as in JVMPI.
jint requestHeapDump(JVMPI_Event &event, const JVMPI_HeapDumpArg *arg) {
    jint level = arg != nullptr ? arg->heap_dump_level : JVMPI_DUMP_LEVEL_2;
    if (event.env_id == nullptr || level < JVMPI_DUMP_LEVEL_0 || level > JVMPI_DUMP_LEVEL_2) return JVMPI_FAIL;
    DumpWriter dump;
    if (!JvmpiWriteHeapDump(dump, event.env_id, level)) return JVMPI_FAIL;
    static char empty[1];
    event.u.heap_dump.dump_level = level;
    event.u.heap_dump.begin = dump.size() > 0 ? dump.begin() : empty;
    event.u.heap_dump.end = dump.size() > 0 ? dump.end() : empty;
    JvmpiDeliver(&event);
    return JVMPI_SUCCESS;
}

// The record of the object with that ID, with all its values.
jint requestObjectDump(JVMPI_Event &event, jobjectID id) {
    JNIEnv *env = event.env_id;
    LocalRef object(env, env != nullptr ? JvmpiObjectFor(id) : nullptr);
    if (!object) return JVMPI_FAIL;
    DumpWriter dump;
    bool written;
    {
        DumpRecords records(env, JVMPI_DUMP_LEVEL_2);
        written = records.write(dump, object);
    }
    if (!written || dump.size() > INT32_MAX) return JVMPI_FAIL;
    event.u.object_dump.data_len = static_cast<jint>(dump.size());
    event.u.object_dump.data = dump.begin();
    JvmpiDeliver(&event);
    return JVMPI_SUCCESS;
}

}  // namespace

void JvmpiRedefineFromHandedBackBytes() { tKeepHandedBack = true; }
void JvmpiNoSecondOffer() { tNoSecondOffer = true; }

void JvmpiDeliver(JVMPI_Event *event) {
    void (*notify)(JVMPI_Event *) = Jvmpi().iface.NotifyEvent;
    if (notify != nullptr) notify(event);
}

void JvmpiDeliverVMInit(JNIEnv *env, jthread thread) {
    // The initial thread started before thread events existed.
    onThreadStart(nullptr, env, thread);
    static std::atomic<bool> delivered{false};
    if (delivered.exchange(true)) return;
    if (Jvmpi().late) {
        JvmpiAddAgentJars();  // now that the agent has read its options
    } else if (JvmpiEnabled(JVMPI_EVENT_CLASS_LOAD)) {
        JvmpiDeliverUnannouncedClasses(env);
    }
    JvmpiStartupMark("loaded classes announced");
    if (JvmpiEnabled(JVMPI_EVENT_JVM_INIT_DONE)) {
        JVMPI_Event event{};
        event.event_type = JVMPI_EVENT_JVM_INIT_DONE;
        event.env_id = env;
        JvmpiDeliver(&event);
    }
}

bool JvmpiInstallCallbacks(jvmtiEnv *jvmti) {
    jvmtiEventCallbacks callbacks{};
    callbacks.ClassFileLoadHook = onClassFileLoadHook;
    callbacks.ClassPrepare = onClassPrepare;
    callbacks.ThreadStart = onThreadStart;
    callbacks.ThreadEnd = onThreadEnd;
    callbacks.VMInit = onVMInit;
    callbacks.VMDeath = onVMDeath;
    callbacks.GarbageCollectionStart = onGCStart;
    callbacks.GarbageCollectionFinish = onGCFinish;
    callbacks.DataDumpRequest = onDataDumpRequest;
    callbacks.CompiledMethodLoad = onCompiledMethodLoad;
    callbacks.ObjectFree = onObjectFree;
    callbacks.MethodEntry = onMethodEntry;
    callbacks.MethodExit = onMethodExit;
    callbacks.SampledObjectAlloc = onSampledObjectAlloc;
    callbacks.VMObjectAlloc = onVMObjectAlloc;
    callbacks.MonitorContendedEnter = onMonitorContendedEnter;
    callbacks.MonitorContendedEntered = onMonitorContendedEntered;
    if (jvmti->SetEventCallbacks(&callbacks, sizeof callbacks) != JVMTI_ERROR_NONE) return false;
    // A thread samples again only after its next sample point, which it
    // picks from the interval in force at its previous sample: an interval
    // of 0 from the start makes every allocation a sample from the moment
    // the event is switched on. It costs nothing while the event is off.
    if (Jvmpi().capabilities.can_generate_sampled_object_alloc_events) jvmti->SetHeapSamplingInterval(0);
    for (jvmtiEvent event : {JVMTI_EVENT_VM_INIT, JVMTI_EVENT_THREAD_START, JVMTI_EVENT_THREAD_END}) {
        if (jvmti->SetEventNotificationMode(JVMTI_ENABLE, event, nullptr) != JVMTI_ERROR_NONE) return false;
    }
    return true;
}

// Events switched on before a late emulation has JVMTI are only marked; they
// are switched on in JVMTI when it arrives.
void JvmpiSwitchOnRecordedEvents() {
    uint64_t marked = Jvmpi().enabled.load();
    for (jint type = 0; type < 64; ++type) {
        if ((marked >> type & 1) != 0) {
            Jvmpi().enabled.fetch_and(~(uint64_t{1} << type));
            JvmpiEnableEvent(type, nullptr);
        }
    }
}

jint JvmpiEnableEvent(jint type, void *) {
    const EventRoute *route = routeOf(type);
    if (route == nullptr) return JVMPI_NOT_AVAILABLE;
    if (Jvmpi().jvmti == nullptr) {
        Jvmpi().enabled.fetch_or(uint64_t{1} << type);
        return JVMPI_SUCCESS;
    }
    if (!capabilityFor(type)) return JVMPI_NOT_AVAILABLE;
    // Every allocation needs the sampler's interval at 0: not while a profiler samples them.
    if (type == JVMPI_EVENT_OBJECT_ALLOC && Jvmpi().events.allocationSampled.load() != nullptr) return JVMPI_NOT_AVAILABLE;
    // Marked first, so that no event is lost between switch and mark.
    Jvmpi().enabled.fetch_or(uint64_t{1} << type);
    for (int i = 0; i < route->count; ++i) {
        if (setMode(JVMTI_ENABLE, route->jvmti[i]) != JVMTI_ERROR_NONE) {
            Jvmpi().enabled.fetch_and(~(uint64_t{1} << type));
            return JVMPI_NOT_AVAILABLE;
        }
    }
    // Allocation buffers handed out before the switch end where the buffer
    // does, not at a sample point: a collection retires them all, so that
    // every allocation from here on is sampled. Refused before the VM runs,
    // when there are none yet.
    if (type == JVMPI_EVENT_OBJECT_ALLOC) Jvmpi().jvmti->ForceGarbageCollection();
    return JVMPI_SUCCESS;
}

jint JvmpiDisableEvent(jint type, void *) {
    const EventRoute *route = routeOf(type);
    if (route == nullptr) return JVMPI_NOT_AVAILABLE;
    Jvmpi().enabled.fetch_and(~(uint64_t{1} << type));
    if (Jvmpi().jvmti == nullptr) return JVMPI_SUCCESS;
    for (int i = 0; i < route->count; ++i) {
        bool sampling = route->jvmti[i] == JVMTI_EVENT_SAMPLED_OBJECT_ALLOC && Jvmpi().events.allocationSampled.load() != nullptr;
        if (!sampling && !stillWanted(route->jvmti[i])) setMode(JVMTI_DISABLE, route->jvmti[i]);
    }
    return JVMPI_SUCCESS;
}

jint JvmpiRequestEvent(jint type, void *arg) {
    if (Jvmpi().jvmti == nullptr) return JVMPI_NOT_AVAILABLE;
    JVMPI_Event event{};
    event.event_type = type | JVMPI_REQUESTED_EVENT;
    event.env_id = JvmpiCurrentEnv();
    switch (type) {
        case JVMPI_EVENT_HEAP_DUMP: return requestHeapDump(event, static_cast<JVMPI_HeapDumpArg *>(arg));
        case JVMPI_EVENT_OBJECT_DUMP: return requestObjectDump(event, static_cast<jobjectID>(arg));
        case JVMPI_EVENT_CLASS_LOAD: {
            JNIEnv *env = event.env_id;
            if (env == nullptr) return JVMPI_FAIL;
            LocalRef klass(env, static_cast<jclass>(JvmpiObjectFor(static_cast<jobjectID>(arg))));
            return klass && JvmpiDeliverClassLoad(env, klass, event.event_type) ? JVMPI_SUCCESS : JVMPI_FAIL;
        }
        default: return JVMPI_NOT_AVAILABLE;
    }
}

bool JvmpiStartAllocationSampling(jlong intervalBytes, JvmpiAllocationSampled sampled) {
    JvmpiEmulation &emulation = Jvmpi();
    std::lock_guard<std::mutex> lock(emulation.events.profilerEventsMutex);
    if (emulation.jvmti == nullptr || sampled == nullptr || !emulation.capabilities.can_generate_sampled_object_alloc_events ||
        intervalBytes < 1 || intervalBytes > (jlong{1} << 30) || emulation.events.allocationSampled.load() != nullptr ||
        JvmpiEnabled(JVMPI_EVENT_OBJECT_ALLOC))
        return false;
    if (emulation.jvmti->SetHeapSamplingInterval(static_cast<jint>(intervalBytes)) != JVMTI_ERROR_NONE) return false;
    emulation.events.allocationSampled.store(sampled, std::memory_order_release);
    if (setMode(JVMTI_ENABLE, JVMTI_EVENT_SAMPLED_OBJECT_ALLOC) != JVMTI_ERROR_NONE) {
        emulation.events.allocationSampled.store(nullptr);
        emulation.jvmti->SetHeapSamplingInterval(0);
        return false;
    }
    return true;
}

bool JvmpiStartContentionEvents(JvmpiMonitorContended contended) {
    JvmpiEmulation &emulation = Jvmpi();
    std::lock_guard<std::mutex> lock(emulation.events.profilerEventsMutex);
    if (emulation.jvmti == nullptr || contended == nullptr || !emulation.capabilities.can_generate_monitor_events ||
        emulation.events.contended.load() != nullptr)
        return false;
    emulation.events.contended.store(contended, std::memory_order_release);
    for (jvmtiEvent event : {JVMTI_EVENT_MONITOR_CONTENDED_ENTER, JVMTI_EVENT_MONITOR_CONTENDED_ENTERED}) {
        if (setMode(JVMTI_ENABLE, event) != JVMTI_ERROR_NONE) {
            setMode(JVMTI_DISABLE, JVMTI_EVENT_MONITOR_CONTENDED_ENTER);
            emulation.events.contended.store(nullptr);
            return false;
        }
    }
    return true;
}
