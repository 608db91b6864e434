// Exact call counting as a service of the agent: the context class counts
// the entries of instrumented methods per thread once its flag is set, and
// adds them up on request. Also the switch of hibernation, under which
// instrumented methods neither push frames nor count calls.
#include <jni.h>


#include "contract/java_contract.h"
#include "platform/local_ref.h"
#include "pri/runtime/context_runtime.h"
#include "zvi.h"

namespace {

namespace jc = java_contract;

jclass contextClass(JNIEnv *env) { return env != nullptr ? PRIState().contextClass : nullptr; }

}  // namespace

int zviStartCallCounting(JNIEnv *env) {
    jclass context = contextClass(env);
    if (context == nullptr) return 0;
    return PRISetContextSwitch(env, context, jc::kCountCalls.name, true) ? 1 : 0;
}

int32_t *zviGetCallCounts(JNIEnv *env, int32_t *outLength) {
    if (outLength != nullptr) *outLength = 0;
    jclass context = contextClass(env);
    if (context == nullptr || outLength == nullptr) return nullptr;
    jmethodID total = env->GetStaticMethodID(context, jc::kTotalCallCounts.name, jc::kTotalCallCounts.descriptor);
    LocalRef counts(env, total != nullptr ? static_cast<jintArray>(env->CallStaticObjectMethod(context, total))
                                          : nullptr);
    if (PRIClearException(env) || !counts) return nullptr;
    jsize length = env->GetArrayLength(counts);
    // One extra slot so that an empty count is still a block of its own.
    auto *values = static_cast<int32_t *>(sMalloc(static_cast<int>((length + 1) * sizeof(int32_t))));
    if (values != nullptr) {
        env->GetIntArrayRegion(counts, 0, length, reinterpret_cast<jint *>(values));
        *outLength = length;
    }
    return values;
}

int zviSetHibernation(JNIEnv *env, int on) {
    jclass context = contextClass(env);
    if (context == nullptr) return 0;
    return PRISetContextSwitch(env, context, jc::kHibernate.name, on != 0) ? 1 : 0;
}
