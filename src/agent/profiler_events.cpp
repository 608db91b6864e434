// The VM events that profilers take beside the JVMPI ones: sampled
// allocations and monitor contention, handed to one handler each.
#include "platform/jvmpi_emulation.h"
#include "zvi.h"

int zviStartAllocationSampling(int64_t intervalBytes, ZVAllocationSampled handler) {
    return JvmpiStartAllocationSampling(intervalBytes, handler) ? 1 : 0;
}

int zviStartContentionEvents(ZVMonitorContended handler) { return JvmpiStartContentionEvents(handler) ? 1 : 0; }
