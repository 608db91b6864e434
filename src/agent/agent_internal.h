// Private interface between the files of the agent core: the dispatcher,
// the thread registry, per-thread storage, the class buffer and the dumps.
#pragma once

#include <jni.h>

#include <atomic>
#include <cstdint>

#include "agent/agent.h"
#include "platform/vm_traits.h"

// Calls visit(key, value) for every entry; the table must not change meanwhile.
template <typename Visit>
void ZVForEachEntry(ZVHashTable *table, Visit visit) {
    for (ZVHashIterator *it = ZVHashNext(ZVHashIterate(table)); it != nullptr;
         it = ZVHashNext(it)) {
        visit(it->key, it->value);
    }
}

// ---------------------------------------------------------------- dispatch

// The JVMPI event handler installed as the interface's NotifyEvent.
void ZVNotifyEvent(JVMPI_Event *event);
void ZVHandleClassLoadHook(JVMPI_Event *event);
void ZVHandleClassLoad(JVMPI_Event *event);
void ZVHandleCompiledMethodLoad(JVMPI_Event *event);
void ZVHandleVMInitialized(JNIEnv *env);
void ZVHandleVMShutDown(JNIEnv *env);

// Fields of the agent state that threads share without the data lock are
// read and written whole, through these: a table installed on one thread is
// then seen complete by the events of every other.
// The handler table while one is installed, else null.
inline ZVHandlerTable *ZVInstalledHandlers() {
    return std::atomic_ref(ZVState().handlers).load(std::memory_order_acquire);
}
inline void ZVInstallHandlers(ZVHandlerTable *table) {
    std::atomic_ref(ZVState().handlers).store(table, std::memory_order_release);
}
// Whether the VM's start-up has ended with the audit's start.
inline bool ZVAuditStarted() { return std::atomic_ref(ZVState().auditStarted).load(std::memory_order_acquire) != 0; }

// ---------------------------------------------------------------- VM traits

// The traits of the VM the agent runs in, decided at start-up.
const VMTraits &ZVTraits();
// Decides them from the VM's flavour code.
void ZVDecideVMTraits(int flavour);

// ---------------------------------------------------------------- threads

// One registered thread (the registry's value for its JNIEnv).
struct ZVThreadRecord {
    JNIEnv *env;
    char *name;
    char *groupName;
    const char *groupPath;  // owned by the group-path table
    void *nativeHandle;     // platform thread handle, or null
    int32_t reserved;
    uint32_t lastCpuSum;
};

void ZVRegisterThread(const char *name, const char *group, const char *parent, JNIEnv *env);
void ZVUnregisterThread(JNIEnv *env);
// True for a registered thread whose name starts with an excluded prefix.
int ZVIsExcludedSystemThread(JNIEnv *env);
// The path of a group in the group tree; the caller holds the data lock.
const char *ZVGroupPath(const char *group, const char *parent);
// The record for env; the caller holds the data lock.
ZVThreadRecord *ZVFindThread(JNIEnv *env);

void ZVRemoveAuditThread(JNIEnv *env);

// Native handles of the calling thread (a platform record), for CPU times.
void *ZVDuplicateCurrentThread();
void ZVCloseThread(void *handle);
// The thread's user CPU time in 100-nanosecond units; false on failure.
bool ZVThreadUserTime(void *handle, uint64_t *time);
// The same in nanoseconds.
bool ZVThreadCPUNanos(void *handle, uint64_t *nanos);

// ---------------------------------------------------------------- per-thread storage

enum {
    ZV_STORAGE_SLOTS = 21,
    ZV_SLOT_THREAD = 0,
    ZV_SLOT_ALLOCATION_GUARD = 9,
};

// The thread's storage block, or null when it has none.
ZVWord *ZVStorageBlock(JNIEnv *env);
// Detaches and releases the thread's block at its end.
void ZVReleaseStorageBlock(JNIEnv *env);

// ---------------------------------------------------------------- class buffer

// Keeps a class load that arrived before a handler table; the arrays and
// strings become the buffer's. Takes the data lock.
void ZVBufferClass(const char *className, ZVWord classKey, jint methodCount,
                   JVMPI_Method *methods, char *sourceName, jint staticCount,
                   JVMPI_Field *statics, jint instanceCount, JVMPI_Field *instances,
                   jint interfaceCount);
void ZVUnbufferClass(ZVWord classKey);
// Hands every buffered class to the table (not null) and drops the buffer;
// the caller holds the data lock.
void ZVReplayClassBuffer(ZVHandlerTable *table);
// Deep copies of event arrays; null for a count below 1 or a null array.
JVMPI_Method *ZVCopyMethods(const JVMPI_Method *methods, jint count);
JVMPI_Field *ZVCopyFields(const JVMPI_Field *fields, jint count);

// ---------------------------------------------------------------- dumps

void ZVReceiveHeapDump(const JVMPI_Event *event);
void ZVReceiveObjectDump(const JVMPI_Event *event);

// ---------------------------------------------------------------- options text

// The text that the native getOptions answers (the -Xrun option string).
void ZVSetOptionsText(const char *text);
const char *ZVOptionsText();

// ---------------------------------------------------------------- release

// Release the tables of an agent state that is no longer installed.
void ZVFreeThreadRegistry(ZVAgentState &state);
void ZVFreeThreadGroups(ZVAgentState &state);
// Drops buffered classes without delivering them.
void ZVFreeClassBuffer(ZVHashTable *buffer);

// Puts the agent core's services into the record handed to extensions.
void ZVInstallAgentServices();
// Defines the classes of the zenva.jar the agent put on the class path
// straight into the system class loader (class_path_classes.cpp).
void ZVDefineClassPathClasses(JNIEnv *env);
// Binds the native that opens the audit port, whose listener answers with the
// commands extensions registered.
void ZVBindAuditPort(JNIEnv *env);
// Ends the audit port's listener as the VM exits: a thread waiting for a
// connection in native code would hold the VM's exit back for 300 ms.
void ZVCloseAuditPort();

// Lets the extension loader reach the extension list of the agent state.
void ZVInstallExtensionHost();
