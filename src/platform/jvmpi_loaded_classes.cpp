// The classes a running VM had loaded before the agent was attached to it:
// offered to the class-load hook again by retransformation, then announced.
#include <jvmti.h>

#include <algorithm>
#include <vector>

#include "platform/jni_guards.h"
#include "platform/jvmpi_emulation.h"
#include "platform/jvmpi_internal.h"

namespace {

constexpr jint kInterface = 0x0200;
// Classes per retransformation: each is one pause of the VM, and a class the
// VM refuses makes it refuse the whole set.
constexpr size_t kBatch = 256;

// Retransforms classes[from, to); a refused set is halved until the classes
// that the VM refuses are found alone. Counts the refused ones.
void retransform(jvmtiEnv *jvmti, const std::vector<jclass> &classes, size_t from, size_t to, int &refused) {
    if (from >= to) return;
    if (jvmti->RetransformClasses(static_cast<jint>(to - from), classes.data() + from) == JVMTI_ERROR_NONE) return;
    if (to - from == 1) {
        ++refused;
        return;
    }
    size_t middle = from + (to - from) / 2;
    retransform(jvmti, classes, from, middle, refused);
    retransform(jvmti, classes, middle, to, refused);
}

}  // namespace

int JvmpiRetransformLoadedClasses(JNIEnv *env, int *refusedOut) {
    jvmtiEnv *jvmti = Jvmpi().jvmti;
    int refused = 0;
    std::vector<jclass> wanted;
    JvmtiRefArray<jclass> classes(jvmti, env);
    if (env == nullptr || jvmti == nullptr || !Jvmpi().capabilities.can_retransform_classes ||
        !JvmpiEnabled(JVMPI_EVENT_CLASS_LOAD_HOOK) ||
        jvmti->GetLoadedClasses(classes.count(), classes.out()) != JVMTI_ERROR_NONE) {
        if (refusedOut != nullptr) *refusedOut = 0;
        return 0;
    }
    for (jint i = 0; i < classes.size(); ++i) {
        jint status = 0, modifiers = 0;
        jboolean modifiable = JNI_FALSE;
        if (jvmti->GetClassStatus(classes[i], &status) != JVMTI_ERROR_NONE ||
            (status & (JVMTI_CLASS_STATUS_ARRAY | JVMTI_CLASS_STATUS_PRIMITIVE)) != 0)
            continue;
        // Interfaces have no code the hook would time; a class whose load was
        // announced came after the attach, through the hook already.
        if (jvmti->GetClassModifiers(classes[i], &modifiers) != JVMTI_ERROR_NONE || (modifiers & kInterface) != 0 ||
            JvmpiHasClassID(classes[i]))
            continue;
        if (jvmti->IsModifiableClass(classes[i], &modifiable) != JVMTI_ERROR_NONE || !modifiable) {
            ++refused;
            continue;
        }
        wanted.push_back(classes[i]);
    }
    int failed = 0;
    for (size_t from = 0; from < wanted.size(); from += kBatch)
        retransform(jvmti, wanted, from, std::min(wanted.size(), from + kBatch), failed);
    // The hook gave the retransformed classes' methods the agent's identifiers;
    // their loads tell the listeners (and the agent's method table) about them.
    if (JvmpiEnabled(JVMPI_EVENT_CLASS_LOAD)) JvmpiDeliverUnannouncedClasses(env);
    if (refusedOut != nullptr) *refusedOut = refused + failed;
    return static_cast<int>(wanted.size()) - failed;
}
