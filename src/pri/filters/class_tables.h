// The tables method instrumentation fills and the agent core and backtraces
// read: method and class ids, class entries waiting for the VM's class-load
// event, method id -> class id and -> alternate source, and the VM's class
// IDs -> class ids. Each table has its own mutex.
#pragma once

#include <jni.h>

#include <cstdint>

#include "pri/filters/filters.h"
#include "support/containers.h"

// The tables with their mutexes and id counters. Until the first set is
// created, ids are 0 and lookups find nothing.
struct PRIClassTables;

// Creates the tables of the running agent, once (start-up).
void PRICreateClassTables();
// A fresh, empty set of tables with counters from 0; installing one returns
// the set it replaces, to be freed once no thread uses it (tests, tools).
PRIClassTables *PRINewClassTables();
PRIClassTables *PRIInstallClassTables(PRIClassTables *tables);
void PRIFreeClassTables(PRIClassTables *tables);

uint32_t PRINewMethodID();
int32_t PRINewClassID();

// A class entry: "ID" (class id), "m" (method table: "name|descriptor" ->
// id, first line, last line, made for methodCount methods) and "n" (its key
// record).
ZVHashTable *PRIRegisterClass(const char *className, JNIEnv *env, int32_t classID, int methodCount = 0);
void PRIRegisterMethod(ZVHashTable *classEntry, const char *name, const char *descriptor,
                       uint32_t methodID, int32_t classID, int32_t firstLine, int32_t lastLine);

// methodIDToClassID lookups (0 when unknown) and methodIDToSource entries.
int32_t PRIClassIDOfMethod(uint32_t methodID);
void PRISetMethodSource(uint32_t methodID, const char *source, const char *defaultSource);
// The alternate source of a method id and its extra word (the default
// source); null when the id has none. The strings live as long as the process.
const char *PRIMethodSource(uint32_t methodID, ZVWord *outExtra);
