// Native handles of registered threads and their CPU times, through the
// platform layer. A thread's "user time" is its CPU clock, in the 100 ns
// units in which the has-run test compares it.
#include "agent/agent_internal.h"
#include "platform/thread.h"

void *ZVDuplicateCurrentThread() { return OpenCurrentThread(); }

void ZVCloseThread(void *handle) { CloseThreadHandle(static_cast<ThreadHandle *>(handle)); }

bool ZVThreadUserTime(void *handle, uint64_t *time) {
    int64_t nanos = ThreadCpuTimeNanos(static_cast<const ThreadHandle *>(handle));
    if (nanos < 0) return false;
    *time = static_cast<uint64_t>(nanos) / 100;
    return true;
}
