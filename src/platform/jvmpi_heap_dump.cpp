// Heap dumps: a JVMTI walk from the roots marks every reachable object; the
// objects are then given IDs and their records written through JNI. Objects
// without an ID get a mark above the 4-byte range during the walk (its
// callbacks run inside the VM and may take no lock) and their ID after it.
#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "platform/jni_guards.h"
#include "platform/jvmpi_dumps.h"
#include "platform/jvmpi_internal.h"

namespace {

struct Root {
    uint8_t type;
    jlong tag;
    jlong threadTag;  // stack and thread roots
    jint depth;       // stack roots
};

struct Walk {
    std::vector<Root> roots;
    std::unordered_set<jlong> reached;
    std::vector<jlong> marked;
    jlong nextMark = kLargestObjectTag + 1;
};

void addRoot(Walk &walk, jvmtiHeapReferenceKind kind, const jvmtiHeapReferenceInfo *info, jlong tag) {
    switch (kind) {
        case JVMTI_HEAP_REFERENCE_JNI_GLOBAL: walk.roots.push_back({JVMPI_GC_ROOT_JNI_GLOBAL, tag, 0, 0}); break;
        case JVMTI_HEAP_REFERENCE_SYSTEM_CLASS: walk.roots.push_back({JVMPI_GC_ROOT_STICKY_CLASS, tag, 0, 0}); break;
        case JVMTI_HEAP_REFERENCE_MONITOR: walk.roots.push_back({JVMPI_GC_ROOT_MONITOR_USED, tag, 0, 0}); break;
        case JVMTI_HEAP_REFERENCE_THREAD: walk.roots.push_back({JVMPI_GC_ROOT_THREAD_OBJ, tag, tag, 0}); break;
        case JVMTI_HEAP_REFERENCE_OTHER: walk.roots.push_back({JVMPI_GC_ROOT_UNKNOWN, tag, 0, 0}); break;
        case JVMTI_HEAP_REFERENCE_STACK_LOCAL:
            walk.roots.push_back({JVMPI_GC_ROOT_JAVA_FRAME, tag, info->stack_local.thread_tag, info->stack_local.depth});
            break;
        case JVMTI_HEAP_REFERENCE_JNI_LOCAL:
            walk.roots.push_back({JVMPI_GC_ROOT_JNI_LOCAL, tag, info->jni_local.thread_tag, info->jni_local.depth});
            break;
        default: break;  // a reference between objects
    }
}

jint JNICALL onReference(jvmtiHeapReferenceKind kind, const jvmtiHeapReferenceInfo *info, jlong, jlong, jlong,
                         jlong *tag, jlong *, jint, void *data) {
    Walk &walk = *static_cast<Walk *>(data);
    if (*tag == 0) {
        *tag = walk.nextMark++;
        walk.marked.push_back(*tag);
    }
    walk.reached.insert(*tag);
    addRoot(walk, kind, info, *tag);
    return JVMTI_VISIT_OBJECTS;
}

// Calls use(object, tag) for the objects that hold the tags, a slice at a
// time so that the local references stay few.
template <typename Use>
void forObjects(JNIEnv *env, const std::vector<jlong> &tags, Use use) {
    constexpr size_t kSlice = 2048;
    jvmtiEnv *jvmti = Jvmpi().jvmti;
    for (size_t start = 0; start < tags.size(); start += kSlice) {
        jint wanted = static_cast<jint>(std::min(kSlice, tags.size() - start));
        if (env->PushLocalFrame(wanted + 32) != JNI_OK) return;
        jint count = 0;
        JvmtiMemory<jobject> objects(jvmti);  // references of the local frame
        JvmtiMemory<jlong> found(jvmti);
        if (jvmti->GetObjectsWithTags(wanted, tags.data() + start, &count, objects.out(), found.out()) ==
            JVMTI_ERROR_NONE) {
            for (jint i = 0; i < count; ++i) use(objects[i], found[i]);
        }
        env->PopLocalFrame(nullptr);
    }
}

}  // namespace

bool JvmpiWriteHeapDump(DumpWriter &out, JNIEnv *env, jint level) {
    jvmtiEnv *jvmti = Jvmpi().jvmti;
    if (env == nullptr || jvmti == nullptr || !Jvmpi().capabilities.can_tag_objects) return false;
    // Threads have their IDs before the walk, so that stack roots can name them.
    std::unordered_map<jlong, JNIEnv *> threadEnvs;
    JvmpiForEachThread([&](JNIEnv *threadEnv, jthread thread) {
        if (thread != nullptr) threadEnvs[JvmpiTagFromID(JvmpiObjectID(thread))] = threadEnv;
    });
    Walk walk;
    jvmtiHeapCallbacks callbacks{};
    callbacks.heap_reference_callback = onReference;
    if (jvmti->FollowReferences(0, nullptr, nullptr, &callbacks, &walk) != JVMTI_ERROR_NONE) return false;

    // Marked objects get their IDs; marks of objects gone meanwhile vanish with them.
    std::unordered_map<jlong, jlong> idOfMark;
    forObjects(env, walk.marked, [&](jobject object, jlong mark) {
        jvmti->SetTag(object, 0);
        idOfMark[mark] = JvmpiTagFromID(JvmpiObjectID(object));
    });
    auto idOf = [&](jlong tag) -> uint32_t {
        if (tag <= kLargestObjectTag) return static_cast<uint32_t>(tag);
        auto found = idOfMark.find(tag);
        return found != idOfMark.end() ? static_cast<uint32_t>(found->second) : 0;
    };

    if (level != JVMPI_DUMP_LEVEL_0) {
        for (const Root &root : walk.roots) {
            out.u1(root.type);
            out.id(idOf(root.tag));
            switch (root.type) {
                case JVMPI_GC_ROOT_JNI_GLOBAL: out.pointer(nullptr); break;  // the reference itself is not known
                case JVMPI_GC_ROOT_THREAD_OBJ: out.pointer(threadEnvs[idOf(root.threadTag)]); break;
                case JVMPI_GC_ROOT_JAVA_FRAME:
                case JVMPI_GC_ROOT_JNI_LOCAL:
                    out.pointer(threadEnvs[idOf(root.threadTag)]);
                    out.u4(static_cast<uint32_t>(root.depth));
                    break;
                default: break;
            }
        }
    }
    std::vector<jlong> ids;
    ids.reserve(walk.reached.size());
    for (jlong tag : walk.reached) {
        if (uint32_t id = idOf(tag)) ids.push_back(id);
    }
    DumpRecords records(env, level);
    forObjects(env, ids, [&](jobject object, jlong) { records.write(out, object); });
    return true;
}
