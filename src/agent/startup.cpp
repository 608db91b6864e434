// JVM_OnLoad: the agent's start inside the VM, before any Java code runs.
// It obtains JVMPI, creates the agent's state, reads the options, starts the
// instrumentation runtime, loads the extensions and enables the events.
#include <cstdio>
#include <cstdlib>

#include "agent/agent_internal.h"
#include "config/config.h"
#include "ext/extensions.h"
#include "platform/jvmpi_emulation.h"
#include "platform/module.h"
#include "pri/runtime/runtime.h"
#include "pri/rewrite/instrument.h"
#include "support/heap.h"

namespace {

// Gives the VM to use from now on: vm, or on a VM that has JVMTI but no JVMPI
// (-Xrun on a modern VM) the platform's proxy for its late JVMPI emulation.
JavaVM *obtainProfilerInterface(JavaVM *vm) {
    ZVAgentState &state = ZVState();
    void *jvmpi = nullptr;
    state.jvmpiVersion = JVMPI_VERSION_1_1;
    jint result = vm->GetEnv(&jvmpi, JVMPI_VERSION_1_1);
    if (result != JNI_OK) {
        // Only a VM with a real JVMPI of version 1.0 gets here. The emulation
        // on a JVMTI VM (made at Agent_OnLoad, or late below) answers version
        // 1.1, so there this branch is never taken; it stays for those VMs.
        state.jvmpiVersion = JVMPI_VERSION_1;
        result = vm->GetEnv(&jvmpi, JVMPI_VERSION_1);
    }
    JavaVM *proxy = nullptr;
    if ((result != JNI_OK || jvmpi == nullptr) && (proxy = JvmpiStartLateEmulation(vm)) != nullptr) {
        state.vm = vm = proxy;
        state.jvmpiVersion = JVMPI_VERSION_1_1;
        result = vm->GetEnv(&jvmpi, JVMPI_VERSION_1_1);
    }
    if (result != JNI_OK || jvmpi == nullptr) {
        fprintf(stderr, "Cannot find JVMPI (%d)\n", result);
        exit(1);
    }
    zvipi = static_cast<JVMPI_Interface *>(jvmpi);
    return vm;
}

void createTables() {
    ZVAgentState &state = ZVState();
    state.classBuffer = ZVHashNew(32, nullptr, nullptr, "ZVIClassBuffer", 0);
    state.activeThreads = ZVHashNew(32, nullptr, nullptr, "ZVActiveThreads", 0);
    state.threadGroups = ZVHashNew(16, ZVStringHash, ZVStringEquals, "ZVThreadGroups", 0);
    state.threadGroupPaths = ZVHashNew(16, nullptr, nullptr, "ZVThreadGroupPaths", 0);
    state.auditThreads = ZVIntTableNew(16, "ZVAuditThreads");
}

bool handlesObjectEvents(const ZVExtensionRecord *ext) {
    return ext != nullptr &&
           (ext->objectAllocated != nullptr || ext->objectFreed != nullptr || ext->objectMoved != nullptr);
}

void enable(jint event) { zvipi->EnableEvent(event, nullptr); }

void enableEvents() {
    ZVAgentState &state = ZVState();
    enable(JVMPI_EVENT_CLASS_LOAD);
    enable(JVMPI_EVENT_CLASS_UNLOAD);
    if (state.memoryProfilerOptions.enabled == 0) {
        for (int i = 0; i < state.extensionCount; ++i) {
            if (handlesObjectEvents(state.extensions[i])) {
                state.memoryProfilerOptions.enabled = 1;
                break;
            }
        }
    }
    if (state.memoryProfilerOptions.enabled != 0) {
        enable(JVMPI_EVENT_OBJECT_MOVE);
        enable(JVMPI_EVENT_GC_START);
        enable(JVMPI_EVENT_GC_FINISH);
    }
    enable(JVMPI_EVENT_THREAD_START);
    enable(JVMPI_EVENT_THREAD_END);
    if (state.instrumentationActive) enable(JVMPI_EVENT_CLASS_LOAD_HOOK);
    enable(JVMPI_EVENT_JVM_INIT_DONE);
    enable(JVMPI_EVENT_JVM_SHUT_DOWN);
    enable(JVMPI_EVENT_DATA_DUMP_REQUEST);
    if (state.directIMode != 0) enable(JVMPI_EVENT_COMPILED_METHOD_LOAD);
}

void *vmLibraryExport(const char *name) {
    void *module = LoadedModuleHandle("jvm.dll");
    return module != nullptr ? LibrarySymbol(module, name) : nullptr;
}

void lookUpVMDiagnostics() {
    ZVAgentState &state = ZVState();
    state.dumpThreads = reinterpret_cast<void (*)(void)>(vmLibraryExport("DumpThreads"));
    state.dumpMonitors = reinterpret_cast<void (*)(void)>(vmLibraryExport("DumpMonitors"));
}

void lookUpObjectConversions() {
    ZVAgentState &state = ZVState();
    if (state.jvmpiVersion >= JVMPI_VERSION_1_1) {
        state.objectIDToObject = zvipi->jobjectID2jobject;
        state.objectToObjectID = zvipi->jobject2jobjectID;
    } else {
        // A 1.0 interface may lack the entries: the VM library may export them.
        void *toObject = vmLibraryExport("jobjectID2jobject");
        void *toID = vmLibraryExport("jobject2jobjectID");
        state.objectIDToObject = toObject != nullptr
                                     ? reinterpret_cast<jobject (*)(jobjectID)>(toObject)
                                     : zvipi->jobjectID2jobject;
        state.objectToObjectID = toID != nullptr ? reinterpret_cast<jobjectID (*)(jobject)>(toID)
                                                 : zvipi->jobject2jobjectID;
    }
    if (state.objectIDToObject == nullptr) {
        fputs("This virtual machine does not support jobjectID2jobject. Object description disabled.\n",
              stderr);
    }
}

int memoryProfilerEnabled() { return ZVState().memoryProfilerOptions.enabled != 0 ? 1 : 0; }

}  // namespace

jint JVM_OnLoad(JavaVM *vm, char *options, void *) {
    ZVAgentState &state = ZVState();
    if (state.loaded) {
        fputs("*************\n\nZentrova Configuration Error:\n\t-Xrun... parameter was specified "
              "more than once.\n\n*************\n",
              stderr);
        return JNI_OK;
    }
    state.loaded = 1;
    state.vm = vm;
    vm = obtainProfilerInterface(vm);
    ZVInstallAgentServices();
    ZVInstallExtensionHost();

    state.dataLock = zviMonitorAllocate("ZVI_LOCK");
    state.registryMutex = sMalloc(zviMutexSize());
    zviMutexInit(state.registryMutex);
    zvipi->NotifyEvent = ZVNotifyEvent;
    createTables();

    SEElement *exclusion = nullptr;
    SEElement *arguments = nullptr;
    int32_t directIMode = 1;
    int32_t useHighPrecisionTimer = 1;
    int32_t ignoreCPUFrequency = 0;
    ZVSetOptionsText(options);
    // A refused option is not worth stopping the application for: it runs with
    // the defaults, and the user is told that the options did not all take.
    if (!LoadOptions(options, &exclusion, &arguments, &directIMode, &useHighPrecisionTimer,
                     &ignoreCPUFrequency))
        fprintf(stderr, "Zentrova Error: options refused (see above); their defaults are used\n");
    state.directIMode = directIMode;

    state.instrumentationActive = 1;
    const AgentOptions &o = CurrentOptions();
    PRIUseThreadStorage(zviGetThreadLocalStorage, zviSetThreadLocalStorage);
    PRIUseAgentQueries({zviIsAuditThread, zviIsValidJNIEnv, memoryProfilerEnabled, zviGetThreadStatus,
                        zviThreadHasRun2, zviDisableGC, zviEnableGC, zviSuspendThread, zviResumeThread,
                        zviDataLock, zviDataUnlock});
    ZVDecideVMTraits(zviGetVMFlavor());
    PRIRuntimeSettings settings = PRISettings();
    settings.vm = ZVTraits();
    PRISetSettings(settings);
    PRIInitialize(vm, directIMode, useHighPrecisionTimer, ignoreCPUFrequency, o.PRIInstrumentLines,
                  o.PRIDebugInstrumentation, o.PRIDebugClassInstrumentation,
                  o.PRIDebugMethodInstrumentation);
    ZVLoadExtensions(exclusion, arguments);
    enableEvents();
    lookUpVMDiagnostics();
    lookUpObjectConversions();
    return JNI_OK;
}
