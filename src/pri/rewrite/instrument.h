// Class rewriting as the rest of the agent and the tools call it: method
// instrumentation at the class-load hook and the matching of the VM's
// class-load event, the settings it reads, and the JUnit, Thread and
// ObjectStreamClass rewrites.
#pragma once

#include <jni.h>

#include <cstdint>

#include "platform/jvmpi.h"
#include "platform/vm_traits.h"
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
// False when zviInstrumentOnly's test wants none of the class's methods.
int PRIMayInstrument(const JCRClass *jclass);

// At the VM's class-load event: the agent's method records for the class
// (new array, owned by the caller; null when none) and its class key.
JVMPI_Method *PRIMatchLoadedClass(const char *dottedName, JNIEnv *env, int methodCount,
                                  const JVMPI_Method *methods, int32_t *outClassID);
// True for the class key of the agent's own context class.
int PRIIsContextClassKey(ZVWord classKey);

// The instrumentation settings that the runtime stores at initialisation for
// method instrumentation to read. Written once, before any class is loaded,
// and read without locks afterwards.
struct PRIRuntimeSettings {
    int instrumentLines = 0;
    int debugInstrumentation = 0;
    const char *debugClassInstrumentation = nullptr;   // null: unset
    const char *debugMethodInstrumentation = nullptr;  // null: unset
    VMTraits vm;
};

const PRIRuntimeSettings &PRISettings();
// Tests and tools set them directly (the agent sets them in PRIInitialize).
void PRISetSettings(const PRIRuntimeSettings &settings);

// JUnit's reloading class loader, rewritten to keep the agent's own classes
// out of it: 1 when the class was rewritten, 0 when it was left alone.
int PRIAdjustJUnitClassLoader(JCRClass *jclass);

// 1 when java/io/ObjectStreamClass was rewritten to pass its serial-UID
// inputs through the context class's filters (also when some call sites were
// missing); 0 when its UID method is missing or its code is unreadable.
int PRIRewriteObjectStreamClass(JCRClass *jclass);
// 1 when java/lang/Thread got its context field and accessor; 0 when the class
// is another one, already carries the marker, or cannot take the additions.
int PRIRewriteThreadClass(JCRClass *jclass);
