// Nested control of the garbage collector: the collector is disabled while
// at least one caller holds it off.
#include "agent/agent_internal.h"
#include "agent/core.h"

void zviDisableGC(void) {
    zviDataLock();
    if (++ZVCore().gcNesting == 1) zvipi->DisableGC();
    zviDataUnlock();
}

void zviEnableGC(void) {
    zviDataLock();
    if (ZVCore().gcNesting-- == 1) zvipi->EnableGC();
    zviDataUnlock();
}

void zviRunGC(void) { zvipi->RunGC(); }

int zviGetGCGeneration(void) { return std::atomic_ref(ZVState().gcGeneration).load(std::memory_order_relaxed); }

