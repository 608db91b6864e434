// The agent core's public interface: the process-wide agent state, the
// handler table that the main extension installs, and the exported zvi*
// functions for the VM, threads, locks, the GC and heap dumps.
#pragma once

#include <jni.h>

#include <cstdint>

#include "platform/export.h"
#include "platform/jvmpi.h"
#include "support/containers.h"

struct ZVExtensionRecord;

// VM flavours (zviGetVMFlavor).
enum ZVVMFlavor : int32_t {
    ZV_VM_UNKNOWN = 0,
    ZV_VM_CLASSIC = 1,
    ZV_VM_IBM = 2,
    ZV_VM_HOTSPOT = 3,
    ZV_VM_JEODE = 4,
    ZV_VM_JROCKIT = 5,
};

// A lock on a JVMPI raw monitor.
struct zviMonitor {
    int32_t depth;  // entries minus exits; informational only
    JVMPI_RawMonitor rawMonitor;
};

// The memory profiler's options; the first word is the enabled flag.
struct ZVMemoryProfilerOptions {
    int32_t enabled;
};

// The listener table of the main extension (zviSetHandlers). Optional
// entries are tested before each call; the others are always called.
struct ZVHandlerTable {
    void (*classLoaded)(const char *className, ZVWord classKey, char *sourceName,
                        jint methodCount, JVMPI_Method *methods, jint staticCount,
                        JVMPI_Field *statics, jint instanceCount, JVMPI_Field *instances,
                        jint interfaceCount);
    void (*classUnloaded)(jobjectID classID);
    void (*objectAllocated)(JNIEnv *env, jobjectID object, ZVWord classKey, jint isArray,
                            jint size);
    void (*objectMoved)(jobjectID oldID, jobjectID newID);
    void (*objectFreed)(jobjectID object);
    void (*methodEntered)(JNIEnv *env, int32_t handle, int32_t *arguments);
    void (*methodExited)(JNIEnv *env, int32_t handle);
    void (*gcStarted)(void);
    void (*gcFinished)(void);
    void (*threadStarted)(JNIEnv *env);
    void (*threadEnded)(JNIEnv *env);
    void (*dataDumpRequested)(void);                     // optional
    void (*extensionAdded)(ZVExtensionRecord *record);  // optional
    void (*vmShutDown)(void);
    jint (*gcInfoCount)(void);
    jint (*classCount)(void);
    jint (*activeThreadCount)(void);
    jint (*totalThreadCount)(void);
    void (*auditThreadRegistered)(JNIEnv *env);
    void (*auditErrorPosted)(ZVWord a, ZVWord b);  // optional
};

// The one process-wide record of the agent core. The profiler interface is
// the exported data symbol zvipi beside it, so extensions can call JVMPI.
struct ZVAgentState {
    uint8_t loaded;
    JavaVM *vm;
    int32_t jvmpiVersion;
    zviMonitor *dataLock;  // "ZVI_LOCK", re-entrant
    void *registryMutex;   // zviMutexSize() bytes
    ZVHashTable *classBuffer;       // "ZVIClassBuffer"
    ZVHashTable *activeThreads;     // "ZVActiveThreads"
    ZVHashTable *threadGroups;      // "ZVThreadGroups"
    ZVHashTable *threadGroupPaths;  // "ZVThreadGroupPaths"
    ZVIntTable *auditThreads;       // "ZVAuditThreads"
    ZVExtensionRecord **extensions;
    int32_t extensionCount;
    ZVHandlerTable *handlers;
    int32_t vmFlavor;  // -1 until determined
    jobject (*objectIDToObject)(jobjectID id);
    jobjectID (*objectToObjectID)(jobject object);
    void (*dumpThreads)(void);
    void (*dumpMonitors)(void);
    uint8_t instrumentationActive;
    ZVMemoryProfilerOptions memoryProfilerOptions;
    uint8_t exitEnabled;
    uint8_t threadsSuspendable;
    int32_t gcGeneration;
    uint8_t vmShuttingDown;
    uint8_t auditStarted;
    int32_t directIMode;  // 0 off, 1 by table, 2 forced on
    // The last zviEnableMethodsNotifications flag; a handler table installed
    // later gets its method hooks switched on too.
    int32_t methodNotifications;
};

ZVAgentState &ZVState();

// Declared here, defined once beside the state (a plain declaration inside
// extern "C" does not define the variable).
ZV_EXPORT JVMPI_Interface *zvipi;

ZV_EXPORT jint JVM_OnLoad(JavaVM *vm, char *options, void *reserved);

// ---------------------------------------------------------------- the VM

ZV_EXPORT int zviGetVMFlavor(void);
ZV_EXPORT const char *zviGetVMFlavorDescription(void);
ZV_EXPORT JavaVM *zviGetCurrentVM(void);
ZV_EXPORT int zviIsInitialized(void);
ZV_EXPORT int zviSupportsSuspendingThreads(void);
ZV_EXPORT int zviSupportsLowLevelSampler(void);
ZV_EXPORT int zviIsMemoryProfilerDisabled(void);
ZV_EXPORT int zviIsQADisabled(void);
ZV_EXPORT void zviSampleThreads(JNIEnv *sampler, ZVVector *records, int includeIdle);
ZV_EXPORT void zviFreeLowLevelBuffer(JNIEnv *env, void *record);
ZV_EXPORT jint zviDetachCurrentThread(void);
ZV_EXPORT unsigned char zviSetExitEnabled(unsigned char flag);

// ---------------------------------------------------------------- locks

ZV_EXPORT zviMonitor *zviMonitorAllocate(const char *name);
ZV_EXPORT int zviMonitorEnter(zviMonitor *monitor);
ZV_EXPORT void zviMonitorExit(zviMonitor *monitor);
ZV_EXPORT void zviMonitorWait(zviMonitor *monitor, int32_t milliseconds);
ZV_EXPORT void zviMonitorNotify(zviMonitor *monitor);
ZV_EXPORT void zviMonitorDestroy(zviMonitor *monitor);
ZV_EXPORT int zviMutexSize(void);
ZV_EXPORT void zviMutexInit(void *storage);
ZV_EXPORT void zviMutexEnter(void *storage);
ZV_EXPORT void zviMutexExit(void *storage);
ZV_EXPORT void zviDataLock(void);
ZV_EXPORT void zviDataUnlock(void);

// ---------------------------------------------------------------- GC and dumps

ZV_EXPORT void zviDisableGC(void);
ZV_EXPORT void zviEnableGC(void);
ZV_EXPORT void zviRunGC(void);
ZV_EXPORT int zviGetGCGeneration(void);
ZV_EXPORT char *zviHeapDump(int *outLength, int *outGeneration);
ZV_EXPORT void zviProcessHeapDump(void (*callback)(char *bytes, int length));
ZV_EXPORT int32_t zviConvertHeapDumpClassID(ZVWord classID);
ZV_EXPORT unsigned char zviObjectArrayDescription(jobjectID object, uint32_t *outClassID,
                                                  int32_t *outCount, uint32_t *outElements,
                                                  int32_t maximum);

// ---------------------------------------------------------------- object references

ZV_EXPORT int zviSupportsHandleForObject(void);
ZV_EXPORT int zviSupportsObjectForHandle(void);
ZV_EXPORT jobject zviHandleForObject(jobjectID object);
ZV_EXPORT jobjectID zviObjectForHandle(jobject reference);
ZV_EXPORT int zviIsValidJNIEnv(JNIEnv *env);

// ---------------------------------------------------------------- handlers

ZV_EXPORT void zviSetHandlers(ZVHandlerTable *table);
ZV_EXPORT void zviPostAuditErrorEvent(ZVWord a, ZVWord b);
ZV_EXPORT jint zviGetGCInfo(void);
ZV_EXPORT jint zviGetClassCountValue(void);
ZV_EXPORT jint zviGetActiveThreadCountValue(void);
ZV_EXPORT jint zviGetTotalThreadCountValue(void);
ZV_EXPORT void zviSetMemoryProfilerEnabled(unsigned char flag);
ZV_EXPORT ZVMemoryProfilerOptions *zviGetMemProfilerOptions(void);

// ---------------------------------------------------------------- threads

ZV_EXPORT JNIEnv **zviGetActiveThreads(void);
ZV_EXPORT void zviSuspendThread(JNIEnv *env);
ZV_EXPORT void zviResumeThread(JNIEnv *env);
ZV_EXPORT jint zviGetThreadStatus(JNIEnv *env);
// What a thread is doing, in more detail than its status: one of ZV_THREAD_*.
enum : jint {
    ZV_THREAD_RUNNING = 1,
    ZV_THREAD_BLOCKED = 2,   // waiting to enter a monitor
    ZV_THREAD_WAITING = 3,   // Object.wait, park, join
    ZV_THREAD_SLEEPING = 4,
    ZV_THREAD_NATIVE = 5,    // running native code
};
ZV_EXPORT jint zviGetThreadState(JNIEnv *env);
// The CPU time a registered thread has used, in nanoseconds, from its own
// CPU clock; -1 when it cannot be read (no native handle, thread gone).
ZV_EXPORT jlong zviGetThreadCPUTime(JNIEnv *env);
ZV_EXPORT jlong zviGetCPUTime(void);
ZV_EXPORT int zviIsGreenThreads(void);
ZV_EXPORT unsigned char zviThreadHasRun(JNIEnv *env);
ZV_EXPORT unsigned char zviThreadHasRun2(JNIEnv *sampler, JNIEnv *env, int useSampler,
                                         int useStatus);
ZV_EXPORT void zviInitThreadHasRun(JNIEnv *sampler);
ZV_EXPORT void zviEnableMethodsNotifications(int flag);
ZV_EXPORT jint zviCreateSystemThread(const char *name, void (*function)(void *));
ZV_EXPORT jint zviCreatePrioritizedSystemThread(const char *name, int priority,
                                                void (*function)(void *));
ZV_EXPORT JNIEnv *zviGetJNIEnvForSystemThreadNamed(const char *name);
ZV_EXPORT const char *zviGetThreadName(JNIEnv *env);
ZV_EXPORT const char *zviGetThreadGroupPathForJNIEnv(JNIEnv *env);
ZV_EXPORT void *zviGetNativeThreadID(JNIEnv *env);
// Another thread's storage is freed at its end, just after it leaves the
// registry: read it only under zviDataLock, for a thread still registered.
ZV_EXPORT ZVWord zviGetThreadLocalStorage(JNIEnv *env, int slot);
typedef void *(*ZVGetStorageFunction)(JNIEnv *env);
ZV_EXPORT ZVGetStorageFunction zviGetThreadLocalStorageFunction(void);
ZV_EXPORT void zviSetThreadLocalStorage(JNIEnv *env, int slot, ZVWord value);
ZV_EXPORT void zviRegisterAuditThread(JNIEnv *env);
ZV_EXPORT void zviSetSamplerThread(JNIEnv *env);
ZV_EXPORT int zviIsAuditThread(JNIEnv *env);
ZV_EXPORT jobjectID zviThreadObjectForJNIEnv(JNIEnv *env);
ZV_EXPORT JNIEnv *zviJNIEnvForThreadHandle(jobject handle);
ZV_EXPORT int zviIsVMShuttingDown(void);

// The prioritised static-call service (services record word 21): runs the
// static void method (argument, flag) on a system thread on the Classic VM,
// at once on the caller's thread elsewhere. A null argument does nothing.
void ZVInvokePrioritizedStaticCall(JNIEnv *env, jclass clazz, jmethodID method,
                                   jobject argument);
// The service loop on the calling thread; does not return.
void ZVRunPrioritizedService(void);
