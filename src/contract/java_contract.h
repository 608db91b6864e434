// The names the native side shares with the product's Java classes: every
// class it finds, member it looks up, calls, reads, writes or registers a
// native for, and every reference it writes into rewritten classes. A leaf
// header (it includes nothing) so that the agent, the rewriting of classes
// and its runtime all spell these names from one place; a test checks each
// member against the built archives with javap.
#pragma once

namespace java_contract {

// A member of a Java class: its name and descriptor, with the class that
// declares it (slashed form).
struct JavaMember {
    const char *owner;
    const char *name;
    const char *descriptor;
};

inline constexpr char kNativeClass[] = "meridyn/audit/Native";
inline constexpr char kAuditClass[] = "meridyn/audit/Audit";
inline constexpr char kMainClass[] = "meridyn/audit/Main";
inline constexpr char kAuditPortClass[] = "meridyn/audit/AuditPort";
inline constexpr char kContextClass[] = "meridyn/audit/profiler/ZVContext";
inline constexpr char kContextClassDotted[] = "meridyn.audit.profiler.ZVContext";
inline constexpr char kContextClassResource[] = "meridyn/audit/profiler/ZVContext.class";
inline constexpr char kTimeClass[] = "meridyn/audit/profiler/ZVTime";
inline constexpr char kTimeClassDotted[] = "meridyn.audit.profiler.ZVTime";
// JDK classes: the rewritten java.lang.Thread carries the members below.
inline constexpr char kSystemClass[] = "java/lang/System";
inline constexpr char kThreadClass[] = "java/lang/Thread";

#define ZV_CONTEXT_TYPE "Lmeridyn/audit/profiler/ZVContext;"

// X(constant, owner, name, descriptor) for every member.
#define ZV_JAVA_MEMBERS(X)                                                                                  \
    /* meridyn/audit/Native: waitForever is called; the others are natives registered in this order. */ \
    X(kWaitForever, kNativeClass, "waitForever", "()V")                                                     \
    X(kGetTool, kNativeClass, "getTool", "()I")                                                             \
    X(kGetPort, kNativeClass, "getPort", "()I")                                                             \
    X(kGetOptions, kNativeClass, "getOptions", "()Ljava/lang/String;")                                      \
    X(kLibraryLoaded, kNativeClass, "libraryLoaded", "(Ljava/lang/String;)Z")                               \
    X(kHasStarted, kNativeClass, "hasStarted", "()Z")                                                       \
    X(kInstallDir, kNativeClass, "installDir", "()Ljava/lang/String;")                                      \
    X(kRunMetricsLoop, kNativeClass, "runMetricsLoop", "()V")                                               \
    X(kInvokePrioritizedSystemThread, kNativeClass, "invokePrioritizedSystemThread", "()V")                 \
    /* java/lang/System */                                                                                  \
    X(kSetProperty, kSystemClass, "setProperty", "(Ljava/lang/String;Ljava/lang/String;)Ljava/lang/String;") \
    X(kGetProperty, kSystemClass, "getProperty", "(Ljava/lang/String;)Ljava/lang/String;")                  \
    /* meridyn/audit/Audit */                                                                               \
    X(kMemoryProfilerAlwaysDisabled, kAuditClass, "MEMORY_PROFILER_ALWAYS_DISABLED", "I")                   \
    X(kSystemExitDisabled, kAuditClass, "SYSTEM_EXIT_DISABLED", "I")                                        \
    X(kProfilersAlwaysEnabled, kAuditClass, "PROFILERS_ALWAYS_ENABLED", "I")                                \
    X(kWaitForZentrova, kAuditClass, "WAIT_FOR_ZENTROVA", "I")                                              \
    X(kAutoStartCPUProfiler, kAuditClass, "AUTO_START_CPU_PROFILER", "I")                                   \
    X(kStart, kAuditClass, "start", "(II)V")                                                                \
    X(kGetDirectInstrumentationTablePath, kAuditClass, "getDirectInstrumentationTablePath",                 \
      "()Ljava/lang/String;")                                                                               \
    /* meridyn/audit/Main */                                                                                \
    X(kAskForFilterFileChangeNotification, kMainClass, "askForFilterFileChangeNotification",                \
      "(Ljava/lang/String;)V")                                                                              \
    X(kSetCPUProfilerOptions, kMainClass, "setCPUProfilerOptions", "(IIIIIZI)V")                            \
    X(kSetAutoCaptureOptions, kMainClass, "setAutoCaptureOptions",                                          \
      "(ZZZIIILjava/lang/String;Ljava/lang/String;ZZZZZLjava/lang/String;)V")                                \
    X(kSetVMName, kMainClass, "setVMName", "(Ljava/lang/String;)V")                                         \
    X(kSetSNMPAgentPort, kMainClass, "setSNMPAgentPort", "(I)V")                                            \
    X(kSetSNMPConfPath, kMainClass, "setSNMPConfPath", "(Ljava/lang/String;)V")                             \
    X(kSetSNMPTrapPort, kMainClass, "setSNMPTrapPort", "(I)V")                                              \
    X(kSetActionFilename, kMainClass, "setActionFilename", "(Ljava/lang/String;)V")                         \
    X(kSetSnapshotRepository, kMainClass, "setSnapshotRepository", "(Ljava/lang/String;Ljava/lang/String;I)V") \
    X(kSetFilterFilename, kMainClass, "setFilterFilename", "(Ljava/lang/String;)V")                         \
    X(kSetUnitTestMode, kMainClass, "setUnitTestMode", "(ZZ)V")                                             \
    X(kSetAcceptConnections, kMainClass, "setAcceptConnections", "(Z)V")                                    \
    /* ZVContext: natives registered on it */                                                               \
    X(kGetContext0, kContextClass, "getContext0", "()" ZV_CONTEXT_TYPE)                                     \
    X(kInitStarted0, kContextClass, "initStarted0", "()V")                                                  \
    X(kInitEnded0, kContextClass, "initEnded0", "()V")                                                      \
    X(kNotifyMethodEntered, kContextClass, "notifyMethodEntered", "(JIII)V")                                \
    X(kNotifyMethodExited, kContextClass, "notifyMethodExited", "(J)V")                                     \
    X(kNotifyMethodEnterWillExit, kContextClass, "notifyMethodEnterWillExit", "(JIII)V")                    \
    X(kDirectINotEnabled0, kContextClass, "directINotEnabled0", "()V")                                      \
    X(kStoreContext0, kContextClass, "storeContext0", "(" ZV_CONTEXT_TYPE ")V")                             \
    X(kGetCurrentBacktraceID0, kContextClass, "getCurrentBacktraceID0", "(I)I")                             \
    X(kCreateMarker, kContextClass, "createMarker", "(Ljava/lang/String;I)I")                               \
    X(kConvertMarker, kContextClass, "convertMarker", "(II)I")                                              \
    X(kFrequency0, kContextClass, "frequency0", "()J")                                                      \
    /* ZVContext: what the runtime looks up and calls */                                                    \
    X(kContextConstructor, kContextClass, "<init>", "()V")                                                  \
    X(kStackPointer, kContextClass, "stackPointer", "I")                                                    \
    X(kCallStack, kContextClass, "callStack", "[I")                                                         \
    X(kThreadInfo, kContextClass, "threadInfo", "J")                                                        \
    X(kHasRunCounter, kContextClass, "hasRunCounter", "I")                                                  \
    X(kRemoveContext, kContextClass, "removeContext", "(" ZV_CONTEXT_TYPE ")V")                             \
    X(kGetCurrentContext, kContextClass, "getCurrentContext", "()" ZV_CONTEXT_TYPE)                         \
    X(kNotifyMethodEnterExit, kContextClass, "notifyMethodEnterExit", "Z")                                  \
    X(kVMInitializationDone, kContextClass, "VMInitializationDone", "(ZZ)V")                                \
    X(kInitDone, kContextClass, "initDone", "()V")                                                          \
    X(kVMExiting, kContextClass, "VMExiting", "()V")                                                        \
    X(kGetContextWarning, kContextClass, "getContextWarning", "()V")                                        \
    X(kCountCalls, kContextClass, "countCalls", "Z")                                                        \
    X(kTotalCallCounts, kContextClass, "totalCallCounts", "()[I")                                           \
    X(kTimeMethods, kContextClass, "timeMethods", "Z")                                                      \
    X(kSwitchesChanged, kContextClass, "switchesChanged", "()V")                                            \
    X(kMarkTimed, kContextClass, "markTimed", "([I)V")                                                      \
    X(kMethodTimes, kContextClass, "methodTimes", "()[J")                                                   \
    /* AuditPort: the native that opens the port; the agent's listener answers it */                     \
    X(kAuditPortListen, kAuditPortClass, "listen", "(IIZ)I")                                                \
    /* ZVContext: what instrumented code calls and reads */                                                 \
    X(kUpdateLocation, kContextClass, "updateLocation", "(" ZV_CONTEXT_TYPE "I)V")                          \
    X(kDidEnterMethod, kContextClass, "didEnterMethod", "(II)" ZV_CONTEXT_TYPE)                             \
    X(kDidEnterMethodPreInit, kContextClass, "didEnterMethodPreInit", "(II)" ZV_CONTEXT_TYPE)               \
    X(kWillExitMethod, kContextClass, "willExitMethod", "(" ZV_CONTEXT_TYPE "I)V")                          \
    X(kEnterExitQuick, kContextClass, "enterExitQuick", "(II)V")                                            \
    X(kGetContextFast, kContextClass, "getContextFast", "()" ZV_CONTEXT_TYPE)                               \
    X(kExitFrame, kContextClass, "exitFrame", "(" ZV_CONTEXT_TYPE "I)V")                                    \
    X(kResumeFrame, kContextClass, "resumeFrame", "(" ZV_CONTEXT_TYPE "I)V")                                \
    X(kHibernate, kContextClass, "_hibernate", "Z")                                                         \
    X(kFakeStack, kContextClass, "_fakeStack", "[I")                                                        \
    /* ZVContext: what the rewritten java/io/ObjectStreamClass calls */                                     \
    X(kFilterMethods, kContextClass, "filterMethods", "([Ljava/lang/reflect/Method;)[Ljava/lang/reflect/Method;") \
    X(kFilterInterfaces, kContextClass, "filterInterfaces", "([Ljava/lang/Class;)[Ljava/lang/Class;")       \
    X(kFilterHasClassInit, kContextClass, "filterHasClassInit", "(ZLjava/lang/Class;)Z")                    \
    /* ZVTime */                                                                                            \
    X(kTime0, kTimeClass, "time0", "()J")                                                                   \
    X(kSetUsePreciseTimer, kTimeClass, "setUsePreciseTimer", "(Z)V")                                        \
    /* java/lang/Thread as rewritten: the context field and its static getter */                           \
    X(kThreadContextField, kThreadClass, "__ZV_context_", ZV_CONTEXT_TYPE)                                  \
    X(kThreadGetContext, kThreadClass, "__ZV_getContext_", "()" ZV_CONTEXT_TYPE)                          \
    X(kThreadPreInstrumented, kThreadClass, "__ZV_PreInstr_", "Z")

#define ZV_JAVA_MEMBER_CONSTANT(constant, owner, name, descriptor) \
    inline constexpr JavaMember constant{owner, name, descriptor};
ZV_JAVA_MEMBERS(ZV_JAVA_MEMBER_CONSTANT)
#undef ZV_JAVA_MEMBER_CONSTANT

// Every member above, for the check against the archives.
#define ZV_JAVA_MEMBER_ENTRY(constant, owner, name, descriptor) constant,
inline constexpr JavaMember kEveryMember[] = {ZV_JAVA_MEMBERS(ZV_JAVA_MEMBER_ENTRY)};
#undef ZV_JAVA_MEMBER_ENTRY

// The descriptor of a ZVContext value (fields holding a context).
inline constexpr char kContextType[] = ZV_CONTEXT_TYPE;

#undef ZV_JAVA_MEMBERS
#undef ZV_CONTEXT_TYPE

}  // namespace java_contract
