// JVMPI object IDs as JVMTI tags: each object gets a small unsigned number
// (below 2^32, never 0) the first time it needs an ID, or at its allocation
// while allocation events are on; the reverse lookup asks the VM for the
// object with that tag. Class IDs are remembered so that the freeing of a
// class object can be told as the class's unloading.
#include <mutex>
#include <unordered_set>

#include "platform/jvmpi_internal.h"
#include "platform/tag_numbers.h"

namespace {

jint JNICALL collectTag(jlong, jlong, jlong *tag, jint, void *live) {
    if (*tag <= kLargestObjectTag) static_cast<std::vector<int64_t> *>(live)->push_back(*tag);
    return JVMTI_VISIT_OBJECTS;
}

// The tags of every tagged object in the heap.
std::vector<int64_t> liveTags() {
    std::vector<int64_t> live;
    jvmtiHeapCallbacks callbacks{};
    callbacks.heap_iteration_callback = collectTag;
    Jvmpi().jvmti->IterateThroughHeap(JVMTI_HEAP_FILTER_UNTAGGED, nullptr, &callbacks, &live);
    return live;
}

// Tag assignment; nothing that runs inside a heap walk's callbacks takes
// this lock. ObjectFree events can be posted on a thread inside a JVMTI call,
// so the class set has its own lock, never held over a JVMTI call.
std::mutex gTagMutex;
TagNumbers gNumbers(kLargestObjectTag, liveTags);
std::mutex gClassMutex;
std::unordered_set<jlong> gClassTags;

void rememberClass(jlong tag) {
    std::lock_guard<std::mutex> lock(gClassMutex);
    gClassTags.insert(tag);
}

// The object's tag, assigned when it has none; 0 on failure.
jlong tagOf(jobject object, bool isClass) {
    jvmtiEnv *jvmti = Jvmpi().jvmti;
    if (object == nullptr || jvmti == nullptr) return 0;
    jlong tag = 0;
    if (jvmti->GetTag(object, &tag) != JVMTI_ERROR_NONE) return 0;
    if (tag == 0) {
        std::lock_guard<std::mutex> lock(gTagMutex);
        // Another thread may have tagged it meanwhile.
        if (jvmti->GetTag(object, &tag) != JVMTI_ERROR_NONE) return 0;
        if (tag == 0) {
            tag = gNumbers.take();
            if (tag == 0 || jvmti->SetTag(object, tag) != JVMTI_ERROR_NONE) return 0;
        }
    }
    if (isClass) rememberClass(tag);
    return tag;
}

}  // namespace

jobjectID JvmpiObjectID(jobject object) { return JvmpiIDFromTag(tagOf(object, false)); }

jobjectID JvmpiClassID(jclass klass) { return JvmpiIDFromTag(tagOf(klass, true)); }

jobjectID JvmpiNewObjectID(jobject object) {
    jvmtiEnv *jvmti = Jvmpi().jvmti;
    jlong tag = 0;
    if (object == nullptr || jvmti->GetTag(object, &tag) != JVMTI_ERROR_NONE || tag != 0) return nullptr;
    std::lock_guard<std::mutex> lock(gTagMutex);
    tag = gNumbers.take();
    if (tag == 0 || jvmti->SetTag(object, tag) != JVMTI_ERROR_NONE) return nullptr;
    return JvmpiIDFromTag(tag);
}

bool JvmpiIsClassTag(jlong tag) {
    std::lock_guard<std::mutex> lock(gClassMutex);
    return gClassTags.count(tag) != 0;
}

bool JvmpiHasClassID(jclass klass) {
    jlong tag = 0;
    if (Jvmpi().jvmti->GetTag(klass, &tag) != JVMTI_ERROR_NONE || tag == 0) return false;
    return JvmpiIsClassTag(tag);
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
    if (tag > kLargestObjectTag) return;  // a heap dump's mark, not an ID
    bool wasClass;
    {
        std::lock_guard<std::mutex> lock(gClassMutex);
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
