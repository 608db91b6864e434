// The instrumentation runtime as the agent core calls it: initialisation,
// the Java-side bootstrap, per-thread context bookkeeping, direct
// instrumentation, method notifications, the thread sampler, and backtraces,
// method buffers and markers as extensions reach them.
#pragma once

#include <jni.h>

#include <cstdint>

#include "platform/export.h"
#include "pri/runtime/markers.h"
#include "support/containers.h"
#include "zvi.h"

// The agent's per-thread storage, handed in before PRIInitialize so that the
// runtime depends on the agent core only through these two functions.
typedef ZVWord (*PRIGetStorage)(JNIEnv *env, int slot);
typedef void (*PRISetStorage)(JNIEnv *env, int slot, ZVWord value);
void PRIUseThreadStorage(PRIGetStorage get, PRISetStorage set);

// What backtraces ask the agent core about threads, handed in the same way.
// Any entry may be null: no thread is then an audit thread, every
// environment is valid and the memory profiler is off.
struct PRIAgentQueries {
    int (*isAuditThread)(JNIEnv *env);
    int (*isValidEnv)(JNIEnv *env);
    int (*memoryProfilerEnabled)(void);
    // For the thread sampler: without them, a thread counts as having run
    // only by its own has-run mark.
    jint (*threadStatus)(JNIEnv *env);
    unsigned char (*threadHasRun)(JNIEnv *sampler, JNIEnv *env, int useSampler, int useStatus);
    void (*disableGC)(void);
    void (*enableGC)(void);
    void (*suspendThread)(JNIEnv *env);
    void (*resumeThread)(JNIEnv *env);
    // The registry's lock: while it is held, no registered thread gets past
    // its unregistration, the first step of its end, after which its storage
    // and context references go (isValidEnv tells whether it is registered).
    // Without them another thread's context is read unguarded.
    void (*lockThreads)(void);
    void (*unlockThreads)(void);
};
void PRIUseAgentQueries(const PRIAgentQueries &queries);

// Once, from JVM_OnLoad, after the options are read.
void PRIInitialize(JavaVM *vm, int directIMode, int useHighPrecisionTimer,
                   int ignoreCPUFrequency, int instrumentLines, int debugInstrumentation,
                   const char *debugClassInstrumentation,
                   const char *debugMethodInstrumentation);
// Once, at the VM-initialised event, after the audit classes were found.
void PRIBootstrapContextClass(JNIEnv *env, int hibernate, int hibernateEnabled);
// At the end of the VM-initialised processing.
void PRICallInitDone(JNIEnv *env);
void PRINotifyVMExiting(JNIEnv *env);
void PRIThreadEnded(JNIEnv *env);
int PRIIsBootstrapDone(void);
// The same as the context native getContext0 for the given thread.
jobject PRIPrepareThreadContext(JNIEnv *env);
// The same as the context native storeContext0 for the given thread.
void PRIStoreThreadContext(JNIEnv *env, jobject context);
// Slot 0 of a thread's storage changed: mirror it into the context.
void PRISetThreadInfo(JNIEnv *env, ZVWord handle);
// False while the thread runs the Java side's initialisation.
int PRINotInClassInit(JNIEnv *env);

// Direct instrumentation.
int PRIDirectIEnabledForThreads(JNIEnv *env);
// kind: 1 notifyMethodEnterWillExit, 2 notifyMethodEntered,
// 3 notifyMethodExited, 4 time0.
void PRIPatchCompiledNative(void *codeAddress, int codeSize, int kind);

// Method entry and exit hooks; the hooks stay installed when turned off.
// Turning them on installs the hooks given; either way the context class's
// notifyMethodEnterExit follows (at the bootstrap, when it comes later).
typedef void (*PRIMethodEnteredHook)(JNIEnv *env, int32_t handle, int32_t *arguments);
typedef void (*PRIMethodExitedHook)(JNIEnv *env, int32_t handle);
void PRISetMethodNotifications(int enable, PRIMethodEnteredHook entered,
                               PRIMethodExitedHook exited);

// The word that the main extension hands back through the agent's
// pseudo-record (its connect entry).
void PRIConnect(ZVWord word);
// The table of functions that answers getCurrentBacktraceID0 (null: none).
void PRISetBacktraceIDProvider(void **provider);

// Thread sampler: one ZVSampleRecord (zvi.h) per sampled thread.
constexpr int kPRISampleFrames = 7400;
// records holds pointers to ZVSampleRecord.
void PRISampleThreads(JNIEnv *sampler, ZVVector *records, int includeIdle);
void PRIFreeSampleRecord(JNIEnv *env, void *record);
int PRISamplerThreadHasRun(JNIEnv *sampler, JNIEnv *thread);

// The deepest backtrace: the frames the per-thread copy buffer holds.
constexpr int kPRIMaxBacktraceFrames = 7400;
constexpr int kPRICopyBufferBytes = kPRIMaxBacktraceFrames * 2 * 4;  // 59200

// The records above and the zvi* exports are declared in zvi.h.

// The marker services of the services record (they have no export names).
int32_t PRIPushMarker(JNIEnv *env, int32_t markerNumber, int32_t location);
void PRIPopMarker(JNIEnv *env);
int PRIMarkerExists(const PRIMarkerKey *key);
const char *PRIMarkerNameForNumber(int32_t markerNumber);
void PRIRegisterStackName(int32_t event, const char *stackName);
PRIMarkerRecord *PRIMarkerDataForID(int32_t id);

// A zeroed backtrace with room for capacity frames, and its release (the
// record and its frames are two heap blocks).
PRIBacktrace *PRINewBacktrace(int capacity);
void PRIFreeBacktrace(PRIBacktrace *backtrace);
// True for the per-thread results of zviGetCurrentBacktraceForEnv and
// zviConvertMethodBufferToBacktrace, which callers must not release.
bool PRIIsSharedBacktrace(const PRIBacktrace *backtrace);
// The calling thread's record for zviConvertMethodBufferToBacktrace.
PRIBacktrace *PRISharedConvertedBacktrace();
