// The process-wide agent state and the exported profiler-interface symbol.
#include "agent/agent_internal.h"
#include "agent/agent_testing.h"
#include "support/heap.h"

extern "C" {
__attribute__((visibility("default"))) JVMPI_Interface *zvipi = nullptr;
}

namespace {

ZVAgentState initialState() {
    ZVAgentState state{};
    state.vmFlavor = -1;
    state.instrumentationActive = 1;
    state.exitEnabled = 1;
    state.threadsSuspendable = 1;
    state.gcGeneration = 1;
    state.directIMode = 1;
    return state;
}

ZVAgentState gState = initialState();
char *gOptionsText = nullptr;

}  // namespace

ZVAgentState &ZVState() { return gState; }

void ZVSetOptionsText(const char *text) {
    sFree(gOptionsText);
    gOptionsText = text != nullptr ? sStrdup(text) : nullptr;
}

const char *ZVOptionsText() { return gOptionsText; }

void ZVResetAgentForTesting() {
    ZVResetThreads();
    ZVResetSystemThreads();
    ZVResetDumps();
    ZVResetGCNesting();
    ZVResetClassLoadHook();
    ZVResetClassLoad();
    ZVResetVMInit();
    if (gState.classBuffer != nullptr) {
        ZVHashTable *buffer = gState.classBuffer;
        ZVReplayClassBuffer(nullptr);  // releases the entries without a table
        if (gState.classBuffer == buffer) ZVHashFree(buffer);
    }
    if (gState.dataLock != nullptr) zviMonitorDestroy(gState.dataLock);
    if (gState.registryMutex != nullptr) {
        zviMonitorDestroy(*static_cast<zviMonitor **>(gState.registryMutex));
        sFree(gState.registryMutex);
    }
    sFree(gState.extensions);
    ZVSetOptionsText(nullptr);
    gState = initialState();
    zvipi = nullptr;
}
