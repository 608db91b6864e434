// The agent core's public interface: the process-wide agent state, the
// handler table that the main extension installs, and the exported zvi*
// functions for the VM, threads, locks, the GC and heap dumps.
#pragma once

#include <jni.h>

#include <cstdint>

#include "platform/export.h"
#include "platform/jvmpi.h"
#include "support/containers.h"
#include "zvi.h"

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

ZV_EXPORT jint JVM_OnLoad(JavaVM *vm, char *options, void *reserved);

// The exported zvi* functions, the handler table and the records they
// use are the extension interface, in zvi.h.

// The prioritised static-call service (services record word 21): runs the
// static void method (argument, flag) on a system thread on the Classic VM,
// at once on the caller's thread elsewhere. A null argument does nothing.
void ZVInvokePrioritizedStaticCall(JNIEnv *env, jclass clazz, jmethodID method,
                                   jobject argument);
// The service loop on the calling thread; does not return.
void ZVRunPrioritizedService(void);
