// JVMPI object IDs as JVMTI tags: each object gets a small unsigned number
// (below 2^32, never 0) the first time it needs an ID; the reverse lookup asks
// the VM for the object with that tag. Class IDs are remembered so that the
// freeing of a class object can be told as the class's unloading.
#include <mutex>
#include <unordered_set>

#include "platform/jvmpi_internal.h"

namespace {

std::mutex gMutex;  // tag assignment and the class set
uint32_t gNextTag = 1;
std::unordered_set<jlong> gClassTags;

jlong newTag() {
    jlong tag = gNextTag++;
    if (gNextTag == 0) gNextTag = 1;  // after 2^32 - 1 IDs the numbers are reused
    return tag;
}

// The object's tag, assigned when it has none; 0 on failure.
jlong tagOf(jobject object, bool isClass) {
    jvmtiEnv *jvmti = Jvmpi().jvmti;
    if (object == nullptr || jvmti == nullptr) return 0;
    jlong tag = 0;
    if (jvmti->GetTag(object, &tag) != JVMTI_ERROR_NONE) return 0;
    if (tag != 0 && !isClass) return tag;
    std::lock_guard<std::mutex> lock(gMutex);
    if (tag == 0) {
        // Another thread may have tagged it meanwhile.
        if (jvmti->GetTag(object, &tag) != JVMTI_ERROR_NONE) return 0;
        if (tag == 0) {
            tag = newTag();
            if (jvmti->SetTag(object, tag) != JVMTI_ERROR_NONE) return 0;
        }
    }
    if (isClass) gClassTags.insert(tag);
    return tag;
}

}  // namespace

jobjectID JvmpiObjectID(jobject object) { return JvmpiIDFromTag(tagOf(object, false)); }

jobjectID JvmpiClassID(jclass klass) { return JvmpiIDFromTag(tagOf(klass, true)); }

bool JvmpiHasClassID(jclass klass) {
    jlong tag = 0;
    if (Jvmpi().jvmti->GetTag(klass, &tag) != JVMTI_ERROR_NONE || tag == 0) return false;
    std::lock_guard<std::mutex> lock(gMutex);
    return gClassTags.count(tag) != 0;
}

jobject JvmpiObjectFor(jobjectID id) {
    jlong tag = JvmpiTagFromID(id);
    jvmtiEnv *jvmti = Jvmpi().jvmti;
    if (tag == 0 || jvmti == nullptr) return nullptr;
    jint count = 0;
    jobject *objects = nullptr;
    if (jvmti->GetObjectsWithTags(1, &tag, &count, &objects, nullptr) != JVMTI_ERROR_NONE) {
        return nullptr;
    }
    jobject found = count > 0 ? objects[0] : nullptr;
    JNIEnv *env = JvmpiCurrentEnv();
    for (jint i = 1; i < count && env != nullptr; ++i) env->DeleteLocalRef(objects[i]);
    jvmti->Deallocate(reinterpret_cast<unsigned char *>(objects));
    return found;
}

// Runs where JNI is not allowed: the listeners get IDs only.
void JvmpiObjectFreed(jlong tag) {
    bool wasClass;
    {
        std::lock_guard<std::mutex> lock(gMutex);
        wasClass = gClassTags.erase(tag) != 0;
    }
    JVMPI_Event event{};
    if (wasClass) {
        if (!JvmpiEnabled(JVMPI_EVENT_CLASS_UNLOAD)) return;
        event.event_type = JVMPI_EVENT_CLASS_UNLOAD;
        event.u.class_unload.class_id = JvmpiIDFromTag(tag);
    } else {
        if (!JvmpiEnabled(JVMPI_EVENT_OBJECT_FREE)) return;
        event.event_type = JVMPI_EVENT_OBJECT_FREE;
        event.u.obj_free.obj_id = JvmpiIDFromTag(tag);
    }
    JvmpiDeliver(&event);
}
