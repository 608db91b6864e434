// The context class's natives: per-thread context, initialisation state,
// method notifications, markers and the backtrace-ID and debug helpers.
#include "pri/context_natives.h"

#include <cstdint>
#include <cstdio>

#include "pri/clock.h"
#include "pri/context_runtime.h"
#include "pri/markers.h"

namespace {

constexpr jsize kInlineMarkerUnits = 256;

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
    {const_cast<char *>("getContext0"), const_cast<char *>("()Lmeridyn/audit/profiler/ZVContext;"),
     reinterpret_cast<void *>(ZVContext_getContext0)},
    {const_cast<char *>("initStarted0"), const_cast<char *>("()V"), reinterpret_cast<void *>(ZVContext_initStarted0)},
    {const_cast<char *>("initEnded0"), const_cast<char *>("()V"), reinterpret_cast<void *>(ZVContext_initEnded0)},
    {const_cast<char *>("notifyMethodEntered"), const_cast<char *>("(JIII)V"),
     reinterpret_cast<void *>(ZVContext_notifyMethodEntered)},
    {const_cast<char *>("notifyMethodExited"), const_cast<char *>("(J)V"),
     reinterpret_cast<void *>(ZVContext_notifyMethodExited)},
    {const_cast<char *>("notifyMethodEnterWillExit"), const_cast<char *>("(JIII)V"),
     reinterpret_cast<void *>(ZVContext_notifyMethodEnterWillExit)},
    {const_cast<char *>("directINotEnabled0"), const_cast<char *>("()V"),
     reinterpret_cast<void *>(ZVContext_directINotEnabled0)},
    {const_cast<char *>("storeContext0"), const_cast<char *>("(Lmeridyn/audit/profiler/ZVContext;)V"),
     reinterpret_cast<void *>(ZVContext_storeContext0)},
    {const_cast<char *>("getCurrentBacktraceID0"), const_cast<char *>("(I)I"),
     reinterpret_cast<void *>(ZVContext_getCurrentBacktraceID0)},
    {const_cast<char *>("createMarker"), const_cast<char *>("(Ljava/lang/String;I)I"),
     reinterpret_cast<void *>(ZVContext_createMarker)},
    {const_cast<char *>("convertMarker"), const_cast<char *>("(II)I"),
     reinterpret_cast<void *>(ZVContext_convertMarker)},
    {const_cast<char *>("frequency0"), const_cast<char *>("()J"), reinterpret_cast<void *>(ZVContext_frequency)},
};

}  // namespace

bool PRIRegisterContextNatives(JNIEnv *env, jclass contextClass) {
    return env->RegisterNatives(contextClass, kContextNatives,
                                static_cast<jint>(sizeof kContextNatives / sizeof kContextNatives[0])) == JNI_OK;
}

bool PRIRegisterTimeNative(JNIEnv *env, jclass timeClass) {
    void *routine = PRIClockMode() > 0 ? reinterpret_cast<void *>(PRITimeStampCounterTime0)
                                       : reinterpret_cast<void *>(ZVContext_currentTimeSlow);
    JNINativeMethod time0 = {const_cast<char *>("time0"), const_cast<char *>("()J"), routine};
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
        rt.getContextWarning = env->GetStaticMethodID(type, "getContextWarning", "()V");
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
