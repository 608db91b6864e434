// Extension libraries: the record each one returns from ZVInitFunction, the
// services record handed to them, and the loader's entry points.
#pragma once

#include <jni.h>

#include <cstdint>

#include "platform/export.h"
#include "platform/jvmpi.h"
#include "support/containers.h"
#include "zvi.h"

struct JCRClass;
struct SEElement;

// The one services record of the process; the agent core fills its words.
ZVServices *ZVGetServices(void);
// Fills the three lock entries (create, enter, leave a recursive lock) once
// per process; later calls do nothing.
void ZVFillServiceLocks(void);

// The services ZV_SERVICE_LIST_DIRECTORY and ZV_SERVICE_CREATE_FILE: list
// the directory install/name into the set (a copy of each entry name as key
// and value), and create or truncate the file install/name; both fall back
// to the working directory.
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

// The zvi* exports of the loader (zviAddExtension, zviInitExtensions, ...)
// are declared in zvi.h.
