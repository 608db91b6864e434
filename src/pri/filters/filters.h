// Class filters: groups of methods named by pattern in a filter file, and
// what the profiler does with them (fold into a group, ignore in the memory
// or CPU profiler, leave uninstrumented); the marker that tells an already
// instrumented class; and the class tables' set-up and the VM's class IDs.
#pragma once

#include <cstdint>

#include "platform/export.h"
#include "support/containers.h"
#include "zvi.h"

struct JCRClass;

// Method-identifier flag bits set from the filter answers.
enum : uint32_t {
    PRI_FILTER_IGNORE_CPU = ZV_ID_IGNORE_CPU,
    PRI_FILTER_IGNORE_MEMORY = ZV_ID_IGNORE_MEMORY,
    PRI_FILTER_GROUP = ZV_ID_GROUP,
};

// Loads the filter file named by the options (null: nothing to load); false
// after a message on standard error when the file cannot be used.
bool PRILoadFilterFile(const char *path);

// The queries: the entry index of the first matching entry of the newest file
// with that kind set (or 1 for the two yes/no questions); -1 or 0 when none
// matches or no filter is loaded. Only the low three access bits are used.
int PRIFilterGroupOf(const char *className, const char *methodName, const char *descriptor,
                     int access);
int PRIFilterEliminates(const char *className, const char *methodName, const char *descriptor,
                        int access);
int PRIFilterIgnoresMemory(const char *className, const char *methodName,
                           const char *descriptor, int access);
int PRIFilterIgnoresCPU(const char *className, const char *methodName, const char *descriptor,
                        int access);

// The name of a group identifier's entry, or "Unknown group".
const char *PRIFilterGroupName(int32_t groupID);

// zviReloadFilter and the other filter exports are declared in zvi.h.

// The text the patterns are matched against, e.g.
// java.lang.Object.toString(()Ljava/lang/String;){public}.
void PRIFilterMethodText(const char *className, const char *methodName, const char *descriptor,
                         int access, char *buffer, int size);

// The filters' record (filter_table.h). A fresh one has no filter loaded;
// installing one returns the record it replaces, to be freed once no thread
// uses it (tests, tools, fuzzing).
struct PRIFilterState;
PRIFilterState *PRINewFilters();
PRIFilterState *PRIInstallFilters(PRIFilterState *filters);
void PRIFreeFilters(PRIFilterState *filters);

// Classes already instrumented carry a marker constant.
int PRIIsMarkedInstrumented(const JCRClass *jclass);
void PRIMarkInstrumented(JCRClass *jclass);

// Creates the class tables (ids, class entries waiting for the VM's
// class-load event, method sources), once.
void PRICreateClassTables();

// The VM's class ID -> the agent's class key.
void PRIClassKeyPut(ZVWord vmClassID, int32_t classID);
void PRIClassKeyMove(ZVWord oldVMClassID, ZVWord newVMClassID);
int32_t PRIClassKeyGet(ZVWord vmClassID);
void PRIClassKeyRemove(ZVWord vmClassID);
