// Backtraces, method buffers and markers as extensions reach them: reading a
// thread's call stack, pushing and popping markers on it, and the questions
// about method identifiers (marker, group, class, alternate source).
#pragma once

#include <jni.h>

#include <cstdint>

#include "platform/export.h"
#include "pri/runtime/markers.h"
#include "support/containers.h"
#include "zvi.h"

// The deepest backtrace: the frames the per-thread copy buffer holds.
constexpr int kPRIMaxBacktraceFrames = 7400;
constexpr int kPRICopyBufferBytes = kPRIMaxBacktraceFrames * 2 * 4;  // 59200

// The records above and the zvi* exports are declared in zvi.h.

// The marker services of the services record (they have no export names).
int32_t PRIPushMarker(JNIEnv *env, int32_t markerNumber, int32_t location);
void PRIPopMarker(JNIEnv *env);
int PRIMarkerExists(const PRIMarkerKey *key);
const char *PRIMarkerNameForNumber(int32_t markerNumber);
void PRIRegisterStackName(int32_t event, const char *stackName);
PRIMarkerRecord *PRIMarkerDataForID(int32_t id);

// A zeroed backtrace with room for capacity frames, and its release (the
// record and its frames are two heap blocks).
PRIBacktrace *PRINewBacktrace(int capacity);
void PRIFreeBacktrace(PRIBacktrace *backtrace);
// True for the per-thread results of zviGetCurrentBacktraceForEnv and
// zviConvertMethodBufferToBacktrace, which callers must not release.
bool PRIIsSharedBacktrace(const PRIBacktrace *backtrace);
// The calling thread's record for zviConvertMethodBufferToBacktrace.
PRIBacktrace *PRISharedConvertedBacktrace();
