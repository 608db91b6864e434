// The agent core's owner record and the exported profiler-interface symbol.
#include "agent/agent_internal.h"
#include "agent/core.h"
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

}  // namespace

// Never destroyed: VM threads still raise events while the process exits.
ZVAgentCore *gZVCore = new ZVAgentCore();

ZVAgentCore::ZVAgentCore() : state(initialState()) {}

ZVAgentCore::~ZVAgentCore() {
    ZVFreeThreadRegistry(state);
    ZVFreeClassBuffer(state.classBuffer);
    if (state.dataLock != nullptr) zviMonitorDestroy(state.dataLock);
    if (state.registryMutex != nullptr) {
        zviMonitorDestroy(*static_cast<zviMonitor **>(state.registryMutex));
        sFree(state.registryMutex);
    }
    sFree(state.extensions);
    sFree(activeList);
    sFree(optionsText);
}

ZVAgentCore *ZVInstallCore(ZVAgentCore *core) {
    ZVAgentCore *old = gZVCore;
    gZVCore = core;
    return old;
}

ZVAgentState &ZVState() { return gZVCore->state; }

void ZVSetOptionsText(const char *text) {
    char *&kept = ZVCore().optionsText;
    sFree(kept);
    kept = text != nullptr ? sStrdup(text) : nullptr;
}

const char *ZVOptionsText() { return ZVCore().optionsText; }
