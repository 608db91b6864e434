// The VM-initialised event: starts the Java side of the product (natives,
// system properties, extensions, metrics, the audit system's options and
// start) and the VM-shutdown event.
#include <cstdio>
#include <cstdlib>

#include "agent/agent_internal.h"
#include "contract/java_contract.h"
#include "config/config.h"
#include "ext/extensions.h"
#include "metrics/metrics.h"
#include "platform/jvmpi_emulation.h"
#include "pri/runtime/runtime.h"
#include "support/files.h"
#include "support/heap.h"

namespace jc = java_contract;

namespace {

jclass gNativeClass = nullptr;  // global reference
jmethodID gWaitForever = nullptr;

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

// A Java string for the call, released after it; null stays null.
struct JavaString {
    JNIEnv *env;
    jstring value;
    JavaString(JNIEnv *e, const char *text) : env(e), value(text != nullptr ? e->NewStringUTF(text) : nullptr) {}
    ~JavaString() {
        if (value != nullptr) env->DeleteLocalRef(value);
    }
    JavaString(const JavaString &) = delete;
    JavaString &operator=(const JavaString &) = delete;
};

void setSystemProperties(JNIEnv *env, jclass system, jmethodID setProperty, jmethodID getProperty) {
    const AgentOptions &o = gAgentOptions;
    if (getProperty != nullptr) {
        JavaString key(env, "zenva.scanForFreePort");
        auto value = static_cast<jstring>(env->CallStaticObjectMethod(system, getProperty, key.value));
        check(env);
        if (value == nullptr && o.auditPortEnd != o.auditPort) {
            char text[16];
            snprintf(text, sizeof text, "%d", o.auditPortEnd);
            JavaString portEnd(env, text);
            jobject old = env->CallStaticObjectMethod(system, setProperty, key.value, portEnd.value);
            check(env);
            if (old != nullptr) env->DeleteLocalRef(old);
        } else if (value != nullptr) {
            env->DeleteLocalRef(value);
        }
    }
    JavaString audit(env, "AUDIT");
    JavaString z2a(env, "z2a");
    jobject old = env->CallStaticObjectMethod(system, setProperty, audit.value, z2a.value);
    check(env);
    if (old != nullptr) env->DeleteLocalRef(old);
}

void startMetrics() {
    char buffer[2048];
    const char *host = GetHostName(buffer);
    char *hostCopy = host != nullptr && *host != '\0' ? sStrdup(host) : nullptr;
    ZVFillServiceLocks();
    MetricsInit(hostCopy, ZVGetServices());
    AgentOptions &o = gAgentOptions;
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
    const AgentOptions &o = gAgentOptions;
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
    const AgentOptions &o = gAgentOptions;
    if (o.unitTestMode && m.setUnitTestMode != nullptr) {
        env->CallStaticVoidMethod(main, m.setUnitTestMode, z(o.unitTestMode), z(o.unitTestMode2));
        check(env);
    }
    if (o.snapshotRepository != nullptr) {
        JavaString repository(env, o.snapshotRepository);
        JavaString logFile(env, o.logEnabled ? o.logFile : nullptr);
        env->CallStaticVoidMethod(main, m.setSnapshotRepository, repository.value, logFile.value,
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
        JavaString directory(env, o.captureFileDirectory);
        JavaString format(env, o.captureFileNameFormat);
        JavaString comment(env, o.captureComment);
        jint initialDelay = o.computeInitialDelayFromCurrentTime ? -1 : o.initialDelay;
        env->CallStaticVoidMethod(main, m.setAutoCaptureOptions, z(o.snapshotGeneration),
                                  z(o.xmlReportGeneration), z(o.generateOnExit), initialDelay,
                                  jint(o.captureDelay), jint(o.captureCounter), directory.value,
                                  format.value, z(o.resetMark), JNI_FALSE, JNI_FALSE,
                                  z(o.includeCPUInformation), z(o.includeMetricsInformation),
                                  comment.value);
        check(env);
    }
    if (!o.acceptConnections) {
        env->CallStaticVoidMethod(main, m.setAcceptConnections, JNI_FALSE);
        check(env);
    }
    auto callWithString = [&](jmethodID method, const char *text) {
        JavaString value(env, text);
        env->CallStaticVoidMethod(main, method, value.value);
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
    if (env == nullptr) return;
    const AgentOptions &o = gAgentOptions;

    jclass native = findClass(env, jc::kNativeClass);
    if (native == nullptr) missingClasses(1);
    gNativeClass = static_cast<jclass>(env->NewGlobalRef(native));
    ZVCheckJNIException(env, "Native");
    ZVRegisterNativeMethods(env, native);
    gWaitForever = staticMethod(env, native, jc::kWaitForever);
    env->DeleteLocalRef(native);
    ZVCheckJNIException(env, "waitForever");

    jclass system = findClass(env, jc::kSystemClass);
    jclass audit = findClass(env, jc::kAuditClass);
    jclass main = findClass(env, jc::kMainClass);
    if (system == nullptr || audit == nullptr || main == nullptr) missingClasses(2);

    PRIBootstrapContextClass(env, o.hibernate, o.PRIHibernateEnabled);
    ZVCheckJNIException(env, "PRIVMInitialized");
    // Instrumented code can reach the context class now: the classes loaded
    // while the VM started are rewritten like every later one.
    JvmpiRedefineStartupClasses(env);

    jclass system2 = findClass(env, jc::kSystemClass);
    if (system2 == nullptr) exit(1);
    jmethodID setProperty = staticMethod(env, system2, jc::kSetProperty);
    jmethodID getProperty = staticMethod(env, system2, jc::kGetProperty);
    if (setProperty == nullptr) exit(1);
    setSystemProperties(env, system2, setProperty, getProperty);

    zviInitExtensions(env);
    // Before the audit system starts the port's listener.
    ZVBindAuditPort(env);
    startMetrics();

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
    if (o.filterReloadOnChange && o.filterPath != nullptr) {
        JavaString path(env, o.filterPath);
        env->CallStaticVoidMethod(main, members.askForFilterFileChangeNotification, path.value);
        check(env);
    }
    PRICallInitDone(env);
    check(env);
    std::atomic_ref(ZVState().auditStarted).store(1, std::memory_order_release);
}

void ZVHandleVMShutDown(JNIEnv *env) {
    ZVAgentState &state = ZVState();
    std::atomic_ref(state.vmShuttingDown).store(1, std::memory_order_relaxed);
    if (state.exitEnabled == 0) {
        fputs("Exit called. (ignored)\n", stderr);
        fflush(stderr);
        // waitForever holds this thread, and with it the VM's exit.
        if (env != nullptr && gNativeClass != nullptr && gWaitForever != nullptr) {
            env->CallStaticVoidMethod(gNativeClass, gWaitForever);
        }
    }
    if (ZVHandlerTable *table = ZVInstalledHandlers()) table->vmShutDown();
    PRINotifyVMExiting(env);
}

void ZVResetVMInit() {
    gNativeClass = nullptr;
    gWaitForever = nullptr;
}
