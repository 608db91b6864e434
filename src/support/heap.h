// The agent heap: one allocator shared by every subsystem and by extension
// libraries, so memory can cross the library boundary in either direction.
#pragma once

#include "platform/export.h"

// Uninitialised memory or null; a failed non-zero request prints a message.
ZV_EXPORT void *sMalloc(int size);
// Null is accepted.
ZV_EXPORT void sFree(void *pointer);
// A new copy of a NUL-terminated string; null for null or when out of memory.
ZV_EXPORT char *sStrdup(const char *string);
