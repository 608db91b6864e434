// Backtraces, method buffers and markers as extensions reach them: reading a
// thread's call stack, pushing and popping markers on it, and the questions
// about method identifiers (marker, group, class, alternate source).
#pragma once

#include <jni.h>

#include <cstdint>

#include "platform/export.h"
#include "pri/markers.h"
#include "support/containers.h"

// The deepest backtrace: the frames the per-thread copy buffer holds.
constexpr int kPRIMaxBacktraceFrames = 7400;
constexpr int kPRICopyBufferBytes = kPRIMaxBacktraceFrames * 2 * 4;  // 59200

struct PRIMethodEntry {
    int32_t location;
    int32_t method;
};

// The first three words are what extensions see; the capacity behind them
// keeps every fill within the entries allocated.
struct PRIMethodBuffer {
    ZVWord owner;
    int32_t count;
    PRIMethodEntry *entries;
    int32_t capacity;
};

struct PRIBacktraceFrame {
    int32_t location;  // 0 for a group frame
    int32_t method;
    int32_t zero;
};

struct PRIBacktrace {
    int32_t count;
    int32_t capacity;
    PRIBacktraceFrame *frames;
};

// Owned by the caller; the references and the copy buffer belong to the
// thread and are only remembered here.
struct PRIBacktraceWorkspace {
    PRIBacktrace *backtrace;
    jobject context;
    jintArray callStack;
    jint *copyBuffer;
    ZVWord reserved;
};

ZV_EXPORT PRIMethodBuffer *zviAllocateMethodBuffer(int count);
ZV_EXPORT int zviClearMethodBuffer(PRIMethodBuffer *buffer, int count);
ZV_EXPORT void zviGetMethodBufferValues(PRIMethodBuffer *buffer, int32_t *outMethod,
                                        int32_t *outLocation, int index);
ZV_EXPORT void zviFreeMethodBuffer(PRIMethodBuffer *buffer);
ZV_EXPORT int zviGetMethodBufferSize(PRIMethodBuffer *buffer);
ZV_EXPORT int zviGetCurrentMethodForEnvIn(JNIEnv *env, PRIMethodBuffer *buffer, int max);
ZV_EXPORT PRIBacktrace *zviGetCurrentBacktraceForEnv(JNIEnv *env);
ZV_EXPORT PRIBacktrace *zviConvertMethodBufferToBacktrace(PRIMethodBuffer *buffer);
ZV_EXPORT PRIBacktrace *zviConvertMethodBufferToBacktraceFrom(PRIMethodBuffer *buffer,
                                                              PRIBacktrace *backtrace, int first);

ZV_EXPORT PRIBacktrace *zviGetStackTraceForEnvWithLength(JNIEnv *env, PRIBacktraceWorkspace *workspace,
                                                         int length);
ZV_EXPORT PRIBacktrace *zviGetCurrentBacktraceForEnvUsingBacktrace(JNIEnv *env,
                                                                   PRIBacktraceWorkspace *workspace);
ZV_EXPORT PRIBacktrace *zviGetBacktraceUsingBacktracePushMarker(JNIEnv *env,
                                                                PRIBacktraceWorkspace *workspace,
                                                                int32_t markerNumber, int32_t location);
ZV_EXPORT void zviInitBacktraceWorkspace(JNIEnv *env, PRIBacktraceWorkspace *workspace);
ZV_EXPORT void zviClearBacktraceWorkspace(JNIEnv *env, PRIBacktraceWorkspace *workspace);

ZV_EXPORT int zviIsStackTraceMethodMarker(int32_t id);
ZV_EXPORT int zviIsOverheadMarker(int32_t id, int32_t other);
ZV_EXPORT int zviHasOverheadMarker(void);
ZV_EXPORT int zviIsGroupID(int32_t id, int32_t event, const char **outName);
ZV_EXPORT int32_t zviConverMarkerLineToUniqueMethod(int32_t id, int32_t event);
ZV_EXPORT PRIMarkerRecord *zviGetMarkerDataForID(JNIEnv *env, int32_t id);
ZV_EXPORT int32_t *zviCodeForSpecialMethodID(int32_t id, int32_t event);
ZV_EXPORT int32_t zviGetClassIDForMethodID(int32_t id);
ZV_EXPORT const char *zviGetAlternateSourceForMethodID(int32_t id, ZVWord *outExtra);

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
