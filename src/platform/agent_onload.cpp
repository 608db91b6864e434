// The library's entries for -agentpath / -agentlib (Agent_OnLoad) and for an
// attach to a running VM (Agent_OnAttach): each builds the JVMPI emulation and
// runs the agent's JVM_OnLoad start-up with a proxy JavaVM that hands the
// emulated interface out.
#include <dlfcn.h>

#include <cstdio>
#include <string>

#include "platform/jni_guards.h"
#include "platform/export.h"
#include "platform/jvmpi_emulation.h"
#include "platform/jvmpi_internal.h"
#include "platform/module.h"

// The agent's start-up (exported by the agent core).
extern "C" jint JVM_OnLoad(JavaVM *vm, char *options, void *reserved);

// What Agent_OnAttach returns when the agent is in the VM already; the
// attaching tool reports it ("return code: -5" in the VM's answer).
constexpr jint kAlreadyLoaded = JNI_EEXIST;

ZV_EXPORT jint JNICALL Agent_OnLoad(JavaVM *vm, char *options, void *reserved) {
    JvmpiStartupMark("Agent_OnLoad");
    JavaVM *proxy = JvmpiStartEmulation(vm);
    if (proxy == nullptr) {
        fputs("Cannot create the JVMTI environment for the profiler interface\n", stderr);
        return JNI_ERR;
    }
    JvmpiVerifiesHookedBootClasses();  // read while the VM's properties can be
    jint result = JVM_OnLoad(proxy, options, reserved);
    // After the options, which may name the installation directory.
    JvmpiAddAgentJars();
    JvmpiStartupMark("Agent_OnLoad done");
    return result;
}

// On the VM's attach thread, while the program runs: the start-up, the jars,
// the VM-initialised work (the Java side, the extensions, the audit port),
// then the classes loaded so far, instrumented by retransformation.
ZV_EXPORT jint JNICALL Agent_OnAttach(JavaVM *vm, char *options, void *reserved) {
    // The VM unloads a library whose Agent_OnAttach fails (JDK 17 then still
    // reads its freed name): the agent is never unloaded, whatever it answers.
    std::string library = ModulePathContaining(reinterpret_cast<const void *>(&Agent_OnAttach));
    if (!library.empty()) dlopen(library.c_str(), RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
    if (JvmpiEmulationStarted()) {
        fputs("Zentrova: the agent is loaded in this VM already; this attach changes nothing\n", stderr);
        return kAlreadyLoaded;
    }
    // The VM runs someone's program: without its Java side the agent would
    // end the process at the VM-initialised work, so it does not start at all.
    if (std::string missing = JvmpiMissingAgentJar(); !missing.empty()) {
        fprintf(stderr, "Zentrova: the attach is refused: %s is missing\n", missing.c_str());
        return JNI_ERR;
    }
    JavaVM *proxy = JvmpiStartAttachEmulation(vm);
    JNIEnv *env = nullptr;
    jthread self = nullptr;
    if (proxy == nullptr || vm->GetEnv(reinterpret_cast<void **>(&env), JNI_VERSION_1_2) != JNI_OK ||
        Jvmpi().jvmti->GetCurrentThread(&self) != JVMTI_ERROR_NONE) {
        fputs("Cannot create the JVMTI environment for the profiler interface\n", stderr);
        return JNI_ERR;
    }
    LocalRef thread(env, self);
    JVM_OnLoad(proxy, options, reserved);
    JvmpiAddAgentJars();
    JvmpiDeliverVMInit(env, self);
    int refused = 0;
    int instrumented = JvmpiRetransformLoadedClasses(env, &refused);
    fprintf(stderr,
            "Zentrova: attached; %d classes loaded before were instrumented, %d left as they are "
            "(the VM cannot retransform them)\n",
            instrumented, refused);
    return JNI_OK;
}
