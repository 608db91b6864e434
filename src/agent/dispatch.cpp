// The JVMPI event handler: does the agent's own work for each event type and
// passes the event on to the installed handler table and the extensions.
#include "agent/agent_internal.h"
#include "ext/extensions.h"
#include "pri/filters/filters.h"
#include "pri/rewrite/instrument.h"
#include "pri/runtime/runtime.h"

namespace {

template <typename Visit>
void forEachExtension(Visit visit) {
    ZVAgentState &state = ZVState();
    for (int i = 0; i < state.extensionCount; ++i) {
        if (state.extensions[i] != nullptr) visit(*state.extensions[i]);
    }
}

// Allocations made while a listener runs on this thread are not reported.
// The guard lives in the thread's storage block, looked up once.
void objectAllocated(JVMPI_Event *event) {
    JNIEnv *env = event->env_id;
    ZVWord *block = ZVStorageBlock(env);
    if (block != nullptr && block[ZV_SLOT_ALLOCATION_GUARD] != 0) return;
    if (block == nullptr) {
        zviSetThreadLocalStorage(env, ZV_SLOT_ALLOCATION_GUARD, 0);
        block = ZVStorageBlock(env);
        if (block == nullptr) return;  // without a guard a listener could recurse
    }
    block[ZV_SLOT_ALLOCATION_GUARD] = 1;
    const auto &alloc = event->u.obj_alloc;
    if (ZVHandlerTable *table = ZVInstalledHandlers()) {
        ZVWord classKey = PRIClassKeyGet(reinterpret_cast<ZVWord>(alloc.class_id));
        if (!PRIIsContextClassKey(classKey)) {
            table->objectAllocated(env, alloc.obj_id, classKey, alloc.is_array, alloc.size);
        }
    }
    forEachExtension([&](ZVExtensionRecord &ext) {
        if (ext.objectAllocated != nullptr) {
            ext.objectAllocated(env, alloc.obj_id, alloc.class_id, alloc.is_array, alloc.size);
        }
    });
    block[ZV_SLOT_ALLOCATION_GUARD] = 0;
}

void objectFreed(JVMPI_Event *event) {
    jobjectID object = event->u.obj_free.obj_id;
    if (ZVHandlerTable *table = ZVInstalledHandlers()) table->objectFreed(object);
    forEachExtension([&](ZVExtensionRecord &ext) {
        if (ext.objectFreed != nullptr) ext.objectFreed(object);
    });
}

void objectMoved(JVMPI_Event *event) {
    jobjectID from = event->u.obj_move.obj_id;
    jobjectID to = event->u.obj_move.new_obj_id;
    // A moved class object keeps its class key under its new ID.
    PRIClassKeyMove(reinterpret_cast<ZVWord>(from), reinterpret_cast<ZVWord>(to));
    if (ZVHandlerTable *table = ZVInstalledHandlers()) table->objectMoved(from, to);
    forEachExtension([&](ZVExtensionRecord &ext) {
        if (ext.objectMoved != nullptr) ext.objectMoved(from, to);
    });
}

void threadStarted(JVMPI_Event *event) {
    const auto &start = event->u.thread_start;
    JNIEnv *env = start.thread_env_id;
    ZVRegisterThread(start.thread_name, start.group_name, start.parent_name, env);
    const ZVAgentState &state = ZVState();
    if (ZVAuditStarted() && !ZVIsExcludedSystemThread(env) && ZVTraits().preparesContextsAtThreadStart &&
        state.directIMode != 0 && PRIDirectIEnabledForThreads(env)) {
        PRIPrepareThreadContext(env);
    }
    if (ZVHandlerTable *table = ZVInstalledHandlers()) table->threadStarted(env);
}

void threadEnded(JVMPI_Event *event) {
    JNIEnv *env = event->env_id;
    if (ZVHandlerTable *table = ZVInstalledHandlers()) table->threadEnded(env);
    ZVUnregisterThread(env);
    forEachExtension([&](ZVExtensionRecord &ext) {
        if (ext.threadEnded != nullptr) ext.threadEnded(env);
    });
    PRIThreadEnded(env);
    ZVReleaseStorageBlock(env);
}

void classUnloaded(JVMPI_Event *event) {
    jobjectID classID = event->u.class_unload.class_id;
    if (ZVHandlerTable *table = ZVInstalledHandlers()) {
        table->classUnloaded(classID);
    } else {
        // Buffered classes are filed under their class key, which the VM's
        // class ID maps to; only a class without one is filed under the ID.
        ZVWord key = PRIClassKeyGet(reinterpret_cast<ZVWord>(classID));
        ZVUnbufferClass(key != 0 ? key : reinterpret_cast<ZVWord>(classID));
    }
    PRIClassKeyRemove(reinterpret_cast<ZVWord>(classID));
}

void dataDumpRequested() {
    const ZVAgentState &state = ZVState();
    if (state.dumpThreads != nullptr) state.dumpThreads();
    if (state.dumpMonitors != nullptr) state.dumpMonitors();
    ZVHandlerTable *table = ZVInstalledHandlers();
    if (table != nullptr && table->dataDumpRequested != nullptr) table->dataDumpRequested();
    table = ZVInstalledHandlers();
    if (table != nullptr && table->dataDumpRequested != nullptr) table->dataDumpRequested();
}

}  // namespace

void ZVNotifyEvent(JVMPI_Event *event) {
    if (event == nullptr) return;
    ZVHandlerTable *table = ZVInstalledHandlers();
    switch (event->event_type & ~JVMPI_REQUESTED_EVENT) {
        case JVMPI_EVENT_METHOD_ENTRY2:
            if (table != nullptr) table->methodEntered(event->env_id, 0, nullptr);
            break;
        case JVMPI_EVENT_METHOD_EXIT:
            if (table != nullptr) table->methodExited(event->env_id, 0);
            break;
        case JVMPI_EVENT_OBJECT_ALLOC: objectAllocated(event); break;
        case JVMPI_EVENT_OBJECT_FREE: objectFreed(event); break;
        case JVMPI_EVENT_OBJECT_MOVE: objectMoved(event); break;
        case JVMPI_EVENT_COMPILED_METHOD_LOAD: ZVHandleCompiledMethodLoad(event); break;
        case JVMPI_EVENT_THREAD_START: threadStarted(event); break;
        case JVMPI_EVENT_THREAD_END: threadEnded(event); break;
        case JVMPI_EVENT_CLASS_LOAD_HOOK: ZVHandleClassLoadHook(event); break;
        case JVMPI_EVENT_HEAP_DUMP: ZVReceiveHeapDump(event); break;
        case JVMPI_EVENT_CLASS_LOAD: ZVHandleClassLoad(event); break;
        case JVMPI_EVENT_CLASS_UNLOAD: classUnloaded(event); break;
        case JVMPI_EVENT_DATA_DUMP_REQUEST: dataDumpRequested(); break;
        case JVMPI_EVENT_JVM_INIT_DONE: ZVHandleVMInitialized(event->env_id); break;
        case JVMPI_EVENT_JVM_SHUT_DOWN: ZVHandleVMShutDown(event->env_id); break;
        case JVMPI_EVENT_OBJECT_DUMP:
            if (table != nullptr) ZVReceiveObjectDump(event);
            break;
        case JVMPI_EVENT_GC_START:
            std::atomic_ref(ZVState().gcGeneration).fetch_add(1, std::memory_order_relaxed);
            if (table != nullptr) table->gcStarted();
            break;
        case JVMPI_EVENT_GC_FINISH:
            if (table != nullptr) table->gcFinished();
            break;
        default: break;  // not an event this agent handles
    }
}
