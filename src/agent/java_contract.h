// What the agent fixes about the product's own Java classes: the class
// names, members and descriptors it looks up, calls, reads or writes.
#pragma once

namespace java_contract {

// ---------------------------------------------------------------- meridyn/audit/Native
inline constexpr char kNativeClass[] = "meridyn/audit/Native";
inline constexpr char kWaitForever[] = "waitForever";
inline constexpr char kWaitForeverSig[] = "()V";
// The natives registered on it, in registration order.
inline constexpr char kGetTool[] = "getTool";
inline constexpr char kGetToolSig[] = "()I";
inline constexpr char kGetPort[] = "getPort";
inline constexpr char kGetPortSig[] = "()I";
inline constexpr char kGetOptions[] = "getOptions";
inline constexpr char kGetOptionsSig[] = "()Ljava/lang/String;";
inline constexpr char kLibraryLoaded[] = "libraryLoaded";
inline constexpr char kLibraryLoadedSig[] = "(Ljava/lang/String;)Z";
inline constexpr char kHasStarted[] = "hasStarted";
inline constexpr char kHasStartedSig[] = "()Z";
inline constexpr char kInstallDir[] = "installDir";
inline constexpr char kInstallDirSig[] = "()Ljava/lang/String;";
inline constexpr char kRunMetricsLoop[] = "runMetricsLoop";
inline constexpr char kRunMetricsLoopSig[] = "()V";
inline constexpr char kInvokePrioritizedSystemThread[] = "invokePrioritizedSystemThread";
inline constexpr char kInvokePrioritizedSystemThreadSig[] = "()V";

// ---------------------------------------------------------------- java/lang/System
inline constexpr char kSystemClass[] = "java/lang/System";
inline constexpr char kSetProperty[] = "setProperty";
inline constexpr char kSetPropertySig[] = "(Ljava/lang/String;Ljava/lang/String;)Ljava/lang/String;";
inline constexpr char kGetProperty[] = "getProperty";
inline constexpr char kGetPropertySig[] = "(Ljava/lang/String;)Ljava/lang/String;";

// ---------------------------------------------------------------- meridyn/audit/Audit
inline constexpr char kAuditClass[] = "meridyn/audit/Audit";
inline constexpr char kIntSig[] = "I";
inline constexpr char kMemoryProfilerAlwaysDisabled[] = "MEMORY_PROFILER_ALWAYS_DISABLED";
inline constexpr char kSystemExitDisabled[] = "SYSTEM_EXIT_DISABLED";
inline constexpr char kProfilersAlwaysEnabled[] = "PROFILERS_ALWAYS_ENABLED";
inline constexpr char kWaitForZentrova[] = "WAIT_FOR_ZENTROVA";
inline constexpr char kAutoStartCPUProfiler[] = "AUTO_START_CPU_PROFILER";
inline constexpr char kStart[] = "start";
inline constexpr char kStartSig[] = "(II)V";
inline constexpr char kGetDirectInstrumentationTablePath[] = "getDirectInstrumentationTablePath";
inline constexpr char kGetDirectInstrumentationTablePathSig[] = "()Ljava/lang/String;";

// ---------------------------------------------------------------- meridyn/audit/Main
inline constexpr char kMainClass[] = "meridyn/audit/Main";
inline constexpr char kAskForFilterFileChangeNotification[] = "askForFilterFileChangeNotification";
inline constexpr char kAskForFilterFileChangeNotificationSig[] = "(Ljava/lang/String;)V";
inline constexpr char kSetCPUProfilerOptions[] = "setCPUProfilerOptions";
inline constexpr char kSetCPUProfilerOptionsSig[] = "(IIIIIZI)V";
inline constexpr char kSetAutoCaptureOptions[] = "setAutoCaptureOptions";
inline constexpr char kSetAutoCaptureOptionsSig[] =
    "(ZZZIIILjava/lang/String;Ljava/lang/String;ZZZZZLjava/lang/String;)V";
inline constexpr char kSetVMName[] = "setVMName";
inline constexpr char kSetSNMPAgentPort[] = "setSNMPAgentPort";
inline constexpr char kSetSNMPConfPath[] = "setSNMPConfPath";
inline constexpr char kSetSNMPTrapPort[] = "setSNMPTrapPort";
inline constexpr char kSetActionFilename[] = "setActionFilename";
inline constexpr char kSetSnapshotRepository[] = "setSnapshotRepository";
inline constexpr char kSetSnapshotRepositorySig[] = "(Ljava/lang/String;Ljava/lang/String;I)V";
inline constexpr char kSetFilterFilename[] = "setFilterFilename";
inline constexpr char kSetUnitTestMode[] = "setUnitTestMode";
inline constexpr char kSetUnitTestModeSig[] = "(ZZ)V";
inline constexpr char kSetAcceptConnections[] = "setAcceptConnections";
inline constexpr char kStringSetterSig[] = "(Ljava/lang/String;)V";
inline constexpr char kIntSetterSig[] = "(I)V";
inline constexpr char kBooleanSetterSig[] = "(Z)V";

// ---------------------------------------------------------------- profiler classes
inline constexpr char kContextClass[] = "meridyn/audit/profiler/ZVContext";
inline constexpr char kContextClassDotted[] = "meridyn.audit.profiler.ZVContext";
inline constexpr char kTimeClass[] = "meridyn/audit/profiler/ZVTime";
inline constexpr char kTimeClassDotted[] = "meridyn.audit.profiler.ZVTime";
inline constexpr char kGetContext0[] = "getContext0";
inline constexpr char kGetContext0Sig[] = "()Lmeridyn/audit/profiler/ZVContext;";
inline constexpr char kNotifyMethodEnterWillExit[] = "notifyMethodEnterWillExit";
inline constexpr char kNotifyMethodEntered[] = "notifyMethodEntered";
inline constexpr char kNotifyMethodEnteredSig[] = "(JIII)V";
inline constexpr char kNotifyMethodExited[] = "notifyMethodExited";
inline constexpr char kNotifyMethodExitedSig[] = "(J)V";
inline constexpr char kTime0[] = "time0";
inline constexpr char kTime0Sig[] = "()J";

// ---------------------------------------------------------------- JDK classes
inline constexpr char kLinkageErrorClass[] = "java/lang/LinkageError";

}  // namespace java_contract
