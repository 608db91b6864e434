// Overhead counters: named per-thread stopwatches with which extension
// libraries measure what their own work costs, and a dump of the totals.
#pragma once

#include "platform/export.h"
#include "support/containers.h"

// Creates the counter table; later calls, and the first use of the others,
// find it made.
ZV_EXPORT void initOverheadCounters(void);
// The thread key is the caller's choice of a value that names the thread.
ZV_EXPORT void startOverheadCounter(ZVWord threadKey, const char *name);
ZV_EXPORT void stopOverheadCounter(ZVWord threadKey, const char *name);
// Per-thread and cumulative totals on the standard output.
ZV_EXPORT void dumpOverheadCounters(void);

// The millisecond timer the counters read (tests); null restores the system's.
void ZVSetOverheadClock(uint32_t (*clock)(void));
