// Class loads that arrive before the main extension installs its handler
// table are kept here and handed to the table when it arrives.
#include <cstring>

#include "agent/agent_internal.h"
#include "support/heap.h"

namespace {

struct BufferedClass {
    char *className;
    ZVWord classKey;
    jint methodCount;
    JVMPI_Method *methods;
    char *sourceName;
    jint staticCount;
    JVMPI_Field *statics;
    jint instanceCount;
    JVMPI_Field *instances;
    jint interfaceCount;
};

void freeMethods(JVMPI_Method *methods, jint count) {
    if (methods == nullptr) return;
    for (jint i = 0; i < count; ++i) {
        sFree(methods[i].method_name);
        sFree(methods[i].method_signature);
    }
    sFree(methods);
}

void freeFields(JVMPI_Field *fields, jint count) {
    if (fields == nullptr) return;
    for (jint i = 0; i < count; ++i) {
        sFree(fields[i].field_name);
        sFree(fields[i].field_signature);
    }
    sFree(fields);
}

// Releases an entry; also its arrays and source name unless a handler took
// them. The handler owns the source name copy as it does for a class load
// that reaches it directly, so either way it frees what it receives.
void freeEntry(BufferedClass *entry, bool handedOver) {
    if (!handedOver) {
        freeMethods(entry->methods, entry->methodCount);
        freeFields(entry->statics, entry->staticCount);
        freeFields(entry->instances, entry->instanceCount);
        sFree(entry->sourceName);
    }
    sFree(entry->className);
    sFree(entry);
}

void deliver(ZVHandlerTable *table, BufferedClass *c) {
    table->classLoaded(c->className, c->classKey, c->sourceName, c->methodCount, c->methods,
                       c->staticCount, c->statics, c->instanceCount, c->instances,
                       c->interfaceCount);
}

}  // namespace

JVMPI_Method *ZVCopyMethods(const JVMPI_Method *methods, jint count) {
    if (methods == nullptr || count < 1) return nullptr;
    auto *copy = static_cast<JVMPI_Method *>(sMalloc(static_cast<int>(sizeof(JVMPI_Method)) * count));
    if (copy == nullptr) return nullptr;
    for (jint i = 0; i < count; ++i) {
        copy[i].method_name = sStrdup(methods[i].method_name);
        copy[i].method_signature = sStrdup(methods[i].method_signature);
        copy[i].start_lineno = methods[i].start_lineno;
        copy[i].end_lineno = methods[i].end_lineno;
        copy[i].method_id = methods[i].method_id;
    }
    return copy;
}

JVMPI_Field *ZVCopyFields(const JVMPI_Field *fields, jint count) {
    if (fields == nullptr || count < 1) return nullptr;
    auto *copy = static_cast<JVMPI_Field *>(sMalloc(static_cast<int>(sizeof(JVMPI_Field)) * count));
    if (copy == nullptr) return nullptr;
    for (jint i = 0; i < count; ++i) {
        copy[i].field_name = sStrdup(fields[i].field_name);
        copy[i].field_signature = sStrdup(fields[i].field_signature);
    }
    return copy;
}

void ZVBufferClass(const char *className, ZVWord classKey, jint methodCount,
                   JVMPI_Method *methods, char *sourceName, jint staticCount,
                   JVMPI_Field *statics, jint instanceCount, JVMPI_Field *instances,
                   jint interfaceCount) {
    auto *entry = static_cast<BufferedClass *>(sMalloc(sizeof(BufferedClass)));
    if (entry == nullptr) {
        freeMethods(methods, methodCount);
        freeFields(statics, staticCount);
        freeFields(instances, instanceCount);
        sFree(sourceName);
        return;
    }
    *entry = BufferedClass{sStrdup(className), classKey, methodCount, methods, sourceName,
                           staticCount, statics, instanceCount, instances, interfaceCount};
    ZVAgentState &state = ZVState();
    zviDataLock();
    if (ZVHandlerTable *table = ZVInstalledHandlers()) {
        // The table arrived while this thread waited for the lock.
        deliver(table, entry);
        freeEntry(entry, true);
    } else if (state.classBuffer != nullptr) {
        ZVUnbufferClass(classKey);
        ZVHashPut(state.classBuffer, classKey, reinterpret_cast<ZVWord>(entry));
    } else {
        freeEntry(entry, false);
    }
    zviDataUnlock();
}

void ZVUnbufferClass(ZVWord classKey) {
    ZVAgentState &state = ZVState();
    zviDataLock();
    if (state.classBuffer != nullptr) {
        auto *old = reinterpret_cast<BufferedClass *>(ZVHashGet(state.classBuffer, classKey));
        if (old != nullptr) {
            ZVHashRemove(state.classBuffer, classKey);
            freeEntry(old, false);
        }
    }
    zviDataUnlock();
}

void ZVReplayClassBuffer(ZVHandlerTable *table) {
    ZVAgentState &state = ZVState();
    ZVHashTable *buffer = state.classBuffer;
    if (buffer == nullptr) return;
    ZVForEachEntry(buffer, [table](ZVWord, ZVWord value) {
        auto *entry = reinterpret_cast<BufferedClass *>(value);
        deliver(table, entry);
        freeEntry(entry, true);
    });
    ZVHashFree(buffer);
    state.classBuffer = nullptr;
}

void ZVFreeClassBuffer(ZVHashTable *buffer) {
    if (buffer == nullptr) return;
    ZVForEachEntry(buffer, [](ZVWord, ZVWord value) { freeEntry(reinterpret_cast<BufferedClass *>(value), false); });
    ZVHashFree(buffer);
}
