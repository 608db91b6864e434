// Conversions between JVMPI object IDs and JNI references, when the VM has
// them, and the validity test of a thread's JNIEnv.
#include "agent/agent_internal.h"

int zviSupportsHandleForObject(void) { return ZVState().objectIDToObject != nullptr; }

int zviSupportsObjectForHandle(void) { return ZVState().objectToObjectID != nullptr; }

jobject zviHandleForObject(jobjectID object) {
    auto convert = ZVState().objectIDToObject;
    return convert != nullptr ? convert(object) : nullptr;
}

jobjectID zviObjectForHandle(jobject reference) {
    auto convert = ZVState().objectToObjectID;
    return convert != nullptr ? convert(reference) : nullptr;
}

int zviIsValidJNIEnv(JNIEnv *env) {
    zviDataLock();
    int valid = ZVFindThread(env) != nullptr;
    zviDataUnlock();
    return valid;
}
