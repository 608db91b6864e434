// Native handles of registered threads and their CPU times, through the
// platform layer. A thread's "user time" is its CPU clock, in the 100 ns
// units in which the has-run test compares it.
#include "agent/agent_internal.h"
#include "platform/thread.h"

void *ZVDuplicateCurrentThread() { return OpenCurrentThread(); }

void ZVCloseThread(void *handle) { CloseThreadHandle(static_cast<ThreadHandle *>(handle)); }

bool ZVThreadCPUNanos(void *handle, uint64_t *nanos) {
    int64_t time = ThreadCpuTimeNanos(static_cast<const ThreadHandle *>(handle));
    if (time < 0) return false;
    *nanos = static_cast<uint64_t>(time);
    return true;
}

bool ZVThreadUserTime(void *handle, uint64_t *time) {
    uint64_t nanos = 0;
    if (!ZVThreadCPUNanos(handle, &nanos)) return false;
    *time = nanos / 100;
    return true;
}
