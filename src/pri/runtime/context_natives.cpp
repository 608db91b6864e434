// The context class's natives: per-thread context, initialisation state,
// method notifications, markers and the backtrace-ID and debug helpers.
#include "pri/runtime/context_natives.h"

#include <cstdint>
#include <cstdio>

#include "contract/java_contract.h"
#include "pri/clock/clock.h"
#include "pri/runtime/context_runtime.h"
#include "pri/runtime/markers.h"

namespace {

constexpr jsize kInlineMarkerUnits = 256;

template <typename Function>
JNINativeMethod native(const java_contract::JavaMember &member, Function *routine) {
    return {const_cast<char *>(member.name), const_cast<char *>(member.descriptor), reinterpret_cast<void *>(routine)};
}

void callEntered(JNIEnv *env, jlong time, jint a, jint b, jint c) {
    PRIMethodEnteredHook hook = PRIState().enteredHook;
    if (hook == nullptr) return;
    int32_t arguments[3] = {c, b, a};  // the hook reads them in this order
    hook(env, static_cast<int32_t>(time), arguments);
}

void callExited(JNIEnv *env, jlong time) {
    PRIMethodExitedHook hook = PRIState().exitedHook;
    if (hook != nullptr) hook(env, static_cast<int32_t>(time));
}

jint markerIdentifier(int32_t number) {
    return number < 0 ? 0 : static_cast<jint>(static_cast<uint32_t>(number) | kPRIMarkerBits);
}

const JNINativeMethod kContextNatives[] = {
    native(java_contract::kGetContext0, ZVContext_getContext0),
    native(java_contract::kInitStarted0, ZVContext_initStarted0),
    native(java_contract::kInitEnded0, ZVContext_initEnded0),
    native(java_contract::kNotifyMethodEntered, ZVContext_notifyMethodEntered),
    native(java_contract::kNotifyMethodExited, ZVContext_notifyMethodExited),
    native(java_contract::kNotifyMethodEnterWillExit, ZVContext_notifyMethodEnterWillExit),
    native(java_contract::kDirectINotEnabled0, ZVContext_directINotEnabled0),
    native(java_contract::kStoreContext0, ZVContext_storeContext0),
    native(java_contract::kGetCurrentBacktraceID0, ZVContext_getCurrentBacktraceID0),
    native(java_contract::kCreateMarker, ZVContext_createMarker),
    native(java_contract::kConvertMarker, ZVContext_convertMarker),
    native(java_contract::kFrequency0, ZVContext_frequency),
};

}  // namespace

bool PRIRegisterContextNatives(JNIEnv *env, jclass contextClass) {
    return env->RegisterNatives(contextClass, kContextNatives,
                                static_cast<jint>(sizeof kContextNatives / sizeof kContextNatives[0])) == JNI_OK;
}

bool PRIRegisterTimeNative(JNIEnv *env, jclass timeClass) {
    void *routine = PRIClockMode() > 0 ? reinterpret_cast<void *>(PRITimeStampCounterTime0)
                                       : reinterpret_cast<void *>(ZVContext_currentTimeSlow);
    JNINativeMethod time0 = native(java_contract::kTime0, routine);
    return env->RegisterNatives(timeClass, &time0, 1) == JNI_OK;
}

jobject JNICALL ZVContext_getContext0(JNIEnv *env, jclass) { return PRIGetContext(env); }

void JNICALL ZVContext_storeContext0(JNIEnv *env, jclass, jobject context) { PRIStoreContext(env, context); }

void JNICALL ZVContext_initStarted0(JNIEnv *env, jclass) { PRISetSlot(env, PRI_SLOT_INIT_STATE, 1); }

void JNICALL ZVContext_initEnded0(JNIEnv *env, jclass) { PRISetSlot(env, PRI_SLOT_INIT_STATE, 2); }

void JNICALL ZVContext_notifyMethodEntered(JNIEnv *env, jclass, jlong time, jint a, jint b, jint c) {
    callEntered(env, time, a, b, c);
}

void JNICALL ZVContext_notifyMethodExited(JNIEnv *env, jclass, jlong time) { callExited(env, time); }

void JNICALL ZVContext_notifyMethodEnterWillExit(JNIEnv *env, jclass, jlong time, jint a, jint b, jint c) {
    callEntered(env, time, a, b, c);
    callExited(env, time);
}

void JNICALL ZVContext_directINotEnabled0(JNIEnv *env, jclass type) {
    PRIRuntime &rt = PRIState();
    if (rt.getContextWarning == nullptr) {
        rt.getContextWarning = env->GetStaticMethodID(type, java_contract::kGetContextWarning.name,
                                                       java_contract::kGetContextWarning.descriptor);
        if (rt.getContextWarning == nullptr) {
            PRIClearException(env);
            return;
        }
    }
    env->CallStaticVoidMethod(type, rt.getContextWarning);
    PRIClearException(env);
}

jint JNICALL ZVContext_getCurrentBacktraceID0(JNIEnv *env, jclass, jint n) {
    void **provider = PRIState().backtraceIDProvider;
    if (provider == nullptr || provider[kPRIBacktraceIDEntry] == nullptr) return 0;
    return reinterpret_cast<PRIBacktraceIDFunction>(provider[kPRIBacktraceIDEntry])(env, 0, n);
}

jint JNICALL ZVContext_createMarker(JNIEnv *env, jclass, jstring name, jint event) {
    if (name == nullptr) return 0;
    jsize length = env->GetStringLength(name);
    jchar inlineUnits[kInlineMarkerUnits];
    const jchar *units = inlineUnits;
    bool fromVM = length > kInlineMarkerUnits;
    if (fromVM) {
        units = env->GetStringChars(name, nullptr);
        if (units == nullptr) {
            PRIClearException(env);
            return 0;
        }
    } else {
        env->GetStringRegion(name, 0, length, inlineUnits);
    }
    const char *stackName = PRIMarkerStackNameOrSay(event, "cr8M");
    int32_t number = PRIMarkerNumberFor(units, static_cast<uint32_t>(length), stackName, event, true);
    if (fromVM) env->ReleaseStringChars(name, units);
    return markerIdentifier(number);
}

jint JNICALL ZVContext_convertMarker(JNIEnv *, jclass, jint marker, jint event) {
    return markerIdentifier(PRIConvertMarker(PRIMarkerNumberOf(static_cast<uint32_t>(marker)), event, "cM"));
}

void JNICALL ZVContext_debugPrint(JNIEnv *env, jclass, jstring text) {
    if (text == nullptr) return;
    jsize length = env->GetStringLength(text);
    if (length > 255) length = 255;
    jchar units[255];
    env->GetStringRegion(text, 0, length, units);
    char narrow[256];
    for (jsize i = 0; i < length; ++i) narrow[i] = static_cast<char>(units[i]);
    narrow[length] = '\0';
    printf("%s\n", narrow);
}
