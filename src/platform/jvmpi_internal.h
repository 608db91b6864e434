// Shared state of the JVMPI emulation's files: the JVMTI environment, the
// emulated interface, event switches, the JNIEnv-to-thread map and object IDs.
#pragma once

#include <jni.h>
#include <jvmti.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/jvmpi.h"
#include "platform/jvmpi_emulation.h"
#include "platform/tag_numbers.h"

// IDs are 4 bytes on the dump wire; larger tags mark objects during a heap dump.
constexpr jlong kLargestObjectTag = 0xFFFFFFFF;
// The tags of every tagged object in the heap (a heap walk).
std::vector<int64_t> JvmpiLiveTags();

// The emulation's one owner record: what the VM gave, the interface and the
// proxy VM handed out, and the state of each part (its file named beside it),
// each part with its own locks. Made on first use and never destroyed: VM
// threads may still call in while the process exits.
struct JvmpiEmulation {
    jvmtiEnv *jvmti = nullptr;
    JavaVM *realVM = nullptr;
    JVMPI_Interface iface{};
    jvmtiCapabilities capabilities{};  // what the VM granted
    bool late = false;                 // attached after the VM's load phase
    bool attached = false;             // loaded into a running VM through its attach mechanism
    std::atomic<uint64_t> enabled{0};  // one bit per JVMPI event type below 64
    // The JavaVM handed to the agent: the real one's functions, some replaced.
    JNIInvokeInterface_ proxyFunctions{};
    JavaVM proxyVM{};
    bool started = false;
    std::mutex monitorCreation;  // raw monitors are made on first use

    struct Events {  // jvmpi_events.cpp
        // JVMPI's array kinds by class tag: 0 for plain objects, else the element's type code.
        std::mutex kindMutex;
        std::unordered_map<jlong, jint> kinds;
        // A profiler's handlers of sampled allocations and of monitor contention.
        std::atomic<JvmpiAllocationSampled> allocationSampled{nullptr};
        std::atomic<JvmpiMonitorContended> contended{nullptr};
        std::mutex profilerEventsMutex;  // one start of each at a time
    } events;

    // No lock that an allocation callback may wait for is ever held over a
    // JVMTI call: a heap walk stops every thread at its escape barrier, also one
    // inside SetTag, and reallocates their objects itself, which raises
    // allocation events on the walking thread.
    struct Objects {  // jvmpi_objects.cpp
        std::mutex numberMutex;  // the numbers only
        TagNumbers numbers{kLargestObjectTag, JvmpiLiveTags};
        std::mutex lazyMutex;  // tagging of existing objects, which two threads may race for
        std::mutex classMutex;
        std::unordered_set<jlong> classTags;
        std::unordered_set<jlong> announcedClasses;  // whose class-load event was delivered
    } objects;

    struct Threads {  // jvmpi_threads.cpp
        struct Entry {
            jthread thread;  // global reference
            jlong lastCpuTime;
            bool startDelivered;
        };
        std::mutex mutex;
        std::unordered_map<JNIEnv *, Entry> byEnv;
        std::unordered_map<JNIEnv *, void *> storage;  // under mutex
    } threads;

    struct StartupClasses {  // jvmpi_startup_classes.cpp
        std::mutex mutex;
        bool keeping = true;  // until the classes are redefined
        bool waiting = false;  // a class's load waits for its redefinition
        JNIEnv *redefiningOn = nullptr;  // the thread redefining them, while it does
        std::unordered_map<std::string, std::vector<unsigned char>> bytes;
    } startupClasses;

    struct ClassPaths {  // jvmpi_class_paths.cpp
        std::string bootAppendAtLoad;
        std::string addedBootJar;  // what the agent appended itself (not in the property when live)
        std::string addedClassPathJar;  // the same for the system class path
    } classPaths;
};

JvmpiEmulation &Jvmpi();

// ---------------------------------------------------------------- events (jvmpi_events.cpp)

inline bool JvmpiEnabled(jint type) {
    return type >= 0 && type < 64 && (Jvmpi().enabled.load(std::memory_order_relaxed) >> type & 1) != 0;
}
// Hands the event to the agent's NotifyEvent, when one is installed.
void JvmpiDeliver(JVMPI_Event *event);
// Installs the JVMTI callbacks and switches on the events the emulation
// always needs (VM start-up, thread life).
bool JvmpiInstallCallbacks(jvmtiEnv *jvmti);
// Switches on in JVMTI what was switched on before JVMTI was available.
void JvmpiSwitchOnRecordedEvents();
// Delivers a thread start for the initial thread and, once per process, the
// VM-initialised event.
void JvmpiDeliverVMInit(JNIEnv *env, jthread thread);
// Delivers a class load for every prepared class whose load was not delivered.
void JvmpiDeliverUnannouncedClasses(JNIEnv *env);
// EnableEvent / DisableEvent / RequestEvent of the interface.
jint JvmpiEnableEvent(jint type, void *arg);
jint JvmpiDisableEvent(jint type, void *arg);
jint JvmpiRequestEvent(jint type, void *arg);

// ---------------------------------------------------------------- class loads (jvmpi_class_load.cpp)

// Builds and delivers a class-load event for the class (event type with the
// requested bit when asked for). False when the class cannot be described.
bool JvmpiDeliverClassLoad(JNIEnv *env, jclass klass, jint eventType);

// ---------------------------------------------------------------- start-up classes (jvmpi_startup_classes.cpp)

// Keeps a copy of the bytes of a boot class offered to the hook while the VM
// starts, for JvmpiRedefineStartupClasses; nothing once that has run.
void JvmpiKeepStartupClass(const char *name, jobject loader, const unsigned char *data, jint length);
// True while the class waits to be redefined by JvmpiRedefineStartupClasses,
// which then delivers its load.
bool JvmpiStartupClassPending(jclass klass);
// True when the class's prepare event comes from the start-up classes'
// redefinition on this thread (the VM links a class it redefines, with its
// superclasses); its load is then delivered once every hook has run.
bool JvmpiPrepareDeferredByRedefinition(JNIEnv *env);

// ---------------------------------------------------------------- threads (jvmpi_threads.cpp)

// The calling thread's JNIEnv, or null when it is not attached to the VM.
JNIEnv *JvmpiCurrentEnv();
// Records env -> thread; true when the thread's start has not been delivered
// yet (and marks it delivered).
bool JvmpiRememberThread(JNIEnv *env, jthread thread);
void JvmpiForgetThread(JNIEnv *env);
// A local reference to the thread of env in the calling thread's frame (the
// caller deletes it with DeleteLocalRef); for the calling thread itself the
// result is null with *current set. False when env is unknown.
bool JvmpiThreadOf(JNIEnv *env, jthread *thread, bool *current);
// Thread-local storage as seen from other threads: a copy of what each thread
// set, kept here because JVMTI does not always show another thread's storage
// (JDK 25 misses that of the initial thread). Forgotten with the thread.
void JvmpiKeepStorage(JNIEnv *env, void *value);
void *JvmpiKeptStorage(JNIEnv *env);
// The previous CPU time seen for env by ThreadHasRun, replaced by now.
jlong JvmpiSwapCpuTime(JNIEnv *env, jlong now);
// Delivers a thread-start event for the thread (env is its JNIEnv).
void JvmpiDeliverThreadStart(JNIEnv *env, jthread thread, JNIEnv *eventEnv);

// ---------------------------------------------------------------- object IDs (jvmpi_objects.cpp)

// Object IDs are JVMTI tags: small unsigned numbers that fit in 32 bits.
jobjectID JvmpiObjectID(jobject object);
// The class's ID, remembered as a class so that its unloading can be told.
jobjectID JvmpiClassID(jclass klass);
// True when the class already has an ID (its load was delivered).
bool JvmpiHasClassID(jclass klass);
// A local reference to the object with that ID, or null.
jobject JvmpiObjectFor(jobjectID id);
// JVMTI ObjectFree: class unload or object free.
void JvmpiObjectFreed(jlong tag);

inline jobjectID JvmpiIDFromTag(jlong tag) { return reinterpret_cast<jobjectID>(static_cast<uintptr_t>(tag)); }
inline jlong JvmpiTagFromID(jobjectID id) { return static_cast<jlong>(reinterpret_cast<uintptr_t>(id) & 0xFFFFFFFFu); }

// A fresh ID for a newly allocated object; null when it has one already
// (another allocation event reported it) or none can be given.
jobjectID JvmpiNewObjectID(jobject object);
// The class's ID, from an allocation callback: never waits for another thread.
jobjectID JvmpiAllocatedClassID(jclass klass);
// True when the tag is that of a class whose ID was handed out.
bool JvmpiIsClassTag(jlong tag);
// Classes whose class-load event the listeners have had: only those get class
// records in heap dumps, as a reader parses a record with what that event said.
void JvmpiMarkClassAnnounced(jobjectID classID);
bool JvmpiClassAnnounced(jclass klass);

// Calls visit(env, thread) for every thread the emulation knows.
void JvmpiForEachThread(const std::function<void(JNIEnv *, jthread)> &visit);
