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
    ZV_SERVICE_ADD_EXTENSION = 17,
    ZV_SERVICE_PRIORITIZED_CALL = 21,
    // (env) -> the thread's ZVContext; (env, context) stores one for the thread.
    ZV_SERVICE_GET_CONTEXT = 23,
    ZV_SERVICE_STORE_CONTEXT = 24,
    ZV_SERVICE_LIST_DIRECTORY = 25,
    ZV_SERVICE_CREATE_FILE = 26,
};

// The entry point every extension library exports as "ZVInitFunction".
typedef ZVExtensionRecord *(*ZVInitFunctionType)(JavaVM *vm, int32_t identifier,
                                                 ZVServices *services, SEElement *initArgs,
                                                 int32_t constant);

// The one services record of the process. The loader's own words (17, 25
// and 26) are there from the start; the agent core fills in the others.
ZVServices *ZVGetServices(void);
// Fills the three lock entries (create, enter, leave a recursive lock) once
// per process; later calls do nothing.
void ZVFillServiceLocks(void);

// Services words 25 and 26: list the directory install/name into the set
// (a copy of each entry name as key and value), and create or truncate the
// file install/name; both fall back to the working directory.
void ZVListToolDirectory(const char *name, ZVHashTable *set);
void ZVCreateToolFile(const char *name);

// The agent core owns the extension list; the loader reaches it only here.
struct ZVExtensionHost {
    JavaVM *(*vm)(void);
    int32_t (*count)(void);
    // Appends a record and tells the installed handler table about it.
    void (*add)(ZVExtensionRecord *record);
};
// The host stays the caller's; null detaches (extensions are then not added).
void ZVSetExtensionHost(const ZVExtensionHost *host);

// Loads the extensions of the extension table, once, from JVM_OnLoad.
// Either argument may be null; entries of arguments may be moved out.
void ZVLoadExtensions(SEElement *exclusion, SEElement *arguments);

ZV_EXPORT void zviAddExtension(JNIEnv *env, SEElement *item);
ZV_EXPORT void zviInitExtensions(JNIEnv *env);
ZV_EXPORT int zviGetNumExtensions(void);
// An index outside the list gives "" or 0, as for an extension without the entry.
ZV_EXPORT const char *zviGetBackendExtensionJavaClassName(ZVWord ignored, int index);
ZV_EXPORT const char *zviGetGUIExtensionJavaClassName(ZVWord ignored, int index);
ZV_EXPORT ZVWord zviArchiveHeaderForExtension(ZVWord a, ZVWord b, ZVWord c, int index);
ZV_EXPORT ZVWord zviArchiveDataForExtension(ZVWord a, ZVWord b, ZVWord c, int index);

ZV_EXPORT int zviGetToolID(void);
ZV_EXPORT const char *zviGetLogFile(void);
ZV_EXPORT int zviGetLogFileSeverity(void);
ZV_EXPORT const char *zviGetUnitTestSnapDB(void);
ZV_EXPORT const char *zviGetUnitTestSnapDir(void);
