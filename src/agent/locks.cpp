// Locks on the VM's raw monitors: monitors, the mutexes built on them, and
// the re-entrant data lock "ZVI_LOCK" that guards the agent's shared tables.
#include "agent/agent_internal.h"
#include "support/heap.h"

zviMonitor *zviMonitorAllocate(const char *name) {
    auto *monitor = static_cast<zviMonitor *>(sMalloc(sizeof(zviMonitor)));
    if (monitor == nullptr) return nullptr;
    monitor->depth = 0;
    monitor->rawMonitor = zvipi->RawMonitorCreate(const_cast<char *>(name != nullptr ? name : ""));
    return monitor;
}

int zviMonitorEnter(zviMonitor *monitor) {
    zvipi->RawMonitorEnter(monitor->rawMonitor);
    return ++monitor->depth;
}

void zviMonitorExit(zviMonitor *monitor) {
    --monitor->depth;
    zvipi->RawMonitorExit(monitor->rawMonitor);
}

void zviMonitorWait(zviMonitor *monitor, int32_t milliseconds) {
    zvipi->RawMonitorWait(monitor->rawMonitor, static_cast<jlong>(milliseconds));
}

void zviMonitorNotify(zviMonitor *monitor) { zvipi->RawMonitorNotifyAll(monitor->rawMonitor); }

void zviMonitorDestroy(zviMonitor *monitor) {
    if (monitor == nullptr) return;
    zvipi->RawMonitorDestroy(monitor->rawMonitor);
    sFree(monitor);
}

// The storage holds one monitor pointer, so it is pointer-sized here.
int zviMutexSize(void) { return static_cast<int>(sizeof(zviMonitor *)); }

void zviMutexInit(void *storage) {
    *static_cast<zviMonitor **>(storage) = zviMonitorAllocate("");
}

void zviMutexEnter(void *storage) { zviMonitorEnter(*static_cast<zviMonitor **>(storage)); }

void zviMutexExit(void *storage) { zviMonitorExit(*static_cast<zviMonitor **>(storage)); }

void zviDataLock(void) { zviMonitorEnter(ZVState().dataLock); }

void zviDataUnlock(void) { zviMonitorExit(ZVState().dataLock); }
