// JVMPI object IDs as JVMTI tags: each object gets a small unsigned number
// (below 2^32, never 0) the first time it needs an ID, or at its allocation
// while allocation events are on; the reverse lookup asks the VM for the
// object with that tag. Class IDs are remembered so that the freeing of a
// class object can be told as the class's unloading.
#include <mutex>
#include <unordered_set>

#include "platform/jni_guards.h"
#include "platform/jvmpi_internal.h"
#include "platform/tag_numbers.h"

namespace {

jint JNICALL collectTag(jlong, jlong, jlong *tag, jint, void *live) {
    if (*tag <= kLargestObjectTag) static_cast<std::vector<int64_t> *>(live)->push_back(*tag);
    return JVMTI_VISIT_OBJECTS;
}

JvmpiEmulation::Objects &state() { return Jvmpi().objects; }

jlong takeNumber() {
    std::lock_guard<std::mutex> lock(state().numberMutex);
    return state().numbers.take();
}

void rememberClass(jlong tag) {
    std::lock_guard<std::mutex> lock(state().classMutex);
    state().classTags.insert(tag);
}

jlong setNewTag(jobject object) {
    jlong tag = takeNumber();
    if (tag == 0 || Jvmpi().jvmti->SetTag(object, tag) != JVMTI_ERROR_NONE) return 0;
    return tag;
}

// The object's tag, assigned when it has none; 0 on failure. Where waiting
// is not allowed (allocation callbacks) and another thread is tagging, the
// tag is set without the lock and read back, so a racing tagger's tag wins.
jlong tagOf(jobject object, bool isClass, bool mayWait = true) {
    jvmtiEnv *jvmti = Jvmpi().jvmti;
    if (object == nullptr || jvmti == nullptr) return 0;
    jlong tag = 0;
    if (jvmti->GetTag(object, &tag) != JVMTI_ERROR_NONE) return 0;
    if (tag == 0) {
        std::unique_lock<std::mutex> lock(state().lazyMutex, std::defer_lock);
        if (mayWait) {
            lock.lock();
        } else if (!lock.try_lock()) {
            if (setNewTag(object) == 0 || jvmti->GetTag(object, &tag) != JVMTI_ERROR_NONE) return 0;
        }
        if (lock.owns_lock()) {
            // Another thread may have tagged it meanwhile.
            if (jvmti->GetTag(object, &tag) != JVMTI_ERROR_NONE) return 0;
            if (tag == 0) tag = setNewTag(object);
        }
        if (tag == 0) return 0;
    }
    if (isClass) rememberClass(tag);
    return tag;
}

}  // namespace

std::vector<int64_t> JvmpiLiveTags() {
    std::vector<int64_t> live;
    jvmtiHeapCallbacks callbacks{};
    callbacks.heap_iteration_callback = collectTag;
    Jvmpi().jvmti->IterateThroughHeap(JVMTI_HEAP_FILTER_UNTAGGED, nullptr, &callbacks, &live);
    return live;
}

jobjectID JvmpiObjectID(jobject object) { return JvmpiIDFromTag(tagOf(object, false)); }

jobjectID JvmpiClassID(jclass klass) { return JvmpiIDFromTag(tagOf(klass, true)); }

// A new object is known to this thread only: no other tagger can race.
jobjectID JvmpiNewObjectID(jobject object) {
    jlong tag = 0;
    if (object == nullptr || Jvmpi().jvmti->GetTag(object, &tag) != JVMTI_ERROR_NONE || tag != 0) return nullptr;
    return JvmpiIDFromTag(setNewTag(object));
}

jobjectID JvmpiAllocatedClassID(jclass klass) { return JvmpiIDFromTag(tagOf(klass, true, false)); }

bool JvmpiIsClassTag(jlong tag) {
    std::lock_guard<std::mutex> lock(state().classMutex);
    return state().classTags.count(tag) != 0;
}

void JvmpiMarkClassAnnounced(jobjectID classID) {
    std::lock_guard<std::mutex> lock(state().classMutex);
    state().announcedClasses.insert(JvmpiTagFromID(classID));
}

bool JvmpiClassAnnounced(jclass klass) {
    jlong tag = 0;
    if (Jvmpi().jvmti->GetTag(klass, &tag) != JVMTI_ERROR_NONE || tag == 0) return false;
    std::lock_guard<std::mutex> lock(state().classMutex);
    return state().announcedClasses.count(tag) != 0;
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
    JvmtiRefArray<jobject> objects(jvmti, JvmpiCurrentEnv());
    if (jvmti->GetObjectsWithTags(1, &tag, objects.count(), objects.out(), nullptr) != JVMTI_ERROR_NONE) {
        return nullptr;
    }
    return objects.size() > 0 ? objects.take(0) : nullptr;
}

// Runs where JNI is not allowed: the listeners get IDs only.
void JvmpiObjectFreed(jlong tag) {
    if (tag > kLargestObjectTag) return;  // a heap dump's mark, not an ID
    bool wasClass;
    {
        std::lock_guard<std::mutex> lock(state().classMutex);
        wasClass = state().classTags.erase(tag) != 0;
        state().announcedClasses.erase(tag);
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
