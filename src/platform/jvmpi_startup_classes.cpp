// The classes the VM loads while it starts: the class-load hook sees them
// before the agent's context class can be loaded, so they are offered to it
// again once the VM is live, by redefining them with the bytes first offered.
//
// Redefinition from kept bytes rather than retransformation: a VM that lets an
// agent retransform keeps the original bytes of every class that agent rewrites
// for the whole run; these copies are few and dropped once used.
#include <jvmti.h>

#include <cstdlib>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/jni_guards.h"
#include "platform/jvmpi_emulation.h"
#include "platform/jvmpi_internal.h"

namespace {

constexpr jint kInterface = 0x0200;

JvmpiEmulation::StartupClasses &state() { return Jvmpi().startupClasses; }

// "Ljava/lang/String;" -> "java/lang/String"; empty for anything else.
std::string internalName(const char *signature) {
    std::string name(signature != nullptr ? signature : "");
    if (name.size() < 3 || name.front() != 'L' || name.back() != ';') return {};
    return name.substr(1, name.size() - 2);
}

// The boot classes whose start-up bytes are kept, with those bytes; their
// local references belong to the caller's local frame, the others' are dropped
// (the VM has many more classes loaded than bytes were kept).
struct Candidates {
    std::vector<jclass> classes;
    std::vector<jvmtiClassDefinition> definitions;
};

Candidates candidates(JNIEnv *env, jvmtiEnv *jvmti, std::unordered_map<std::string, std::vector<unsigned char>> &kept) {
    Candidates found;
    JvmtiRefArray<jclass> loaded(jvmti, env);
    if (jvmti->GetLoadedClasses(loaded.count(), loaded.out()) != JVMTI_ERROR_NONE) return found;
    for (jint i = 0; i < loaded.size(); ++i) {
        jclass klass = loaded[i];
        jint status = 0;
        jint modifiers = 0;
        jboolean modifiable = JNI_FALSE;
        jobject loaderRef = nullptr;
        JvmtiMemory<char> signature(jvmti);
        bool wanted = jvmti->GetClassStatus(klass, &status) == JVMTI_ERROR_NONE &&
                      (status & (JVMTI_CLASS_STATUS_ARRAY | JVMTI_CLASS_STATUS_PRIMITIVE)) == 0 &&
                      jvmti->IsModifiableClass(klass, &modifiable) == JVMTI_ERROR_NONE && modifiable &&
                      jvmti->GetClassModifiers(klass, &modifiers) == JVMTI_ERROR_NONE &&
                      (modifiers & kInterface) == 0 &&
                      jvmti->GetClassLoader(klass, &loaderRef) == JVMTI_ERROR_NONE && loaderRef == nullptr &&
                      jvmti->GetClassSignature(klass, signature.out(), nullptr) == JVMTI_ERROR_NONE;
        LocalRef loader(env, loaderRef);
        auto bytes = wanted ? kept.find(internalName(signature.get())) : kept.end();
        if (bytes != kept.end() && !bytes->second.empty()) {
            found.classes.push_back(loaded.take(i));
            found.definitions.push_back(
                {klass, static_cast<jint>(bytes->second.size()), bytes->second.data()});
        }
    }
    return found;
}

}  // namespace

void JvmpiKeepStartupClass(const char *name, jobject loader, const unsigned char *data, jint length) {
    if (name == nullptr || loader != nullptr || data == nullptr || length <= 0) return;
    std::lock_guard<std::mutex> lock(state().mutex);
    if (state().keeping) state().bytes[name].assign(data, data + length);
}

bool JvmpiVerifiesHookedBootClasses() {
    static const bool verifies = [] {
        jvmtiEnv *jvmti = Jvmpi().jvmti;
        if (jvmti == nullptr) return true;
        JvmtiMemory<char> version(jvmti);
        if (jvmti->GetSystemProperty("java.vm.specification.version", version.out()) != JVMTI_ERROR_NONE ||
            version.get() == nullptr)
            return true;
        return std::atoi(version.get()) > 17;
    }();
    return verifies;
}

bool JvmpiStartupClassPending(jclass klass) {
    jvmtiEnv *jvmti = Jvmpi().jvmti;
    if (jvmti == nullptr || !Jvmpi().capabilities.can_redefine_classes || !JvmpiEnabled(JVMPI_EVENT_CLASS_LOAD_HOOK))
        return false;
    {
        std::lock_guard<std::mutex> lock(state().mutex);
        if (!state().keeping || state().bytes.empty()) return false;
    }
    JvmtiMemory<char> signature(jvmti);
    if (jvmti->GetClassSignature(klass, signature.out(), nullptr) != JVMTI_ERROR_NONE) return false;
    std::string name = internalName(signature.get());
    std::lock_guard<std::mutex> lock(state().mutex);
    bool pending = state().keeping && state().bytes.count(name) != 0;
    if (pending) state().waiting = true;
    return pending;
}

bool JvmpiPrepareDeferredByRedefinition(JNIEnv *env) {
    std::lock_guard<std::mutex> lock(state().mutex);
    if (env == nullptr || state().redefiningOn != env) return false;
    state().waiting = true;
    return true;
}

namespace {

// Marks the calling thread as redefining the start-up classes for its lifetime.
class RedefiningScope {
public:
    explicit RedefiningScope(JNIEnv *env) { set(env); }
    ~RedefiningScope() { set(nullptr); }
    RedefiningScope(const RedefiningScope &) = delete;
    RedefiningScope &operator=(const RedefiningScope &) = delete;

private:
    static void set(JNIEnv *env) {
        std::lock_guard<std::mutex> lock(state().mutex);
        state().redefiningOn = env;
    }
};

int redefineKept(JNIEnv *env) {
    std::unordered_map<std::string, std::vector<unsigned char>> kept;
    {
        std::lock_guard<std::mutex> lock(state().mutex);
        state().keeping = false;
        kept.swap(state().bytes);
    }
    jvmtiEnv *jvmti = Jvmpi().jvmti;
    if (env == nullptr || jvmti == nullptr || kept.empty() || !Jvmpi().capabilities.can_redefine_classes ||
        !JvmpiEnabled(JVMPI_EVENT_CLASS_LOAD_HOOK)) {
        return 0;
    }
    if (env->PushLocalFrame(static_cast<jint>(kept.size()) + 16) != JNI_OK) {
        env->ExceptionClear();
        return 0;
    }
    Candidates found = candidates(env, jvmti, kept);
    std::vector<jclass> redefined;
    // The VM links each class it redefines, with its superclasses, as it goes
    // through the set: a class linked there before the hook has given it its
    // new identifiers would be announced with methods no probe uses. Those
    // prepare events are held back; the classes' loads follow the set's.
    RedefiningScope scope(env);
    // All at once, in one pause of the VM; when the VM refuses one class the
    // whole set is refused, and each class is then tried on its own.
    if (!found.definitions.empty() &&
        jvmti->RedefineClasses(static_cast<jint>(found.definitions.size()), found.definitions.data()) ==
            JVMTI_ERROR_NONE) {
        redefined = found.classes;
    } else {
        JvmpiStartupMark("start-up classes refused as a whole");
        for (size_t i = 0; i < found.definitions.size(); ++i) {
            if (jvmti->RedefineClasses(1, &found.definitions[i]) == JVMTI_ERROR_NONE) {
                redefined.push_back(found.classes[i]);
            }
        }
    }
    // The redefined classes' methods now carry the agent's new identifiers:
    // listeners that had the class's load already are told that version is
    // gone, and then the load of the new one (so that class counts stay
    // right). The others' loads follow, with every class that waited.
    for (jclass klass : redefined) {
        if (!JvmpiHasClassID(klass)) continue;
        if (JvmpiEnabled(JVMPI_EVENT_CLASS_UNLOAD)) {
            JVMPI_Event event{};
            event.event_type = JVMPI_EVENT_CLASS_UNLOAD;
            event.env_id = env;
            event.u.class_unload.class_id = JvmpiClassID(klass);
            JvmpiDeliver(&event);
        }
        if (JvmpiEnabled(JVMPI_EVENT_CLASS_LOAD)) JvmpiDeliverClassLoad(env, klass, JVMPI_EVENT_CLASS_LOAD);
    }
    env->PopLocalFrame(nullptr);
    return static_cast<int>(redefined.size());
}

}  // namespace

int JvmpiRedefineStartupClasses(JNIEnv *env) {
    int redefined = redefineKept(env);
    bool waiting = false;
    {
        std::lock_guard<std::mutex> lock(state().mutex);
        std::swap(waiting, state().waiting);
    }
    // The classes that waited for their new version, redefined or refused.
    if (waiting && env != nullptr && JvmpiEnabled(JVMPI_EVENT_CLASS_LOAD)) JvmpiDeliverUnannouncedClasses(env);
    return redefined;
}
