// JVMPI names a thread by its JNIEnv; JVMTI by its java.lang.Thread. This
// map, filled at thread start and for the initial and system threads, joins
// the two, and builds the thread-start event from the thread's description.
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/jni_guards.h"
#include "platform/jvmpi_internal.h"

namespace {

JvmpiEmulation::Threads &state() { return Jvmpi().threads; }

}  // namespace

JNIEnv *JvmpiCurrentEnv() {
    JavaVM *vm = Jvmpi().realVM;
    void *env = nullptr;
    if (vm == nullptr || vm->GetEnv(&env, JNI_VERSION_1_2) != JNI_OK) return nullptr;
    return static_cast<JNIEnv *>(env);
}

bool JvmpiRememberThread(JNIEnv *env, jthread thread) {
    if (env == nullptr) return false;
    std::lock_guard<std::mutex> lock(state().mutex);
    auto found = state().byEnv.find(env);
    if (found != state().byEnv.end()) {
        bool fresh = !found->second.startDelivered;
        found->second.startDelivered = true;
        return fresh;
    }
    // The event arrives on the thread itself, so env is the caller's own.
    jthread global = thread != nullptr ? static_cast<jthread>(env->NewGlobalRef(thread)) : nullptr;
    state().byEnv.emplace(env, JvmpiEmulation::Threads::Entry{global, 0, true});
    return true;
}

void JvmpiForgetThread(JNIEnv *env) {
    jthread global = nullptr;
    {
        std::lock_guard<std::mutex> lock(state().mutex);
        state().storage.erase(env);  // a later thread may get the same JNIEnv
        auto found = state().byEnv.find(env);
        if (found == state().byEnv.end()) return;
        global = found->second.thread;
        state().byEnv.erase(found);
    }
    JNIEnv *current = JvmpiCurrentEnv();
    if (global != nullptr && current != nullptr) current->DeleteGlobalRef(global);
}

bool JvmpiThreadOf(JNIEnv *env, jthread *thread, bool *current) {
    *thread = nullptr;
    *current = false;
    JNIEnv *self = JvmpiCurrentEnv();
    if (env != nullptr && env == self) {
        *current = true;
        return true;
    }
    if (self == nullptr) return false;
    // A local reference, so that the thread's end cannot pull it away meanwhile.
    std::lock_guard<std::mutex> lock(state().mutex);
    auto found = state().byEnv.find(env);
    if (found == state().byEnv.end() || found->second.thread == nullptr) return false;
    *thread = static_cast<jthread>(self->NewLocalRef(found->second.thread));
    return *thread != nullptr;
}

void JvmpiKeepStorage(JNIEnv *env, void *value) {
    std::lock_guard<std::mutex> lock(state().mutex);
    if (value != nullptr) state().storage[env] = value;
    else state().storage.erase(env);
}

void *JvmpiKeptStorage(JNIEnv *env) {
    std::lock_guard<std::mutex> lock(state().mutex);
    auto found = state().storage.find(env);
    return found != state().storage.end() ? found->second : nullptr;
}

jlong JvmpiSwapCpuTime(JNIEnv *env, jlong now) {
    std::lock_guard<std::mutex> lock(state().mutex);
    auto found = state().byEnv.find(env);
    if (found == state().byEnv.end()) return now;
    jlong previous = found->second.lastCpuTime;
    found->second.lastCpuTime = now;
    return previous;
}

void JvmpiDeliverThreadStart(JNIEnv *env, jthread thread, JNIEnv *eventEnv) {
    jvmtiEnv *jvmti = Jvmpi().jvmti;
    jvmtiThreadInfo info{};
    if (jvmti->GetThreadInfo(thread, &info) != JVMTI_ERROR_NONE) return;
    JvmtiAllocations names(jvmti);
    names.keep(info.name);
    LocalRef threadGroup(eventEnv, info.thread_group);
    LocalRef loader(eventEnv, info.context_class_loader);
    jvmtiThreadGroupInfo group{};
    jvmtiThreadGroupInfo parent{};
    bool haveGroup = info.thread_group != nullptr &&
                     jvmti->GetThreadGroupInfo(info.thread_group, &group) == JVMTI_ERROR_NONE;
    names.keep(group.name);
    LocalRef groupParent(eventEnv, group.parent);
    bool haveParent = haveGroup && group.parent != nullptr &&
                      jvmti->GetThreadGroupInfo(group.parent, &parent) == JVMTI_ERROR_NONE;
    names.keep(parent.name);
    LocalRef parentParent(eventEnv, parent.parent);

    JVMPI_Event event{};
    event.event_type = JVMPI_EVENT_THREAD_START;
    event.env_id = eventEnv;
    event.u.thread_start.thread_name = info.name;
    event.u.thread_start.group_name = haveGroup ? group.name : nullptr;
    event.u.thread_start.parent_name = haveParent ? parent.name : nullptr;
    event.u.thread_start.thread_id = JvmpiObjectID(thread);
    event.u.thread_start.thread_env_id = env;
    JvmpiDeliver(&event);
}

// With local references taken under the lock, so that no ending thread
// pulls its reference away; the visits run without it.
void JvmpiForEachThread(const std::function<void(JNIEnv *, jthread)> &visit) {
    JNIEnv *self = JvmpiCurrentEnv();
    if (self == nullptr) return;
    std::vector<std::pair<JNIEnv *, jthread>> threads;
    {
        std::lock_guard<std::mutex> lock(state().mutex);
        for (const auto &[env, entry] : state().byEnv) {
            if (entry.thread != nullptr) threads.emplace_back(env, static_cast<jthread>(self->NewLocalRef(entry.thread)));
        }
    }
    for (const auto &[env, thread] : threads) {
        if (thread != nullptr) visit(env, thread);
        self->DeleteLocalRef(thread);
    }
}
