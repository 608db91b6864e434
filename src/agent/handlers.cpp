// Installation of the main extension's handler table, the counters it
// provides, audit errors, and the switch of the memory-allocation events.
#include "agent/agent_internal.h"
#include "ext/extensions.h"
#include "pri/runtime/runtime.h"

namespace {

// The agent introduces itself to the main extension with a record whose
// only entry hands a word to the instrumentation runtime.
ZVExtensionRecord gAgentRecord = [] {
    ZVExtensionRecord record{};
    record.connect = PRIConnect;
    return record;
}();

// Asks twice when the first answer is positive and reports the second.
jint askTwice(jint (*entry)(void)) {
    if (entry == nullptr) return 0;
    if (entry() <= 0) return 0;
    return entry();
}

}  // namespace

void zviSetHandlers(ZVHandlerTable *table) {
    ZVAgentState &state = ZVState();
    zviDataLock();
    if (table != nullptr && table->extensionAdded != nullptr) {
        for (int i = 0; i < state.extensionCount; ++i) {
            ZVExtensionRecord *record = state.extensions[i];
            if (record != nullptr && record->connect != nullptr) table->extensionAdded(record);
        }
        table->extensionAdded(&gAgentRecord);
    }
    ZVInstallHandlers(table);
    if (table != nullptr) ZVReplayClassBuffer(table);
    zviDataUnlock();
    // Notifications switched on before there was a table to call take effect now.
    if (table != nullptr && state.methodNotifications != 0)
        PRISetMethodNotifications(1, table->methodEntered, table->methodExited);
}

void zviPostAuditErrorEvent(ZVWord a, ZVWord b) {
    ZVHandlerTable *table = ZVInstalledHandlers();
    if (table != nullptr && table->auditErrorPosted != nullptr) table->auditErrorPosted(a, b);
}

jint zviGetGCInfo(void) {
    ZVHandlerTable *table = ZVInstalledHandlers();
    return table != nullptr ? askTwice(table->gcInfoCount) : 0;
}

jint zviGetClassCountValue(void) {
    ZVHandlerTable *table = ZVInstalledHandlers();
    return table != nullptr ? askTwice(table->classCount) : 0;
}

jint zviGetActiveThreadCountValue(void) {
    ZVHandlerTable *table = ZVInstalledHandlers();
    return table != nullptr ? askTwice(table->activeThreadCount) : 0;
}

jint zviGetTotalThreadCountValue(void) {
    ZVHandlerTable *table = ZVInstalledHandlers();
    return table != nullptr ? askTwice(table->totalThreadCount) : 0;
}

void zviSetMemoryProfilerEnabled(unsigned char flag) {
    if (flag != 0) {
        zvipi->EnableEvent(JVMPI_EVENT_OBJECT_ALLOC, nullptr);
        zvipi->EnableEvent(JVMPI_EVENT_OBJECT_FREE, nullptr);
    } else {
        zvipi->DisableEvent(JVMPI_EVENT_OBJECT_ALLOC, nullptr);
        zvipi->DisableEvent(JVMPI_EVENT_OBJECT_FREE, nullptr);
    }
}

ZVMemoryProfilerOptions *zviGetMemProfilerOptions(void) {
    return &ZVState().memoryProfilerOptions;
}
