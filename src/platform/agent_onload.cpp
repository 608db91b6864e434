// The library's entry for -agentpath / -agentlib: builds the JVMPI emulation
// and runs the agent's JVM_OnLoad start-up with a proxy JavaVM that hands the
// emulated interface out.
#include <cstdio>

#include "platform/export.h"
#include "platform/jvmpi_emulation.h"

// The agent's start-up (exported by the agent core).
extern "C" jint JVM_OnLoad(JavaVM *vm, char *options, void *reserved);

ZV_EXPORT jint JNICALL Agent_OnLoad(JavaVM *vm, char *options, void *reserved) {
    JavaVM *proxy = JvmpiStartEmulation(vm);
    if (proxy == nullptr) {
        fputs("Cannot create the JVMTI environment for the profiler interface\n", stderr);
        return JNI_ERR;
    }
    jint result = JVM_OnLoad(proxy, options, reserved);
    // After the options, which may name the installation directory.
    JvmpiAddAgentJars();
    return result;
}
