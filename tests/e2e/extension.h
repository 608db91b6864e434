// What the parts of the test extension share.
#pragma once

#include <jni.h>

#include <string>
#include <vector>

#include "agent/agent.h"
#include "ext/extensions.h"

// A new Java int array holding the values (null when the VM refuses it).
inline jintArray IntArray(JNIEnv *env, const std::vector<jint> &values) {
    jintArray array = env->NewIntArray(static_cast<jsize>(values.size()));
    if (array != nullptr) env->SetIntArrayRegion(array, 0, static_cast<jsize>(values.size()), values.data());
    return array;
}

// Releases what a class-load handler is given.
void FreeClassArrays(char *sourceName, jint methodCount, JVMPI_Method *methods, jint staticCount,
                     JVMPI_Field *statics, jint instanceCount, JVMPI_Field *instances);

// The probe's handler table (probe.cpp), the one table the runs install.
ZVHandlerTable *ProbeTable();
// Its extension-added and shutdown entries: the table-loaded extension prints
// them as "ext NAME: ..." (nothing when the library is not that extension).
void ExtensionAdded(ZVExtensionRecord *record);
void ExtensionShutDown();

// With initArgs memory=true the extension is the memory runs' one, and this
// is its record (it prints nothing; it installs the probe's handler table).
ZVExtensionRecord *MemoryRecord();
// The name, interface count and reference statics of the class the probe's
// table was told of under that key; false when none.
bool ClassShapeByKey(ZVWord key, std::string *name, int *interfaces, int *referenceStatics);

// Prints "ext NAME: TEXT" on standard output.
void say(const std::string &text);
// The services record the agent handed the extension.
const ZVServices *ExtensionServices();
