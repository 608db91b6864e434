// Method instrumentation as the agent core calls it: class rewriting at the
// class-load hook, matching of the VM's class-load event, and the table from
// the VM's class IDs to the agent's class keys.
#pragma once

#include <jni.h>

#include <cstdint>

#include "platform/jvmpi.h"
#include "support/containers.h"

struct JCRClass;

// Non-zero when the class was changed.
int PRIInstrumentClass(JCRClass *jclass, JNIEnv *env, int njplSupport);
// Only the rewrites that add no calls to the context class at load time
// (java/lang/Thread's context field, the serialization filters), for classes
// the VM loads before the context class can be loaded. Non-zero when changed.
int PRIPreInstrumentClass(JCRClass *jclass);
// True once some method of some class has been instrumented.
int PRIHasInstrumentedMethods(void);

// At the VM's class-load event: the agent's method records for the class
// (new array, owned by the caller; null when none) and its class key.
JVMPI_Method *PRIMatchLoadedClass(const char *dottedName, JNIEnv *env, int methodCount,
                                  const JVMPI_Method *methods, int32_t *outClassID);
// True for the class key of the agent's own context class.
int PRIIsContextClassKey(ZVWord classKey);

// The VM's class ID -> the agent's class key.
void PRIClassKeyPut(ZVWord vmClassID, int32_t classID);
void PRIClassKeyMove(ZVWord oldVMClassID, ZVWord newVMClassID);
int32_t PRIClassKeyGet(ZVWord vmClassID);
void PRIClassKeyRemove(ZVWord vmClassID);
