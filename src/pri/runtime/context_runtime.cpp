// The instrumentation runtime's life: initialisation at agent load, the
// bootstrap of the context class at VM start, the end of the VM's start-up
// work and the VM's exit.
#include "pri/runtime/context_runtime.h"

#include <cstdio>
#include <cstdlib>

#include "contract/java_contract.h"
#include "platform/local_ref.h"
#include "platform/tls.h"
#include "pri/filters/class_tables.h"
#include "pri/clock/clock.h"
#include "pri/runtime/direct.h"
#include "pri/runtime/markers.h"
#include "pri/rewrite/instrument.h"
#include "support/heap.h"

namespace {

PRIRuntime gRuntime;
PRIRuntimeSettings gSettings;

namespace jc = java_contract;

jfieldID memberField(JNIEnv *env, jclass type, const jc::JavaMember &member) {
    return env->GetFieldID(type, member.name, member.descriptor);
}

jmethodID staticMethod(JNIEnv *env, jclass type, const jc::JavaMember &member) {
    return env->GetStaticMethodID(type, member.name, member.descriptor);
}

// Keeps a global reference to a class; null when it cannot be found.
jclass findClassGlobal(JNIEnv *env, const char *name) {
    LocalRef local(env, env->FindClass(name));
    return local ? static_cast<jclass>(env->NewGlobalRef(local)) : nullptr;
}

[[noreturn]] void fatal(const char *message, int status) {
    fputs(message, stderr);
    fflush(stderr);
    exit(status);
}

void bindTimeClass(JNIEnv *env) {
    LocalRef timeClass(env, env->FindClass(jc::kTimeClass));
    if (!timeClass) {
        PRIClearException(env);
        fatal("Cannot find ZVTime class.  Make sure to include zvbcp.jar in the boot-classpath.\n", 1);
    }
    jmethodID setPrecise = staticMethod(env, timeClass, jc::kSetUsePreciseTimer);
    if (setPrecise != nullptr) {
        env->CallStaticVoidMethod(timeClass, setPrecise,
                                  static_cast<jboolean>((gRuntime.useHighPrecisionTimer & 0xFF) != 0));
    }
    PRIClearException(env);
    PRIRegisterTimeNative(env, timeClass);
    PRIClearException(env);
}

void lookUpContextMembers(JNIEnv *env) {
    jclass context = gRuntime.contextClass;
    gRuntime.stackPointerField = memberField(env, context, jc::kStackPointer);
    PRIClearException(env);
    gRuntime.callStackField = memberField(env, context, jc::kCallStack);
    PRIClearException(env);
    gRuntime.threadInfoField = memberField(env, context, jc::kThreadInfo);
    PRIClearException(env);
    gRuntime.hasRunCounterField = memberField(env, context, jc::kHasRunCounter);
    PRIClearException(env);
    gRuntime.removeContext = staticMethod(env, context, jc::kRemoveContext);
    PRIClearException(env);
    gRuntime.getCurrentContext = staticMethod(env, context, jc::kGetCurrentContext);
    if (gRuntime.getCurrentContext == nullptr) {
        fputs("The zvbcp.jar being used is an older version, please use an up-to-date copy.\n", stderr);
    }
    PRIClearException(env);
}

void setNotifyField(JNIEnv *env, bool on) {
    PRISetContextSwitch(env, gRuntime.contextClass, jc::kNotifyMethodEnterExit.name, on);
}

}  // namespace

// Instrumented entries read one word that sums up the switches, so every
// change of one goes through switchesChanged.
bool PRISetContextSwitch(JNIEnv *env, jclass context, const char *name, bool on) {
    if (env == nullptr || context == nullptr) return false;
    jfieldID field = env->GetStaticFieldID(context, name, "Z");
    if (field != nullptr) env->SetStaticBooleanField(context, field, on ? JNI_TRUE : JNI_FALSE);
    if (PRIClearException(env) || field == nullptr) return false;
    const jc::JavaMember &changed = jc::kSwitchesChanged;
    jmethodID follow = env->GetStaticMethodID(context, changed.name, changed.descriptor);
    if (follow != nullptr) env->CallStaticVoidMethod(context, follow);
    PRIClearException(env);
    return true;
}

PRIRuntime &PRIState() { return gRuntime; }

const PRIRuntimeSettings &PRISettings() { return gSettings; }
void PRISetSettings(const PRIRuntimeSettings &settings) { gSettings = settings; }

void PRIUseThreadStorage(PRIGetStorage get, PRISetStorage set) {
    gRuntime.getStorage = get;
    gRuntime.setStorage = set;
}

void PRIUseAgentQueries(const PRIAgentQueries &queries) { gRuntime.agent = queries; }

void PRIInitialize(JavaVM *vm, int directIMode, int useHighPrecisionTimer, int ignoreCPUFrequency,
                   int instrumentLines, int debugInstrumentation, const char *debugClass,
                   const char *debugMethod) {
    gRuntime.vm = vm;
    gRuntime.ignoreCPUFrequency = ignoreCPUFrequency;
    gSettings.instrumentLines = instrumentLines;
    gSettings.debugInstrumentation = debugInstrumentation;
    gSettings.debugClassInstrumentation = debugClass;
    gSettings.debugMethodInstrumentation = debugMethod;
    if (!PRIClockIsInitialized()) {
        PRIClockSetDisableTSC(ignoreCPUFrequency);
        PRIClockInitialize();
    }
    // Once per process: a second start (tests load the agent many times)
    // keeps what the first made.
    if (gRuntime.tlsSlot < 0) gRuntime.tlsSlot = AllocateThreadSlot();
    gRuntime.useHighPrecisionTimer = useHighPrecisionTimer;
    if (gRuntime.deferredReleases == nullptr) gRuntime.deferredReleases = ZVNewVector(10);
    if (gRuntime.deferredMutex == nullptr) gRuntime.deferredMutex = CreateRecursiveMutex();
    PRICreateMarkerTables();
    PRICreateClassTables();
    gRuntime.directIMode = directIMode;
    if (directIMode == 2) PRIDirectIEnable();
    gRuntime.initialized = true;
}

void PRIBootstrapContextClass(JNIEnv *env, int hibernate, int hibernateEnabled) {
    gRuntime.contextClass = findClassGlobal(env, jc::kContextClass);
    if (gRuntime.contextClass != nullptr) {
        env->GetMethodID(gRuntime.contextClass, jc::kContextConstructor.name,
                         jc::kContextConstructor.descriptor);
        PRIClearException(env);
        PRIRegisterContextNatives(env, gRuntime.contextClass);
        PRIClearException(env);
        bindTimeClass(env);
    }
    PRIClearException(env);
    if (gRuntime.contextClass == nullptr) {
        fatal("Cannot find core classes. Make sure to include <ZENVADIR>/lib/zenva.jar in your CLASSPATH\n"
              "Also, make sure to add '-Xbootclasspath/a:<ZENVADIR>/lib/zvbcp.jar' to your command-line\n",
              1);
    }
    gRuntime.threadClass = findClassGlobal(env, jc::kThreadClass);
    if (gRuntime.threadClass == nullptr) {
        PRIClearException(env);
        fatal("Zentrova Fatal Error: Failed to find Thread class. Exiting...\n", 0);
    }
    jfieldID contextField = memberField(env, gRuntime.threadClass, jc::kThreadContextField);
    gRuntime.threadHasContextField = contextField != nullptr && !env->ExceptionCheck();
    env->ExceptionClear();
    lookUpContextMembers(env);
    jmethodID initializationDone = staticMethod(env, gRuntime.contextClass, jc::kVMInitializationDone);
    if (initializationDone != nullptr) {
        env->CallStaticVoidMethod(gRuntime.contextClass, initializationDone,
                                  static_cast<jboolean>((hibernate & 0xFF) != 0),
                                  static_cast<jboolean>((hibernateEnabled & 0xFF) != 0));
    }
    PRIClearException(env);
    if (gRuntime.directIMode == 1) PRIDirectIEvaluateTable(env);
    PRIClearException(env);
    // Notifications turned on before the class was known reach it now.
    if (gRuntime.notificationsOn) setNotifyField(env, true);
    gRuntime.bootstrapDone = true;
}

void PRICallInitDone(JNIEnv *env) {
    jmethodID initDone = gRuntime.contextClass != nullptr
                             ? staticMethod(env, gRuntime.contextClass, jc::kInitDone)
                             : nullptr;
    if (initDone == nullptr) {
        env->ExceptionClear();
        fputs("You are using incompatible versions of the zvbcp.jar and pri/z2a dlls\n", stderr);
        return;
    }
    env->CallStaticVoidMethod(gRuntime.contextClass, initDone);
    PRIClearException(env);
}

void PRINotifyVMExiting(JNIEnv *env) {
    if (gRuntime.contextClass == nullptr) return;
    jmethodID exiting = staticMethod(env, gRuntime.contextClass, jc::kVMExiting);
    env->ExceptionClear();
    std::atomic_ref(gRuntime.vmExiting).store(true, std::memory_order_relaxed);
    if (exiting != nullptr) {
        env->CallStaticVoidMethod(gRuntime.contextClass, exiting);
        PRIClearException(env);
    }
}

int PRIIsBootstrapDone(void) { return gRuntime.bootstrapDone ? 1 : 0; }

JNIEnv *getCurrentJNIEnv() {
    JNIEnv *env = nullptr;
    jint result = gRuntime.vm != nullptr
                      ? gRuntime.vm->GetEnv(reinterpret_cast<void **>(&env), JNI_VERSION_1_2)
                      : JNI_EDETACHED;
    if (result == JNI_EDETACHED) fatal("PRI: getCurrentJNIEnv failed (detached thread)\n", 1);
    if (result == JNI_EVERSION) {
        fatal("PRI: getCurrentJNIEnv failed (This vm does not support JNI version 1.2)\n", 1);
    }
    return env;
}

bool PRIClearException(JNIEnv *env) {
    if (!env->ExceptionCheck()) return false;
    env->ExceptionDescribe();
    env->ExceptionClear();
    return true;
}

ZVWord PRIGetSlot(JNIEnv *env, int slot) {
    return gRuntime.getStorage != nullptr ? gRuntime.getStorage(env, slot) : 0;
}

void PRISetSlot(JNIEnv *env, int slot, ZVWord value) {
    if (gRuntime.setStorage != nullptr) gRuntime.setStorage(env, slot, value);
}

void PRISetMethodNotifications(int enable, PRIMethodEnteredHook entered, PRIMethodExitedHook exited) {
    if (enable != 0) {
        gRuntime.enteredHook = entered;
        gRuntime.exitedHook = exited;
    }
    gRuntime.notificationsOn = enable != 0;
    // Any attached thread may switch them; one that is not leaves the field
    // to the bootstrap or the next switch.
    JNIEnv *env = nullptr;
    if (gRuntime.contextClass != nullptr && gRuntime.vm != nullptr &&
        gRuntime.vm->GetEnv(reinterpret_cast<void **>(&env), JNI_VERSION_1_2) == JNI_OK) {
        setNotifyField(env, enable != 0);
    }
}

void PRISetBacktraceIDProvider(void **provider) { gRuntime.backtraceIDProvider = provider; }
void PRIConnect(ZVWord word) { PRISetBacktraceIDProvider(reinterpret_cast<void **>(word)); }
