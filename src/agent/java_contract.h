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
inline constexpr char kContextClassResource[] = "meridyn/audit/profiler/ZVContext.class";
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

// Members of ZVContext that the instrumentation and its runtime use.
inline constexpr char kContextSig[] = "Lmeridyn/audit/profiler/ZVContext;";
inline constexpr char kThreadInfo[] = "threadInfo";
inline constexpr char kThreadInfoSig[] = "J";
inline constexpr char kCallStack[] = "callStack";
inline constexpr char kCallStackSig[] = "[I";
inline constexpr char kStackPointer[] = "stackPointer";
inline constexpr char kStackPointerSig[] = "I";
inline constexpr char kHasRunCounter[] = "hasRunCounter";
inline constexpr char kHasRunCounterSig[] = "I";
inline constexpr char kHibernate[] = "_hibernate";
inline constexpr char kHibernateSig[] = "Z";
inline constexpr char kFakeStack[] = "_fakeStack";
inline constexpr char kFakeStackSig[] = "[I";
inline constexpr char kNotifyMethodEnterExit[] = "notifyMethodEnterExit";
inline constexpr char kNotifyMethodEnterExitSig[] = "Z";
inline constexpr char kConstructor[] = "<init>";
inline constexpr char kConstructorSig[] = "()V";
inline constexpr char kGetCurrentContext[] = "getCurrentContext";
inline constexpr char kGetCurrentContextSig[] = "()Lmeridyn/audit/profiler/ZVContext;";
inline constexpr char kRemoveContext[] = "removeContext";
inline constexpr char kRemoveContextSig[] = "(Lmeridyn/audit/profiler/ZVContext;)V";
inline constexpr char kVMInitializationDone[] = "VMInitializationDone";
inline constexpr char kVMInitializationDoneSig[] = "(ZZ)V";
inline constexpr char kInitDone[] = "initDone";
inline constexpr char kVMExiting[] = "VMExiting";
inline constexpr char kGetContextWarning[] = "getContextWarning";
inline constexpr char kVoidSig[] = "()V";
inline constexpr char kDidEnterMethod[] = "didEnterMethod";
inline constexpr char kDidEnterMethodPreInit[] = "didEnterMethodPreInit";
inline constexpr char kDidEnterMethodSig[] = "(II)Lmeridyn/audit/profiler/ZVContext;";
inline constexpr char kWillExitMethod[] = "willExitMethod";
inline constexpr char kWillExitMethodSig[] = "(Lmeridyn/audit/profiler/ZVContext;)V";
inline constexpr char kEnterExitQuick[] = "enterExitQuick";
inline constexpr char kEnterExitQuickSig[] = "(II)V";
inline constexpr char kGetContextFast[] = "getContextFast";
inline constexpr char kGetContextFastSig[] = "()Lmeridyn/audit/profiler/ZVContext;";
inline constexpr char kUpdateLocation[] = "updateLocation";
inline constexpr char kUpdateLocationSig[] = "(Lmeridyn/audit/profiler/ZVContext;I)V";
inline constexpr char kFilterMethods[] = "filterMethods";
inline constexpr char kFilterMethodsSig[] = "([Ljava/lang/reflect/Method;)[Ljava/lang/reflect/Method;";
inline constexpr char kFilterInterfaces[] = "filterInterfaces";
inline constexpr char kFilterInterfacesSig[] = "([Ljava/lang/Class;)[Ljava/lang/Class;";
inline constexpr char kFilterHasClassInit[] = "filterHasClassInit";
inline constexpr char kFilterHasClassInitSig[] = "(ZLjava/lang/Class;)Z";
inline constexpr char kSetUsePreciseTimer[] = "setUsePreciseTimer";
inline constexpr char kSetUsePreciseTimerSig[] = "(Z)V";

// ---------------------------------------------------------------- JDK classes
inline constexpr char kThreadClass[] = "java/lang/Thread";
inline constexpr char kThreadContextField[] = "__ZV_context_";
inline constexpr char kThreadGetContext[] = "__ZV_getContext_";

}  // namespace java_contract
