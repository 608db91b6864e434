// What the parts of the test extension share.
#pragma once

#include <jni.h>

#include <string>

#include "agent/agent.h"
#include "ext/extensions.h"

// Handler-table entries for the events a table does not follow.
namespace ignore {
inline void object(jobjectID) {}
inline void move(jobjectID, jobjectID) {}
inline void allocation(JNIEnv *, jobjectID, ZVWord, jint, jint) {}
inline void entry(JNIEnv *, int32_t, int32_t *) {}
inline void exit(JNIEnv *, int32_t) {}
inline void env(JNIEnv *) {}
inline void nothing() {}
inline jint zero() { return 0; }
}  // namespace ignore

// Releases what a class-load handler is given.
void FreeClassArrays(char *sourceName, jint methodCount, JVMPI_Method *methods, jint staticCount,
                     JVMPI_Field *statics, jint instanceCount, JVMPI_Field *instances);

// With initArgs memory=true the extension is the memory runs' one, and this
// is its record (it prints nothing).
ZVExtensionRecord *MemoryRecord();

// Prints "ext NAME: TEXT" on standard output.
void say(const std::string &text);
// The services record the agent handed the extension.
const ZVServices *ExtensionServices();
// ZVContext.createMarker(name, event): the marker's identifier, 0 when refused;
// then failure, when given, says which call failed and with what exception.
jint CreateMarker(JNIEnv *env, const char *name, jint event = 0, std::string *failure = nullptr);

// The map of the named metric in a serialized metrics tree, or null.
const SEElement *MetricNamed(const SEElement *tree, const std::string &name);

// With initArgs inspect=true: the handler table's counts, method names from
// its class-load handler, and the inspection of the thread that loads
// e2e.ExtPoint (its backtrace, its context, the metrics).
void InspectInstallCounts(ZVHandlerTable *table);
void InspectClassLoaded(const char *className, jint methodCount, const JVMPI_Method *methods);
void InspectPoint(JNIEnv *env, const ZVServices *services);
