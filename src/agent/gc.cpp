// Nested control of the garbage collector: the collector is disabled while
// at least one caller holds it off.
#include "agent/agent_internal.h"

namespace {
int32_t gNesting = 0;  // changed only under the data lock
}

void zviDisableGC(void) {
    zviDataLock();
    if (++gNesting == 1) zvipi->DisableGC();
    zviDataUnlock();
}

void zviEnableGC(void) {
    zviDataLock();
    if (gNesting-- == 1) zvipi->EnableGC();
    zviDataUnlock();
}

void zviRunGC(void) { zvipi->RunGC(); }

int zviGetGCGeneration(void) { return std::atomic_ref(ZVState().gcGeneration).load(std::memory_order_relaxed); }

void ZVResetGCNesting() { gNesting = 0; }
