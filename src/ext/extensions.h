// Extension libraries: the record each one returns from ZVInitFunction, the
// services record handed to them, and the loader's entry points.
#pragma once

#include <jni.h>

#include <cstdint>

#include "platform/export.h"
#include "platform/jvmpi.h"
#include "support/containers.h"

struct JCRClass;
struct SEElement;

// Filled by an extension; the agent keeps only its address.
struct ZVExtensionRecord {
    int32_t order;  // <= 0: hook before the agent's instrumentation; >= 0: after
    const char *backendClassName;
    const char *guiClassName;
    void (*javaInit)(JNIEnv *env);
    void (*connect)(ZVWord word);
    unsigned char (*classLoadHook)(JCRClass *jclass, int phase);
    void (*classLoaded)(JVMPI_Event *event);
    void (*objectAllocated)(JNIEnv *env, jobjectID object, jobjectID classID, jint isArray,
                            jint size);
    void (*objectMoved)(jobjectID oldID, jobjectID newID);
    void (*objectFreed)(jobjectID object);
    void (*threadEnded)(JNIEnv *env);
    ZVWord reserved;
    ZVWord (*archiveHeader)(ZVWord a, ZVWord b, ZVWord c);
    ZVWord (*archiveData)(ZVWord a, ZVWord b, ZVWord c);
};

// The 32 words of agent services given to every extension and to metrics.
struct ZVServices {
    ZVWord words[32];
};

enum {
    ZV_SERVICE_LOCK_CREATE = 6,
    ZV_SERVICE_LOCK_ENTER = 7,
    ZV_SERVICE_LOCK_LEAVE = 8,
    ZV_SERVICE_PRIORITIZED_CALL = 21,
};

// The one services record of the process.
ZVServices *ZVGetServices(void);
// Fills the three lock entries (create, enter, leave a recursive lock) once
// per process; later calls do nothing.
void ZVFillServiceLocks(void);

// Loads the extensions of the extension table, once, from JVM_OnLoad.
// Either argument may be null.
void ZVLoadExtensions(SEElement *exclusion, SEElement *arguments);

ZV_EXPORT void zviAddExtension(JNIEnv *env, SEElement *item);
ZV_EXPORT void zviInitExtensions(JNIEnv *env);
ZV_EXPORT int zviGetNumExtensions(void);
ZV_EXPORT int zviGetToolID(void);
