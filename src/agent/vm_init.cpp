// The VM-initialised event: starts the Java side of the product (natives,
// system properties, extensions, metrics, the audit system's options and
// start) and the VM-shutdown event.
#include <cstdio>
#include <cstdlib>

#include "agent/agent_internal.h"
#include "agent/core.h"
#include "contract/java_contract.h"
#include "config/config.h"
#include "ext/extensions.h"
#include "metrics/metrics.h"
#include "platform/jvmpi_emulation.h"
#include "platform/local_ref.h"
#include "pri/clock/clock.h"
#include "pri/runtime/runtime.h"
#include "support/files.h"
#include "support/heap.h"

namespace jc = java_contract;

namespace {


// A pending exception is described and cleared, and the work goes on.
void check(JNIEnv *env) {
    if (env->ExceptionOccurred() != nullptr) {
        env->ExceptionDescribe();
        env->ExceptionClear();
    }
}

// A missing class or member leaves a pending error that is not the caller's.
jclass findClass(JNIEnv *env, const char *name) {
    jclass found = env->FindClass(name);
    if (found == nullptr) env->ExceptionClear();
    return found;
}

jmethodID staticMethod(JNIEnv *env, jclass clazz, const jc::JavaMember &member) {
    jmethodID method = env->GetStaticMethodID(clazz, member.name, member.descriptor);
    if (method == nullptr) env->ExceptionClear();
    return method;
}

jfieldID staticIntField(JNIEnv *env, jclass clazz, const jc::JavaMember &member) {
    jfieldID field = env->GetStaticFieldID(clazz, member.name, member.descriptor);
    if (field == nullptr) env->ExceptionClear();
    return field;
}

void missingClasses(int which) {
    fprintf(stderr,
            "ZV: Zentrova Audit System classes not found. The CLASSPATH should include zenva.jar (%d)\n",
            which);
    exit(1);
}

// A Java string for a call, released after it; null stays null.
LocalRef<jstring> javaString(JNIEnv *env, const char *text) {
    return {env, text != nullptr ? env->NewStringUTF(text) : nullptr};
}

void setSystemProperties(JNIEnv *env, jclass system, jmethodID setProperty, jmethodID getProperty) {
    const AgentOptions &o = CurrentOptions();
    if (getProperty != nullptr) {
        LocalRef key = javaString(env, "zenva.scanForFreePort");
        LocalRef value(env, env->CallStaticObjectMethod(system, getProperty, key.get()));
        check(env);
        if (value.get() == nullptr && o.auditPortEnd != o.auditPort) {
            char text[16];
            snprintf(text, sizeof text, "%d", o.auditPortEnd);
            LocalRef portEnd = javaString(env, text);
            LocalRef old(env, env->CallStaticObjectMethod(system, setProperty, key.get(), portEnd.get()));
            check(env);
        }
    }
    LocalRef audit = javaString(env, "AUDIT");
    LocalRef z2a = javaString(env, "z2a");
    LocalRef old(env, env->CallStaticObjectMethod(system, setProperty, audit.get(), z2a.get()));
    check(env);
}

void startMetrics() {
    char buffer[2048];
    const char *host = GetHostName(buffer);
    char *hostCopy = host != nullptr && *host != '\0' ? sStrdup(host) : nullptr;
    ZVFillServiceLocks();
    MetricsInit(hostCopy, ZVGetServices());
    AgentOptions &o = CurrentOptions();
    if (o.metricsEnabled) {
        ZVVector *settings = o.metricsConfiguration;
        if (settings != nullptr && ZVVectorSize(settings) > 0) {
            for (int i = 0; i < ZVVectorSize(settings); ++i) {
                MetricOnFromSetting(reinterpret_cast<const ZVMetricSetting *>(ZVElementAt(settings, i)));
            }
        } else {
            AllMetricsOn();
        }
    }
    FreeMetricsConfiguration(o.metricsConfiguration);
    o.metricsConfiguration = nullptr;
}

struct AuditMembers {
    jfieldID memoryProfilerAlwaysDisabled, systemExitDisabled, profilersAlwaysEnabled,
        waitForZentrova, autoStartCPUProfiler;
    jmethodID start;
    jmethodID askForFilterFileChangeNotification, setCPUProfilerOptions, setAutoCaptureOptions,
        setVMName, setSNMPAgentPort, setSNMPConfPath, setSNMPTrapPort, setActionFilename,
        setSnapshotRepository, setFilterFilename, setUnitTestMode, setAcceptConnections;

    // setAutoCaptureOptions and setUnitTestMode may be missing.
    bool complete() const {
        return memoryProfilerAlwaysDisabled && systemExitDisabled && profilersAlwaysEnabled &&
               waitForZentrova && autoStartCPUProfiler && start && askForFilterFileChangeNotification &&
               setCPUProfilerOptions && setVMName && setSNMPAgentPort && setSNMPConfPath &&
               setSNMPTrapPort && setActionFilename && setSnapshotRepository && setFilterFilename &&
               setAcceptConnections;
    }
};

AuditMembers lookUpMembers(JNIEnv *env, jclass audit, jclass main) {
    AuditMembers m{};
    m.memoryProfilerAlwaysDisabled = staticIntField(env, audit, jc::kMemoryProfilerAlwaysDisabled);
    m.systemExitDisabled = staticIntField(env, audit, jc::kSystemExitDisabled);
    m.profilersAlwaysEnabled = staticIntField(env, audit, jc::kProfilersAlwaysEnabled);
    m.waitForZentrova = staticIntField(env, audit, jc::kWaitForZentrova);
    m.autoStartCPUProfiler = staticIntField(env, audit, jc::kAutoStartCPUProfiler);
    m.start = staticMethod(env, audit, jc::kStart);
    m.askForFilterFileChangeNotification = staticMethod(env, main, jc::kAskForFilterFileChangeNotification);
    m.setCPUProfilerOptions = staticMethod(env, main, jc::kSetCPUProfilerOptions);
    m.setAutoCaptureOptions = staticMethod(env, main, jc::kSetAutoCaptureOptions);
    m.setVMName = staticMethod(env, main, jc::kSetVMName);
    m.setSNMPAgentPort = staticMethod(env, main, jc::kSetSNMPAgentPort);
    m.setSNMPConfPath = staticMethod(env, main, jc::kSetSNMPConfPath);
    m.setSNMPTrapPort = staticMethod(env, main, jc::kSetSNMPTrapPort);
    m.setActionFilename = staticMethod(env, main, jc::kSetActionFilename);
    m.setSnapshotRepository = staticMethod(env, main, jc::kSetSnapshotRepository);
    m.setFilterFilename = staticMethod(env, main, jc::kSetFilterFilename);
    m.setUnitTestMode = staticMethod(env, main, jc::kSetUnitTestMode);
    m.setAcceptConnections = staticMethod(env, main, jc::kSetAcceptConnections);
    return m;
}

jint startFlags(JNIEnv *env, jclass audit, const AuditMembers &m) {
    const AgentOptions &o = CurrentOptions();
    jint flags = 0;
    if (ZVState().memoryProfilerOptions.enabled == 0) {
        flags |= env->GetStaticIntField(audit, m.memoryProfilerAlwaysDisabled);
    }
    if (!o.enableAPI && !o.unitTestMode) flags |= env->GetStaticIntField(audit, m.profilersAlwaysEnabled);
    if (o.pauseOnExit) flags |= env->GetStaticIntField(audit, m.systemExitDisabled);
    if (o.pauseAfterLaunch) flags |= env->GetStaticIntField(audit, m.waitForZentrova);
    if (o.autoStartCPU) flags |= env->GetStaticIntField(audit, m.autoStartCPUProfiler);
    return flags;
}

jboolean z(int32_t value) { return value != 0 ? JNI_TRUE : JNI_FALSE; }

void callSetters(JNIEnv *env, jclass main, const AuditMembers &m) {
    const AgentOptions &o = CurrentOptions();
    if (o.unitTestMode && m.setUnitTestMode != nullptr) {
        env->CallStaticVoidMethod(main, m.setUnitTestMode, z(o.unitTestMode), z(o.unitTestMode2));
        check(env);
    }
    if (o.snapshotRepository != nullptr) {
        LocalRef repository = javaString(env, o.snapshotRepository);
        LocalRef logFile = javaString(env, o.logEnabled ? o.logFile : nullptr);
        env->CallStaticVoidMethod(main, m.setSnapshotRepository, repository.get(), logFile.get(),
                                  jint(o.logSeverity));
        check(env);
    }
    if (o.autoStartCPU) {
        env->CallStaticVoidMethod(main, m.setCPUProfilerOptions, jint(o.autoStartCPUType),
                                  jint(o.autoStartCPUTime), jint(o.samplerPeriod),
                                  jint(o.samplerPrecision), jint(o.instrumentationPrecision),
                                  z(o.instrumentationFilterEnabled), jint(o.instrumentationFilterLimit));
    }
    if ((o.snapshotGeneration || o.xmlReportGeneration) && m.setAutoCaptureOptions != nullptr) {
        LocalRef directory = javaString(env, o.captureFileDirectory);
        LocalRef format = javaString(env, o.captureFileNameFormat);
        LocalRef comment = javaString(env, o.captureComment);
        jint initialDelay = o.computeInitialDelayFromCurrentTime ? -1 : o.initialDelay;
        env->CallStaticVoidMethod(main, m.setAutoCaptureOptions, z(o.snapshotGeneration),
                                  z(o.xmlReportGeneration), z(o.generateOnExit), initialDelay,
                                  jint(o.captureDelay), jint(o.captureCounter), directory.get(),
                                  format.get(), z(o.resetMark), JNI_FALSE, JNI_FALSE,
                                  z(o.includeCPUInformation), z(o.includeMetricsInformation),
                                  comment.get());
        check(env);
    }
    if (!o.acceptConnections) {
        env->CallStaticVoidMethod(main, m.setAcceptConnections, JNI_FALSE);
        check(env);
    }
    auto callWithString = [&](jmethodID method, const char *text) {
        LocalRef value = javaString(env, text);
        env->CallStaticVoidMethod(main, method, value.get());
        check(env);
    };
    if (o.vmName != nullptr) callWithString(m.setVMName, o.vmName);
    if (o.snmpConfPath != nullptr && *o.snmpConfPath != '\0') callWithString(m.setSNMPConfPath, o.snmpConfPath);
    env->CallStaticVoidMethod(main, m.setSNMPAgentPort, jint(o.snmpAgentPort));
    check(env);
    env->CallStaticVoidMethod(main, m.setSNMPTrapPort, jint(o.snmpTrapPort));
    check(env);
    if (o.actionFilename != nullptr) callWithString(m.setActionFilename, o.actionFilename);
    if (o.filterPath != nullptr) callWithString(m.setFilterFilename, o.filterPath);
}

}  // namespace

void ZVRegisterNativeMethods(JNIEnv *env, jclass nativeClass);

void ZVHandleVMInitialized(JNIEnv *env) {
    ZVAgentCore &core = ZVCore();
    if (env == nullptr) return;
    const AgentOptions &o = CurrentOptions();
    // The time-stamp counter's rate, measured over the VM's start-up, is
    // settled and reported before the Java side takes any time stamp.
    PRIGetClockFrequency(nullptr);

    ZVDefineClassPathClasses(env);
    LocalRef native(env, findClass(env, jc::kNativeClass));
    if (!native) missingClasses(1);
    core.nativeClass = static_cast<jclass>(env->NewGlobalRef(native));
    ZVCheckJNIException(env, "Native");
    JvmpiStartupMark("native class found");
    ZVRegisterNativeMethods(env, native);
    core.waitForever = staticMethod(env, native, jc::kWaitForever);
    ZVCheckJNIException(env, "waitForever");

    LocalRef system(env, findClass(env, jc::kSystemClass));
    LocalRef audit(env, findClass(env, jc::kAuditClass));
    LocalRef main(env, findClass(env, jc::kMainClass));
    if (!system || !audit || !main) missingClasses(2);

    JvmpiStartupMark("Java side's classes found");
    PRIBootstrapContextClass(env, o.hibernate, o.PRIHibernateEnabled);
    ZVCheckJNIException(env, "PRIVMInitialized");
    JvmpiStartupMark("context class bootstrapped");
    // Instrumented code can reach the context class now: the classes loaded
    // while the VM started are rewritten like every later one.
    JvmpiRedefineStartupClasses(env);
    JvmpiStartupMark("start-up classes redefined");

    LocalRef system2(env, findClass(env, jc::kSystemClass));
    if (!system2) exit(1);
    jmethodID setProperty = staticMethod(env, system2, jc::kSetProperty);
    jmethodID getProperty = staticMethod(env, system2, jc::kGetProperty);
    if (setProperty == nullptr) exit(1);
    setSystemProperties(env, system2, setProperty, getProperty);

    JvmpiStartupMark("properties set");
    zviInitExtensions(env);
    JvmpiStartupMark("extensions started");
    // Before the audit system starts the port's listener.
    ZVBindAuditPort(env);
    startMetrics();
    JvmpiStartupMark("audit port bound, metrics started");

    AuditMembers members = lookUpMembers(env, audit, main);
    if (!members.complete()) {
        fputs("Zentrova Error: failed to retieve arguments of Audit and Main classes, startAudit failed.\n",
              stderr);
        check(env);
        return;
    }
    jint flags = startFlags(env, audit, members);
    callSetters(env, main, members);
    if (o.startAudit) {
        env->CallStaticVoidMethod(audit, members.start, jint(o.auditPort), flags);
        check(env);
    }
    JvmpiStartupMark("audit started");
    if (o.filterReloadOnChange && o.filterPath != nullptr) {
        LocalRef path = javaString(env, o.filterPath);
        env->CallStaticVoidMethod(main, members.askForFilterFileChangeNotification, path.get());
        check(env);
    }
    PRICallInitDone(env);
    check(env);
    std::atomic_ref(ZVState().auditStarted).store(1, std::memory_order_release);
}

void ZVHandleVMShutDown(JNIEnv *env) {
    ZVAgentCore &core = ZVCore();
    ZVAgentState &state = ZVState();
    std::atomic_ref(state.vmShuttingDown).store(1, std::memory_order_relaxed);
    if (state.exitEnabled == 0) {
        fputs("Exit called. (ignored)\n", stderr);
        fflush(stderr);
        // waitForever holds this thread, and with it the VM's exit.
        if (env != nullptr && core.nativeClass != nullptr && core.waitForever != nullptr) {
            env->CallStaticVoidMethod(core.nativeClass, core.waitForever);
        }
    }
    if (ZVHandlerTable *table = ZVInstalledHandlers()) table->vmShutDown();
    PRINotifyVMExiting(env);
    ZVCloseAuditPort();
}

