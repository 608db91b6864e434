// The process-wide record of the instrumentation runtime: what the context
// bootstrap looked up, its flags, the per-thread slots it uses and the list
// of global references waiting to be released.
#pragma once

#include <jni.h>

#include <atomic>
#include <cstdint>

#include "platform/mutex.h"
#include "pri/runtime/runtime.h"
#include "support/containers.h"

// Words of a thread's storage block that the runtime uses.
enum PRIThreadSlot {
    PRI_SLOT_THREAD = 0,      // the registry handle, mirrored into threadInfo
    PRI_SLOT_CONTEXT = 1,     // global reference to the thread's ZVContext
    PRI_SLOT_CALLSTACK = 2,   // global reference to its callStack array
    PRI_SLOT_WORKSPACE = 3,   // heap block owned by the thread
    PRI_SLOT_INIT_STATE = 8,  // 1 while the Java side initialises, 2 after
};

// Backtrace-ID providers are tables of functions; the thirteenth answers
// getCurrentBacktraceID0.
typedef int (*PRIBacktraceIDFunction)(JNIEnv *env, int zero, int n);
constexpr int kPRIBacktraceIDEntry = 12;

struct PRIRuntime {
    JavaVM *vm = nullptr;
    PRIGetStorage getStorage = nullptr;
    PRISetStorage setStorage = nullptr;
    PRIAgentQueries agent{};
    bool initialized = false;  // PRIInitialize ran: instrumentation is active
    int tlsSlot = -1;  // the context's global reference, for direct instrumentation

    jclass contextClass = nullptr;  // global reference
    jclass threadClass = nullptr;   // global reference
    jfieldID threadInfoField = nullptr;
    jfieldID callStackField = nullptr;
    jfieldID stackPointerField = nullptr;
    jfieldID hasRunCounterField = nullptr;
    jmethodID getCurrentContext = nullptr;
    jmethodID removeContext = nullptr;
    jmethodID getContextWarning = nullptr;
    jmethodID threadGetContext = nullptr;  // Thread.__ZV_getContext_, looked up on first use

    volatile bool bootstrapDone = false;
    bool vmExiting = false;  // set by the VM's death, read by threads that end: atomic_ref
    bool threadHasContextField = false;

    int directIMode = 0;
    int useHighPrecisionTimer = 0;
    int ignoreCPUFrequency = 0;

    ZVVector *deferredReleases = nullptr;  // global references
    // Guards deferredReleases, and every change of a context slot that drops
    // a reference and every deletion of one (thread_context.cpp).
    RecursiveMutex *deferredMutex = nullptr;

    bool notificationsOn = false;
    PRIMethodEnteredHook enteredHook = nullptr;
    PRIMethodExitedHook exitedHook = nullptr;
    void **backtraceIDProvider = nullptr;
};

PRIRuntime &PRIState();

// The calling thread's JNI environment; ends the process when the thread is
// not attached (the runtime cannot go on without one).
JNIEnv *getCurrentJNIEnv();

// Per-thread slots through the agent's storage.
ZVWord PRIGetSlot(JNIEnv *env, int slot);
void PRISetSlot(JNIEnv *env, int slot, ZVWord value);

// A global reference of the caller's own to the context of another thread,
// or null when it has none or its end has begun. The thread's storage and
// its reference stay in place while they are read (see thread_context.cpp).
jobject PRINewContextReference(JNIEnv *caller, JNIEnv *thread);

// Describes and clears a pending Java exception; true when there was one.
bool PRIClearException(JNIEnv *env);

// Sets a boolean switch of the context class (named by its contract entry)
// and has its entries follow the switches; false when either failed.
bool PRISetContextSwitch(JNIEnv *env, jclass context, const char *name, bool on);

// The context natives as the runtime implements them.
jobject PRIGetContext(JNIEnv *env);
void PRIStoreContext(JNIEnv *env, jobject context);
void PRIReleaseDeferredReferences(JNIEnv *env);

// Binds the context class's natives; false when RegisterNatives failed.
bool PRIRegisterContextNatives(JNIEnv *env, jclass contextClass);
// Binds ZVTime.time0 to the clock routine of the clock's mode.
bool PRIRegisterTimeNative(JNIEnv *env, jclass timeClass);
