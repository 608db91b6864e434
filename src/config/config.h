// The agent's configuration: its option record, the two option sources (the
// old-style argument string and the XML configuration file), the per-option
// getters, the option loader run at start-up and the printed options report.
#pragma once

#include <cstdint>

#include "support/containers.h"
#include "support/elements.h"

// ------------------------------------------------------------------ sources

enum ConfigSourceKind : int32_t {
    CONFIG_SOURCE_XML = 0,
    CONFIG_SOURCE_ARGUMENTS = 1,
};

struct ConfigSource {
    int32_t kind;
    // Arguments: the SE_MAP read from the argument string (owned);
    // XML: the parsed document (an xmlDocPtr, owned).
    void *mapOrDocument;
    void *root;          // XML: the document's root element
    void *xpathContext;  // XML: an xmlXPathContextPtr (owned)
};

// Tool indices: the tool name selects the per-tool element of the XML file.
enum {
    TOOL_PROFILER = 0,
    TOOL_THREAD_DEBUGGER = 1,
    TOOL_CODE_COVERAGE = 2,
    TOOL_SERVER_TRACE = 3,
    TOOL_REQUEST_ANALYZER = 5,
};
const char *GetToolName(int tool);

// A source from an option string: old-style arguments when the string holds
// '=', else the path of an XML file. Null for an empty string or on an error;
// argument errors are kept for GetConfigurationError.
ConfigSource *LoadConfiguration(const char *options, int verbose);
// An XML source; the path may be given in double quotes.
ConfigSource *LoadXMLConfiguration(const char *path, int verbose);
void FreeConfigSource(ConfigSource *source);
// The text of the last argument error ("" when there was none).
const char *GetConfigurationError();
// XML sources: the first node the XPath expression selects (an xmlNodePtr), or null.
void *FindNode(const ConfigSource *source, const char *xpath);

// ------------------------------------------------------------------ options

enum LogSeverity : int32_t {
    LOG_DEBUG = 0,
    LOG_INFO = 1,
    LOG_WARNING = 2,
    LOG_ERROR = 3,
    LOG_FATAL = 4,
    LOG_NONE = 5,
};

// One configured metric (kept in AgentOptions::metricsConfiguration).
struct ZVMetricSetting {
    char *name;
    int32_t bufferSizeType;  // -1 absent, 0 unknown text, 1 time, 2 memory
    int32_t bufferSize;      // seconds (time) or bytes; -1 absent
    int32_t period;          // seconds; -1 absent
};

// Written once by LoadOptions before the agent starts any thread, then only read.
struct AgentOptions {
    int32_t auditPort;
    int32_t auditPortEnd;
    int32_t startAudit;
    int32_t acceptConnections;
    int32_t directIMode;
    int32_t useHighPrecisionTimer;
    int32_t ignoreCPUFrequency;
    int32_t pauseAfterLaunch;
    int32_t pauseOnExit;
    int32_t njplSupport;
    int32_t redirectOutputs;
    char *filterPath;
    int32_t filterReloadOnChange;
    int32_t enableAPI;
    int32_t showOptions;
    int32_t autoStartCPU;
    int32_t autoStartCPUType;  // 0 sampler, 1 instrumentation
    int32_t autoStartCPUTime;  // 1 clock, 2 cpu
    int32_t samplerPeriod;
    int32_t samplerPrecision;          // 1 line, 2 method
    int32_t instrumentationPrecision;  // 0 milli, 1 micro
    int32_t instrumentationFilterEnabled;
    int32_t instrumentationFilterLimit;
    int32_t snapshotGeneration;
    int32_t xmlReportGeneration;
    int32_t generateOnExit;
    int32_t captureDelay;  // seconds
    int32_t initialDelay;  // seconds
    int32_t computeInitialDelayFromCurrentTime;
    int32_t captureCounter;  // -1: no limit
    int32_t resetMark;
    char *captureFileDirectory;
    char *captureFileNameFormat;
    int32_t includeCPUInformation;
    int32_t includeMetricsInformation;
    char *captureComment;
    char *vmName;
    char *snmpConfPath;
    int32_t snmpAgentPort;
    int32_t snmpTrapPort;
    char *actionFilename;
    char *snapshotRepository;
    char *logFile;
    int32_t logEnabled;
    int32_t logSeverity;
    SEElement *extensionExclusion;  // SE_MAP "extension exclusion", or null
    SEElement *extensionArgs;       // SE_MAP "extension args" with "__shared"
    uint8_t hibernate;
    uint8_t PRIHibernateEnabled;
    uint8_t PRIInstrumentLines;
    uint8_t PRIDebugInstrumentation;
    char *PRIDebugClassInstrumentation;
    char *PRIDebugMethodInstrumentation;
    ZVVector *metricsConfiguration;  // of ZVMetricSetting*, or null
    int32_t metricsEnabled;
    int32_t dumpClassInstrumentation;
    int32_t unitTestMode;
    int32_t unitTestMode2;
    char *unitTestSnapDB;
    char *unitTestSnapDir;
};

// The process-wide option record in use: created with the defaults when the
// library loads and never destroyed, as threads read it until the process ends.
extern AgentOptions *gAgentOptions;
inline AgentOptions &CurrentOptions() { return *gAgentOptions; }

// A record with every default; installing one returns the record it replaces,
// which FreeAgentOptions releases with what it owns (tests, tools, fuzzing).
AgentOptions *NewAgentOptions();
AgentOptions *InstallAgentOptions(AgentOptions *options);
void FreeAgentOptions(AgentOptions *options);

// Fills the record in use from the option string. The three in/out words carry
// the start-up code's values in and the configured values out. The extension
// maps stay owned by that record; the out pointers refer to them. False,
// after messages, when the option string, the file it names, the filter file
// or a value in them was refused; the defaults stand for what was refused.
bool LoadOptions(const char *options, SEElement **extensionExclusion,
                 SEElement **extensionArgs, int32_t *directIMode,
                 int32_t *useHighPrecisionTimer, int32_t *ignoreCPUFrequency);

// The filter-file loader that LoadOptions calls as soon as the filter path is
// known. The instrumentation runtime registers itself here; without a loader
// the path is only recorded. False when the file could not be used.
typedef bool (*ConfigFilterLoader)(const char *path);
void ConfigSetFilterLoader(ConfigFilterLoader loader);

// Prints the options report of the record in use to standard output.
void PrintOptionsReport();

// ------------------------------------------------------------------ getters
// Each reads the argument map or the XML document of the source; a null
// source, or an option the source does not set, gives the default. String
// getters return a new string, or the default pointer itself.

int32_t GetAuditPort(const ConfigSource *source, int tool, int32_t defaultValue);
int32_t GetAuditPortEnd(const ConfigSource *source, int tool, int32_t defaultValue);
int32_t GetStartAudit(const ConfigSource *source, int tool, int32_t defaultValue);
int32_t GetAcceptConnections(const ConfigSource *source, int tool, int32_t defaultValue);
int32_t GetDirectIMode(const ConfigSource *source, int tool, int32_t defaultValue);
int32_t GetUseHighPrecisionTimer(const ConfigSource *source, int tool, int32_t defaultValue);
int32_t GetIgnoreCPUFrequency(const ConfigSource *source, int tool, int32_t defaultValue);
int32_t GetPauseAfterLaunch(const ConfigSource *source, int tool, int32_t defaultValue);
int32_t GetPauseOnExit(const ConfigSource *source, int tool, int32_t defaultValue);
int32_t GetNjplSupport(const ConfigSource *source, int tool, int32_t defaultValue);
int32_t GetRedirectOutputs(const ConfigSource *source, int tool, int32_t defaultValue);
char *GetFilterPath(const ConfigSource *source, int tool, char *defaultValue);
int32_t GetFilterReloadOnChange(const ConfigSource *source, int tool, int32_t defaultValue);
int32_t GetEnableAPI(const ConfigSource *source, int tool, int32_t defaultValue);
int32_t GetShowOptions(const ConfigSource *source, int tool, int32_t defaultValue);
int32_t GetAutoStartCPU(const ConfigSource *source, int tool, int32_t defaultValue);
int32_t GetAutoStartCPUType(const ConfigSource *source, int tool, int32_t defaultValue);
int32_t GetAutoStartCPUTime(const ConfigSource *source, int tool, int32_t defaultValue);
int32_t GetSamplerPeriod(const ConfigSource *source, int tool, int32_t defaultValue);
int32_t GetSamplerPrecision(const ConfigSource *source, int tool, int32_t defaultValue);
int32_t GetInstrumentationPrecision(const ConfigSource *source, int tool, int32_t defaultValue);
int32_t GetInstrumentationFilterEnabled(const ConfigSource *source, int tool, int32_t defaultValue);
int32_t GetInstrumentationFilterLimit(const ConfigSource *source, int tool, int32_t defaultValue);
int32_t GetSnapshotGeneration(const ConfigSource *source, int tool, int32_t defaultValue);
int32_t GetXmlReportGeneration(const ConfigSource *source, int tool, int32_t defaultValue);
int32_t GetGenerateOnExit(const ConfigSource *source, int tool, int32_t defaultValue);
int32_t GetCaptureDelay(const ConfigSource *source, int tool, int32_t defaultValue);
int32_t GetInitialDelay(const ConfigSource *source, int tool, int32_t defaultValue);
int32_t GetComputeInitialDelayFromCurrentTime(const ConfigSource *source, int tool,
                                              int32_t defaultValue);
int32_t GetCaptureCounter(const ConfigSource *source, int tool, int32_t defaultValue);
int32_t GetResetMark(const ConfigSource *source, int tool, int32_t defaultValue);
char *GetCaptureFileDirectory(const ConfigSource *source, int tool, char *defaultValue);
char *GetCaptureFileNameFormat(const ConfigSource *source, int tool, char *defaultValue);
int32_t GetIncludeCPUInformation(const ConfigSource *source, int tool, int32_t defaultValue);
int32_t GetIncludeMetricsInformation(const ConfigSource *source, int tool, int32_t defaultValue);
char *GetCaptureComment(const ConfigSource *source, int tool, char *defaultValue);
char *GetVmName(const ConfigSource *source, int tool, char *defaultValue);
char *GetSnmpConfPath(const ConfigSource *source, int tool, char *defaultValue);
int32_t GetSnmpAgentPort(const ConfigSource *source, int tool, int32_t defaultValue);
int32_t GetSnmpTrapPort(const ConfigSource *source, int tool, int32_t defaultValue);
char *GetActionFilename(const ConfigSource *source, int tool, char *defaultValue);
char *GetSnapshotRepository(const ConfigSource *source, int tool, char *defaultValue);
char *GetLogFile(const ConfigSource *source, int tool, char *defaultValue);
int32_t GetLogEnabled(const ConfigSource *source, int tool, int32_t defaultValue);
int32_t GetLogSeverity(const ConfigSource *source, int tool, int32_t defaultValue);
// A new "extension exclusion" map, or the default.
SEElement *GetExtensionExclusion(const ConfigSource *source, int tool, SEElement *defaultValue);
// A new "extension args" map, or the default.
SEElement *GetExtensionArgs(const ConfigSource *source, int tool, SEElement *defaultValue);
int32_t GetHibernate(const ConfigSource *source, int tool, int32_t defaultValue);
int32_t GetPRIHibernateEnabled(const ConfigSource *source, int tool, int32_t defaultValue);
int32_t GetPRIInstrumentLines(const ConfigSource *source, int tool, int32_t defaultValue);
int32_t GetPRIDebugInstrumentation(const ConfigSource *source, int tool, int32_t defaultValue);
char *GetPRIDebugClassInstrumentation(const ConfigSource *source, int tool, char *defaultValue);
char *GetPRIDebugMethodInstrumentation(const ConfigSource *source, int tool, char *defaultValue);
// The shared report flags: "reportErrors", "reportWarnings",
// "reportSoftWarnings", "reportExceptions", "ignoreTraining".
int32_t GetReportFlag(const ConfigSource *source, int tool, const char *name, int32_t defaultValue);
int32_t GetMetricsEnabled(const ConfigSource *source, int tool, int32_t defaultValue);
int32_t GetDumpClassInstrumentation(const ConfigSource *source, int tool, int32_t defaultValue);
// The "installPath" of a tool (XML only), or the default.
char *GetInstallPathOption(const ConfigSource *source, int tool, char *defaultValue);

// The metric settings of the XML file (a vector of ZVMetricSetting*), or null.
ZVVector *ReadMetricsConfiguration(const ConfigSource *source, int tool);
void FreeMetricsConfiguration(ZVVector *settings);
