// The process-wide option record and the option loader that fills it once at
// start-up, in a fixed order: the filter file loads while options are read,
// and the report prints before the extension options are read.
#include <cstdint>
#include <cstdio>
#include <initializer_list>

#include "config/config_internal.h"
#include "support/heap.h"
#include "support/install_paths.h"

namespace {

constexpr int kTool = TOOL_REQUEST_ANALYZER;

constexpr AgentOptions kDefaultOptions = {
    .auditPort = 1473,
    .auditPortEnd = 1473,
    .startAudit = 1,
    .acceptConnections = 1,
    .directIMode = 0,
    .useHighPrecisionTimer = 0,
    .ignoreCPUFrequency = 0,
    .pauseAfterLaunch = 0,
    .pauseOnExit = 0,
    .njplSupport = 1,
    .redirectOutputs = 0,
    .filterPath = nullptr,
    .filterReloadOnChange = 0,
    .enableAPI = 0,
    .showOptions = 0,
    .autoStartCPU = 0,
    .autoStartCPUType = 0,
    .autoStartCPUTime = 1,
    .samplerPeriod = 50,
    .samplerPrecision = 2,
    .instrumentationPrecision = 0,
    .instrumentationFilterEnabled = 1,
    .instrumentationFilterLimit = 100,
    .snapshotGeneration = 0,
    .xmlReportGeneration = 0,
    .generateOnExit = 0,
    .captureDelay = 10,
    .initialDelay = 10,
    .computeInitialDelayFromCurrentTime = 0,
    .captureCounter = -1,
    .resetMark = 1,
    .captureFileDirectory = nullptr,
    .captureFileNameFormat = nullptr,
    .includeCPUInformation = 1,
    .includeMetricsInformation = 1,
    .captureComment = nullptr,
    .vmName = nullptr,
    .snmpConfPath = nullptr,
    .snmpAgentPort = 161,
    .snmpTrapPort = 162,
    .actionFilename = nullptr,
    .snapshotRepository = nullptr,
    .logFile = nullptr,
    .logEnabled = 0,
    .logSeverity = LOG_DEBUG,
    .extensionExclusion = nullptr,
    .extensionArgs = nullptr,
    .hibernate = 0,
    .PRIHibernateEnabled = 0,
    .PRIInstrumentLines = 1,
    .PRIDebugInstrumentation = 0,
    .PRIDebugClassInstrumentation = nullptr,
    .PRIDebugMethodInstrumentation = nullptr,
    .metricsConfiguration = nullptr,
    .metricsEnabled = 1,
    .dumpClassInstrumentation = 0,
    .unitTestMode = 0,
    .unitTestMode2 = 0,
    .unitTestSnapDB = nullptr,
    .unitTestSnapDir = nullptr,
};

ConfigFilterLoader gFilterLoader = nullptr;

const char *const kReportFlags[] = {"reportErrors", "reportWarnings", "reportSoftWarnings",
                                    "reportExceptions", "ignoreTraining"};

// Replaces an owned string field; getters hand back the default pointer itself
// when the option is not set.
void SetString(char *&field, char *value) {
    if (value != field) {
        sFree(field);
        field = value;
    }
}

void SetElement(SEElement *&field, SEElement *value) {
    if (value != field) {
        SEFree(field);
        field = value;
    }
}

// Puts an integer into the shared extension defaults, replacing an older value.
void PutShared(SEElement *shared, const char *key, int32_t value) {
    if (SEElement *old = SEMapGet(shared, key)) {
        SEMapRemove(shared, key);
        SEFree(old);
    }
    SEMapPut(shared, key, SENewInt32(value));
}

void ReadConnectionOptions(const ConfigSource *source, AgentOptions &o) {
    o.auditPort = GetAuditPort(source, kTool, kDefaultOptions.auditPort);
    o.auditPortEnd = GetAuditPortEnd(source, kTool, o.auditPort);
    // A range that ends before it begins would leave no port to try.
    if (o.auditPortEnd < o.auditPort) o.auditPortEnd = o.auditPort;
    o.startAudit = GetStartAudit(source, kTool, kDefaultOptions.startAudit);
    o.acceptConnections = GetAcceptConnections(source, kTool, kDefaultOptions.acceptConnections);
}

// False when the filter file was named but could not be used.
bool ReadRuntimeOptions(const ConfigSource *source, AgentOptions &o, int32_t *directIMode,
                        int32_t *useHighPrecisionTimer, int32_t *ignoreCPUFrequency) {
    int32_t directI = GetDirectIMode(source, kTool, -1);
    if (directI != -1) *directIMode = directI ? 2 : 0;
    o.directIMode = *directIMode;
    *useHighPrecisionTimer = GetUseHighPrecisionTimer(source, kTool, *useHighPrecisionTimer);
    o.useHighPrecisionTimer = *useHighPrecisionTimer;
    *ignoreCPUFrequency = GetIgnoreCPUFrequency(source, kTool, *ignoreCPUFrequency);
    o.ignoreCPUFrequency = *ignoreCPUFrequency;
    o.pauseAfterLaunch = GetPauseAfterLaunch(source, kTool, kDefaultOptions.pauseAfterLaunch);
    o.pauseOnExit = GetPauseOnExit(source, kTool, kDefaultOptions.pauseOnExit);
    o.njplSupport = GetNjplSupport(source, kTool, kDefaultOptions.njplSupport);
    o.redirectOutputs = GetRedirectOutputs(source, kTool, kDefaultOptions.redirectOutputs);
    SetString(o.filterPath, GetFilterPath(source, kTool, kDefaultOptions.filterPath));
    bool filterLoaded = o.filterPath == nullptr || gFilterLoader == nullptr || gFilterLoader(o.filterPath);
    o.filterReloadOnChange =
        GetFilterReloadOnChange(source, kTool, kDefaultOptions.filterReloadOnChange);
    o.enableAPI = GetEnableAPI(source, kTool, kDefaultOptions.enableAPI);
    o.showOptions = GetShowOptions(source, kTool, kDefaultOptions.showOptions);
    return filterLoaded;
}

void ReadCPUOptions(const ConfigSource *source, AgentOptions &o) {
    const AgentOptions &d = kDefaultOptions;
    o.autoStartCPU = GetAutoStartCPU(source, kTool, d.autoStartCPU);
    o.autoStartCPUType = GetAutoStartCPUType(source, kTool, d.autoStartCPUType);
    o.autoStartCPUTime = GetAutoStartCPUTime(source, kTool, d.autoStartCPUTime);
    o.samplerPeriod = GetSamplerPeriod(source, kTool, d.samplerPeriod);
    o.samplerPrecision = GetSamplerPrecision(source, kTool, d.samplerPrecision);
    o.instrumentationPrecision =
        GetInstrumentationPrecision(source, kTool, d.instrumentationPrecision);
    o.instrumentationFilterEnabled =
        GetInstrumentationFilterEnabled(source, kTool, d.instrumentationFilterEnabled);
    int64_t limit = GetInstrumentationFilterLimit(source, kTool, d.instrumentationFilterLimit);
    // The limit is given in milliseconds; millisecond precision counts in microseconds.
    if (o.instrumentationPrecision == 0) limit *= 1000;
    if (limit > INT32_MAX) limit = INT32_MAX;
    if (limit < INT32_MIN) limit = INT32_MIN;
    o.instrumentationFilterLimit = static_cast<int32_t>(limit);
}

void ReadCaptureOptions(const ConfigSource *source, AgentOptions &o) {
    const AgentOptions &d = kDefaultOptions;
    o.snapshotGeneration = GetSnapshotGeneration(source, kTool, d.snapshotGeneration);
    o.xmlReportGeneration = GetXmlReportGeneration(source, kTool, d.xmlReportGeneration);
    o.generateOnExit = GetGenerateOnExit(source, kTool, d.generateOnExit);
    o.captureDelay = GetCaptureDelay(source, kTool, d.captureDelay);
    o.initialDelay = GetInitialDelay(source, kTool, o.captureDelay);
    o.computeInitialDelayFromCurrentTime = GetComputeInitialDelayFromCurrentTime(
        source, kTool, d.computeInitialDelayFromCurrentTime);
    o.captureCounter = GetCaptureCounter(source, kTool, d.captureCounter);
    o.resetMark = GetResetMark(source, kTool, d.resetMark);
    SetString(o.captureFileDirectory,
              GetCaptureFileDirectory(source, kTool, d.captureFileDirectory));
    SetString(o.captureFileNameFormat,
              GetCaptureFileNameFormat(source, kTool, d.captureFileNameFormat));
    o.includeCPUInformation = GetIncludeCPUInformation(source, kTool, d.includeCPUInformation);
    o.includeMetricsInformation =
        GetIncludeMetricsInformation(source, kTool, d.includeMetricsInformation);
    SetString(o.captureComment, GetCaptureComment(source, kTool, d.captureComment));
}

void ReadServiceOptions(const ConfigSource *source, AgentOptions &o) {
    const AgentOptions &d = kDefaultOptions;
    SetString(o.vmName, GetVmName(source, kTool, d.vmName));
    SetString(o.snmpConfPath, GetSnmpConfPath(source, kTool, d.snmpConfPath));
    o.snmpAgentPort = GetSnmpAgentPort(source, kTool, d.snmpAgentPort);
    o.snmpTrapPort = GetSnmpTrapPort(source, kTool, d.snmpTrapPort);
    SetString(o.actionFilename, GetActionFilename(source, kTool, d.actionFilename));
    SetString(o.snapshotRepository, GetSnapshotRepository(source, kTool, o.snapshotRepository));
    SetString(o.logFile, GetLogFile(source, kTool, o.logFile));
    o.logEnabled = GetLogEnabled(source, kTool, o.logEnabled);
    o.logSeverity = GetLogSeverity(source, kTool, o.logSeverity);
}

void ReadExtensionOptions(const ConfigSource *source, AgentOptions &o) {
    SetElement(o.extensionExclusion, GetExtensionExclusion(source, kTool, nullptr));
    SEElement *arguments = GetExtensionArgs(source, kTool, nullptr);
    if (arguments == nullptr) arguments = SENewMap(5, "extension args");
    SetElement(o.extensionArgs, arguments);
    // "E__shared.key=value" arguments already made a shared map: the options
    // below add to it rather than hide it.
    SEElement *shared = SEMapGet(arguments, "__shared");
    if (shared == nullptr || shared->type != SE_MAP) {
        shared = SENewMap(5, "global extension arg defaults");
        SEMapPut(arguments, "__shared", shared);
    }

    o.hibernate = GetHibernate(source, kTool, 0) ? 1 : 0;
    if (GetHibernate(source, kTool, 1) == 0) {
        PutShared(shared, "hibernate", 0);
        o.hibernate = 0;
    }
    o.PRIHibernateEnabled = GetPRIHibernateEnabled(source, kTool, o.PRIHibernateEnabled) ? 1 : 0;
    o.PRIInstrumentLines =
        GetPRIInstrumentLines(source, kTool, kDefaultOptions.PRIInstrumentLines) ? 1 : 0;
    o.PRIDebugInstrumentation =
        GetPRIDebugInstrumentation(source, kTool, o.PRIDebugInstrumentation) ? 1 : 0;
    SetString(o.PRIDebugClassInstrumentation,
              GetPRIDebugClassInstrumentation(source, kTool, o.PRIDebugClassInstrumentation));
    SetString(o.PRIDebugMethodInstrumentation,
              GetPRIDebugMethodInstrumentation(source, kTool, o.PRIDebugMethodInstrumentation));
    // Reading with two defaults tells an absent flag from a present one.
    for (const char *flag : kReportFlags) {
        if (GetReportFlag(source, kTool, flag, 0) != 0) PutShared(shared, flag, 1);
        else if (GetReportFlag(source, kTool, flag, 1) == 0) PutShared(shared, flag, 0);
    }
}

}  // namespace

AgentOptions *gAgentOptions = new AgentOptions(kDefaultOptions);

void ConfigSetFilterLoader(ConfigFilterLoader loader) { gFilterLoader = loader; }

AgentOptions *NewAgentOptions() { return new AgentOptions(kDefaultOptions); }

AgentOptions *InstallAgentOptions(AgentOptions *options) {
    AgentOptions *old = gAgentOptions;
    gAgentOptions = options;
    return old;
}

void FreeAgentOptions(AgentOptions *options) {
    if (options == nullptr) return;
    AgentOptions &o = *options;
    for (char *text : {o.filterPath, o.captureFileDirectory, o.captureFileNameFormat,
                       o.captureComment, o.vmName, o.snmpConfPath, o.actionFilename,
                       o.snapshotRepository, o.logFile, o.PRIDebugClassInstrumentation,
                       o.PRIDebugMethodInstrumentation, o.unitTestSnapDB, o.unitTestSnapDir})
        sFree(text);
    SEFree(o.extensionExclusion);
    SEFree(o.extensionArgs);
    FreeMetricsConfiguration(o.metricsConfiguration);
    delete options;
}

bool LoadOptions(const char *options, SEElement **extensionExclusion, SEElement **extensionArgs,
                 int32_t *directIMode, int32_t *useHighPrecisionTimer,
                 int32_t *ignoreCPUFrequency) {
    AgentOptions &o = CurrentOptions();
    int32_t directI = directIMode ? *directIMode : o.directIMode;
    int32_t highPrecision = useHighPrecisionTimer ? *useHighPrecisionTimer : o.useHighPrecisionTimer;
    int32_t ignoreFrequency = ignoreCPUFrequency ? *ignoreCPUFrequency : o.ignoreCPUFrequency;

    int refusedBefore = RefusedValueCount();
    ConfigSource *source = LoadConfiguration(options, 1);
    if (source == nullptr && GetConfigurationError()[0] != '\0')
        fprintf(stderr, "ZVArguments: error '%s'\n", GetConfigurationError());
    bool sourceRead = source != nullptr || options == nullptr || options[0] == '\0';
    CheckXmlLayout(source, kTool);

    for (int tool : {TOOL_PROFILER, TOOL_THREAD_DEBUGGER, TOOL_CODE_COVERAGE, TOOL_SERVER_TRACE,
                     TOOL_REQUEST_ANALYZER}) {
        char *path = GetInstallPathOption(source, tool, nullptr);
        RecordInstallPath(tool, path);
        sFree(path);
    }

    ReadConnectionOptions(source, o);
    bool filterLoaded = ReadRuntimeOptions(source, o, &directI, &highPrecision, &ignoreFrequency);
    ReadCPUOptions(source, o);
    ReadCaptureOptions(source, o);
    ReadServiceOptions(source, o);
    if (o.showOptions) PrintOptionsReport();
    ReadExtensionOptions(source, o);

    FreeMetricsConfiguration(o.metricsConfiguration);
    o.metricsConfiguration = ReadMetricsConfiguration(source, kTool);
    o.metricsEnabled = GetMetricsEnabled(source, kTool, kDefaultOptions.metricsEnabled);
    o.dumpClassInstrumentation =
        GetDumpClassInstrumentation(source, kTool, kDefaultOptions.dumpClassInstrumentation);
    FreeConfigSource(source);

    if (directIMode) *directIMode = directI;
    if (useHighPrecisionTimer) *useHighPrecisionTimer = highPrecision;
    if (ignoreCPUFrequency) *ignoreCPUFrequency = ignoreFrequency;
    if (extensionExclusion) *extensionExclusion = o.extensionExclusion;
    if (extensionArgs) *extensionArgs = o.extensionArgs;
    return sourceRead && filterLoaded && RefusedValueCount() == refusedBefore;
}
