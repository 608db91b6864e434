// One getter per option: where each option lives in the argument map and in
// the XML file, and how its text becomes a value.
#include <libxml/tree.h>

#include <climits>
#include <cstring>
#include <string>

#include "config/config_internal.h"
#include "support/heap.h"

namespace {

constexpr const char *kTool = "/zentrova-configuration/%s";
constexpr const char *kConnection = "/zentrova-configuration/%s/connection";
constexpr const char *kPortRange = "/zentrova-configuration/%s/connection/audit-port/port-range";
constexpr const char *kPort = "/zentrova-configuration/%s/connection/audit-port/port";
constexpr const char *kSnmp = "/zentrova-configuration/%s/connection/snmp";
constexpr const char *kRemoteManagement = "/zentrova-configuration/%s/remote-management";
constexpr const char *kRepository = "/zentrova-configuration/snapshot-repository";
constexpr const char *kToolRepository = "/zentrova-configuration/%s/snapshot-repository";
constexpr const char *kLogFile = "/zentrova-configuration/log-file";
constexpr const char *kFilter = "/zentrova-configuration/%s/filter";
constexpr const char *kMetrics = "/zentrova-configuration/%s/metrics";
constexpr const char *kAutoStartCPU = "/zentrova-configuration/%s/auto-start-CPU";
constexpr const char *kSampler = "/zentrova-configuration/%s/auto-start-CPU/sampler-options";
constexpr const char *kInstrumentation =
    "/zentrova-configuration/%s/auto-start-CPU/instrumentation-options";
constexpr const char *kInstrumentationFilter =
    "/zentrova-configuration/%s/auto-start-CPU/instrumentation-options/instrumentation-filter";
constexpr const char *kAutoCapture = "/zentrova-configuration/%s/auto-capture";
constexpr const char *kCPUInformation = "/zentrova-configuration/%s/auto-capture/cpu-information";
constexpr const char *kMetricsInformation =
    "/zentrova-configuration/%s/auto-capture/metrics-information";
constexpr const char *kComment = "/zentrova-configuration/%s/auto-capture/comment";

// A boolean that the argument map may set (argKey non-null) and the XML file may set.
int32_t BooleanOption(const ConfigSource *source, int tool, int32_t defaultValue,
                      const char *argKey, const char *argName, const char *xmlPath,
                      const char *xmlAttribute) {
    if (IsArgumentSource(source))
        return argKey ? ArgumentBoolean(source, argKey, argName, defaultValue) : defaultValue;
    return XmlBoolean(source, xmlPath, tool, xmlAttribute, defaultValue);
}

// A boolean of the per-tool element whose argument key, type name and
// attribute are the same word.
int32_t ToolBoolean(const ConfigSource *source, int tool, int32_t defaultValue, const char *name) {
    return BooleanOption(source, tool, defaultValue, name, name, kTool, name);
}

int32_t XmlOnlyInteger(const ConfigSource *source, int tool, int32_t defaultValue,
                       const char *path, const char *attribute, const char *name, int32_t low,
                       int32_t high) {
    return IsXmlSource(source)
               ? XmlInteger(source, path, tool, attribute, name, low, high, defaultValue)
               : defaultValue;
}

char *StringOption(const ConfigSource *source, int tool, char *defaultValue, const char *argKey,
                   const char *xmlPath, const char *xmlAttribute) {
    if (IsArgumentSource(source))
        return argKey ? ArgumentString(source, argKey, defaultValue, false) : defaultValue;
    return XmlString(source, xmlPath, tool, xmlAttribute, defaultValue, false);
}

// The text of a number argument (the argument map holds strings; a number
// element is written out), or null after "Invalid type for KEY (TYPE)".
const char *ArgumentNumberText(const SEElement *value, const char *key, char (&buffer)[16]) {
    if (value->type == SE_INT32) {
        snprintf(buffer, sizeof buffer, "%d", static_cast<int32_t>(value->value));
        return buffer;
    }
    if (value->type == SE_STRING) return SEGetString(value);
    ReportRefusedValue("Invalid type for %s (%d)\n", key, value->type);
    return nullptr;
}

// The "port" argument: one port, or a range of two joined by '-' whose end
// may be left open. Each call reads its half; a bad begin is reported once,
// by the begin's call, and leaves the end at its default too.
int32_t ArgumentPort(const ConfigSource *source, int32_t defaultValue, bool end) {
    const SEElement *value = ArgumentValue(source, "port");
    if (value == nullptr) return defaultValue;
    // A value of the wrong type is reported by the begin's call.
    if (end && value->type != SE_INT32 && value->type != SE_STRING) return defaultValue;
    char buffer[16];
    const char *text = ArgumentNumberText(value, "port", buffer);
    if (text == nullptr) return defaultValue;
    const char *dash = strchr(text, '-');
    size_t beginLength = dash ? static_cast<size_t>(dash - text) : strlen(text);
    int32_t port;
    bool beginGood = ParseWholeNumber(text, beginLength, kLowestPort, kHighestPort, &port);
    if (!end) {
        if (!beginGood) ReportBadNumber("port", text, kLowestPort, kHighestPort);
        return beginGood ? port : defaultValue;
    }
    if (!beginGood || dash == nullptr || dash[1] == '\0') return defaultValue;
    if (ParseWholeNumber(dash + 1, strlen(dash + 1), kLowestPort, kHighestPort, &port)) return port;
    ReportBadNumber("port", text, kLowestPort, kHighestPort);
    return defaultValue;
}

int32_t ArgumentPortNumber(const ConfigSource *source, const char *key, int32_t defaultValue) {
    const SEElement *value = ArgumentValue(source, key);
    if (value == nullptr) return defaultValue;
    char buffer[16];
    const char *text = ArgumentNumberText(value, key, buffer);
    return text ? CheckedNumber(key, text, kLowestPort, kHighestPort, defaultValue) : defaultValue;
}

int32_t XmlPort(const ConfigSource *source, int tool, int32_t defaultValue, const char *rangeEnd) {
    if (void *range = FindToolNode(source, kPortRange, tool)) {
        char *text = NodeAttribute(range, rangeEnd);
        std::string name = std::string("port-range ") + rangeEnd;
        int32_t value =
            text ? CheckedNumber(name.c_str(), text, kLowestPort, kHighestPort, defaultValue)
                 : defaultValue;
        sFree(text);
        return value;
    }
    return XmlInteger(source, kPort, tool, "number", "port number", kLowestPort, kHighestPort,
                      defaultValue);
}

// An empty attribute counts as absent.
int32_t XmlSnmpPort(const ConfigSource *source, int tool, int32_t defaultValue,
                    const char *attribute) {
    char *text = XmlAttribute(source, kSnmp, tool, attribute);
    std::string name = std::string("snmp ") + attribute;
    int32_t value = text && text[0]
                        ? CheckedNumber(name.c_str(), text, kLowestPort, kHighestPort, defaultValue)
                        : defaultValue;
    sFree(text);
    return value;
}

int32_t SeverityOfText(const char *text, bool lowerCaseToo) {
    static const char *const kUpper[] = {"DEBUG", "INFO", "WARNING", "ERROR", "FATAL", "NONE"};
    static const char *const kLower[] = {"debug", "info", "warning", "error", "fatal", "none"};
    for (int32_t i = 0; i < 6; i++) {
        if (strcmp(text, kUpper[i]) == 0) return i;
        if (lowerCaseToo && strcmp(text, kLower[i]) == 0) return i;
    }
    return LOG_DEBUG;
}

}  // namespace

int32_t GetAuditPort(const ConfigSource *source, int tool, int32_t defaultValue) {
    if (IsArgumentSource(source)) return ArgumentPort(source, defaultValue, false);
    return IsXmlSource(source) ? XmlPort(source, tool, defaultValue, "begin") : defaultValue;
}

int32_t GetAuditPortEnd(const ConfigSource *source, int tool, int32_t defaultValue) {
    if (IsArgumentSource(source)) return ArgumentPort(source, defaultValue, true);
    return IsXmlSource(source) ? XmlPort(source, tool, defaultValue, "end") : defaultValue;
}

int32_t GetStartAudit(const ConfigSource *source, int tool, int32_t defaultValue) {
    if (IsXmlSource(source) && tool != TOOL_PROFILER) return 1;
    return BooleanOption(source, tool, defaultValue, "startAudit", "shouldStartAudit", kTool,
                         "startAudit");
}

int32_t GetAcceptConnections(const ConfigSource *source, int tool, int32_t defaultValue) {
    return BooleanOption(source, tool, defaultValue, "acceptConnections",
                         "shouldAcceptConnections", kTool, "acceptConnections");
}

int32_t GetDirectIMode(const ConfigSource *source, int tool, int32_t defaultValue) {
    return BooleanOption(source, tool, defaultValue, "directi", "useDirectI", kTool, "directI");
}

int32_t GetUseHighPrecisionTimer(const ConfigSource *source, int tool, int32_t defaultValue) {
    return BooleanOption(source, tool, defaultValue, "useHighPrecTimer", "useHighPrecisionTimer",
                         kTool, "useHighPrecisionTimer");
}

int32_t GetIgnoreCPUFrequency(const ConfigSource *source, int tool, int32_t defaultValue) {
    return BooleanOption(source, tool, defaultValue, "disableTSC", "disableTSC", kTool,
                         "ignoreCPUFrequency");
}

int32_t GetPauseAfterLaunch(const ConfigSource *source, int tool, int32_t defaultValue) {
    return BooleanOption(source, tool, defaultValue, "pause", "shouldPauseAfterLaunch", kTool,
                         "pauseAfterLaunch");
}

int32_t GetPauseOnExit(const ConfigSource *source, int tool, int32_t defaultValue) {
    return BooleanOption(source, tool, defaultValue, "noexit", "shouldSnapshotOnExit", kTool,
                         "pauseOnExit");
}

int32_t GetNjplSupport(const ConfigSource *source, int tool, int32_t defaultValue) {
    return BooleanOption(source, tool, defaultValue, "njpls", "NJPL support", kTool,
                         "njplSupport");
}

int32_t GetRedirectOutputs(const ConfigSource *source, int tool, int32_t defaultValue) {
    return BooleanOption(source, tool, defaultValue, "redirect", "redirect", kTool,
                         "redirectOutputs");
}

char *GetFilterPath(const ConfigSource *source, int tool, char *defaultValue) {
    if (IsArgumentSource(source)) {
        const SEElement *value = ArgumentValue(source, "filter");
        if (value == nullptr) return defaultValue;
        if (value->type != SE_STRING) {
            ReportRefusedValue("Invalid type for filter argument (%d)\n", value->type);
            return defaultValue;
        }
        return ArgumentString(source, "filter", defaultValue, true);
    }
    char *path = XmlString(source, kFilter, tool, "path", defaultValue, true);
    return path != defaultValue ? XmlPathBesideDocument(source, path) : path;
}

int32_t GetFilterReloadOnChange(const ConfigSource *source, int tool, int32_t defaultValue) {
    return BooleanOption(source, tool, defaultValue, nullptr, nullptr, kFilter, "reloadOnChange");
}

int32_t GetEnableAPI(const ConfigSource *source, int tool, int32_t defaultValue) {
    return ToolBoolean(source, tool, defaultValue, "enableAPI");
}

int32_t GetShowOptions(const ConfigSource *source, int tool, int32_t defaultValue) {
    return BooleanOption(source, tool, defaultValue, "log", "logEnabled", kTool, "showOptions");
}

int32_t GetAutoStartCPU(const ConfigSource *source, int tool, int32_t defaultValue) {
    return BooleanOption(source, tool, defaultValue, "startCPUProfiler", "startCPUProfiler",
                         kAutoStartCPU, "enabled");
}

int32_t GetAutoStartCPUType(const ConfigSource *source, int tool, int32_t defaultValue) {
    static const char *const kWords[] = {"sampler", "instrumentation"};
    static const int32_t kValues[] = {0, 1};
    if (!IsXmlSource(source)) return defaultValue;
    return XmlKeyword(source, kAutoStartCPU, tool, "type", kWords, kValues, 2, defaultValue);
}

int32_t GetAutoStartCPUTime(const ConfigSource *source, int tool, int32_t defaultValue) {
    static const char *const kWords[] = {"clock", "cpu"};
    static const int32_t kValues[] = {1, 2};
    if (!IsXmlSource(source)) return defaultValue;
    return XmlKeyword(source, kAutoStartCPU, tool, "time", kWords, kValues, 2, defaultValue);
}

int32_t GetSamplerPeriod(const ConfigSource *source, int tool, int32_t defaultValue) {
    return XmlOnlyInteger(source, tool, defaultValue, kSampler, "period", "sampler-options period",
                          1, INT32_MAX);
}

int32_t GetSamplerPrecision(const ConfigSource *source, int tool, int32_t defaultValue) {
    static const char *const kWords[] = {"line", "method"};
    static const int32_t kValues[] = {1, 2};
    if (!IsXmlSource(source)) return defaultValue;
    return XmlKeyword(source, kSampler, tool, "precision", kWords, kValues, 2, defaultValue);
}

int32_t GetInstrumentationPrecision(const ConfigSource *source, int tool, int32_t defaultValue) {
    static const char *const kWords[] = {"milli", "micro"};
    static const int32_t kValues[] = {0, 1};
    if (!IsXmlSource(source)) return defaultValue;
    return XmlKeyword(source, kInstrumentation, tool, "precision", kWords, kValues, 2,
                      defaultValue);
}

int32_t GetInstrumentationFilterEnabled(const ConfigSource *source, int tool,
                                        int32_t defaultValue) {
    return BooleanOption(source, tool, defaultValue, nullptr, nullptr, kInstrumentationFilter,
                         "enabled");
}

int32_t GetInstrumentationFilterLimit(const ConfigSource *source, int tool, int32_t defaultValue) {
    return XmlOnlyInteger(source, tool, defaultValue, kInstrumentationFilter, "limit",
                          "instrumentation-filter limit", 0, INT32_MAX);
}

int32_t GetSnapshotGeneration(const ConfigSource *source, int tool, int32_t defaultValue) {
    return BooleanOption(source, tool, defaultValue, nullptr, nullptr, kAutoCapture,
                         "snapshotGeneration");
}

int32_t GetXmlReportGeneration(const ConfigSource *source, int tool, int32_t defaultValue) {
    return BooleanOption(source, tool, defaultValue, nullptr, nullptr, kAutoCapture,
                         "xmlReportGeneration");
}

int32_t GetGenerateOnExit(const ConfigSource *source, int tool, int32_t defaultValue) {
    return BooleanOption(source, tool, defaultValue, nullptr, nullptr, kAutoCapture,
                         "generateOnExit");
}

int32_t GetCaptureDelay(const ConfigSource *source, int tool, int32_t defaultValue) {
    if (!IsXmlSource(source)) return defaultValue;
    return XmlTimeSpan(source, kAutoCapture, tool, "delay", "auto-capture delay", defaultValue);
}

int32_t GetInitialDelay(const ConfigSource *source, int tool, int32_t defaultValue) {
    if (!IsXmlSource(source)) return defaultValue;
    return XmlTimeSpan(source, kAutoCapture, tool, "initialDelay", "auto-capture initialDelay",
                       defaultValue);
}

int32_t GetComputeInitialDelayFromCurrentTime(const ConfigSource *source, int tool,
                                              int32_t defaultValue) {
    return BooleanOption(source, tool, defaultValue, nullptr, nullptr, kAutoCapture,
                         "computeInitialDelayFromCurrentTime");
}

int32_t GetCaptureCounter(const ConfigSource *source, int tool, int32_t defaultValue) {
    // -1: no limit on the number of snapshots.
    return XmlOnlyInteger(source, tool, defaultValue, kAutoCapture, "counter", "auto-capture counter",
                          -1, INT32_MAX);
}

int32_t GetResetMark(const ConfigSource *source, int tool, int32_t defaultValue) {
    return BooleanOption(source, tool, defaultValue, nullptr, nullptr, kAutoCapture, "resetMark");
}

char *GetCaptureFileDirectory(const ConfigSource *source, int tool, char *defaultValue) {
    if (!IsXmlSource(source)) return defaultValue;
    if (char *text = XmlAttribute(source, kAutoCapture, tool, "fileDirectory")) return text;
    return XmlString(source, kRepository, tool, "name", defaultValue, false);
}

char *GetCaptureFileNameFormat(const ConfigSource *source, int tool, char *defaultValue) {
    if (!IsXmlSource(source)) return defaultValue;
    if (char *text = XmlAttribute(source, kAutoCapture, tool, "fileNameFormat")) return text;
    return XmlString(source, kToolRepository, tool, "fileNameFormat", defaultValue, false);
}

int32_t GetIncludeCPUInformation(const ConfigSource *source, int tool, int32_t defaultValue) {
    return BooleanOption(source, tool, defaultValue, nullptr, nullptr, kCPUInformation,
                         "included");
}

int32_t GetIncludeMetricsInformation(const ConfigSource *source, int tool, int32_t defaultValue) {
    return BooleanOption(source, tool, defaultValue, nullptr, nullptr, kMetricsInformation,
                         "included");
}

char *GetCaptureComment(const ConfigSource *source, int tool, char *defaultValue) {
    auto node = static_cast<xmlNodePtr>(
        IsXmlSource(source) ? FindToolNode(source, kComment, tool) : nullptr);
    if (node == nullptr) return defaultValue;
    xmlChar *content = xmlNodeGetContent(node);
    if (content == nullptr) return defaultValue;
    char *copy = sStrdup(reinterpret_cast<const char *>(content));
    xmlFree(content);
    return copy;
}

char *GetVmName(const ConfigSource *source, int tool, char *defaultValue) {
    return StringOption(source, tool, defaultValue, "vmName", kConnection, "vmName");
}

char *GetSnmpConfPath(const ConfigSource *source, int tool, char *defaultValue) {
    return StringOption(source, tool, defaultValue, nullptr, kSnmp, "confPath");
}

int32_t GetSnmpAgentPort(const ConfigSource *source, int tool, int32_t defaultValue) {
    if (IsArgumentSource(source)) return ArgumentPortNumber(source, "SNMPAgentPort", defaultValue);
    return IsXmlSource(source) ? XmlSnmpPort(source, tool, defaultValue, "agentPort")
                               : defaultValue;
}

int32_t GetSnmpTrapPort(const ConfigSource *source, int tool, int32_t defaultValue) {
    if (IsArgumentSource(source)) return ArgumentPortNumber(source, "SNMPTrapPort", defaultValue);
    return IsXmlSource(source) ? XmlSnmpPort(source, tool, defaultValue, "trapPort")
                               : defaultValue;
}

char *GetActionFilename(const ConfigSource *source, int tool, char *defaultValue) {
    return StringOption(source, tool, defaultValue, "actionFilename", kRemoteManagement,
                        "actionFilename");
}

char *GetSnapshotRepository(const ConfigSource *source, int tool, char *defaultValue) {
    if (IsArgumentSource(source))
        return ArgumentString(source, "snapshotRepository", defaultValue, true);
    return XmlString(source, kRepository, tool, "name", defaultValue, true);
}

char *GetLogFile(const ConfigSource *source, int tool, char *defaultValue) {
    return StringOption(source, tool, defaultValue, "logFile", kLogFile, "name");
}

int32_t GetLogEnabled(const ConfigSource *source, int tool, int32_t defaultValue) {
    return BooleanOption(source, tool, defaultValue, "enableLogging", "enableLogging", kLogFile,
                         "enabled");
}

int32_t GetLogSeverity(const ConfigSource *source, int tool, int32_t defaultValue) {
    if (IsArgumentSource(source)) {
        const SEElement *value = ArgumentValue(source, "loggingSeverity");
        if (value == nullptr) return defaultValue;
        return value->type == SE_STRING ? SeverityOfText(SEGetString(value), false) : LOG_DEBUG;
    }
    if (!IsXmlSource(source)) return defaultValue;
    // In the file an absent severity means DEBUG, like an unknown word.
    char *text = XmlAttribute(source, kLogFile, tool, "severity");
    int32_t severity = text ? SeverityOfText(text, true) : LOG_DEBUG;
    sFree(text);
    return severity;
}

SEElement *GetExtensionExclusion(const ConfigSource *source, int tool, SEElement *defaultValue) {
    SEElement *map = nullptr;
    if (IsArgumentSource(source)) map = ArgumentExtensionExclusion(source);
    else if (IsXmlSource(source)) map = XmlExtensionExclusion(source, tool);
    return map ? map : defaultValue;
}

SEElement *GetExtensionArgs(const ConfigSource *source, int tool, SEElement *defaultValue) {
    SEElement *map = nullptr;
    if (IsArgumentSource(source)) map = ArgumentExtensionArgs(source);
    else if (IsXmlSource(source)) map = XmlExtensionArgs(source, tool);
    return map ? map : defaultValue;
}

int32_t GetHibernate(const ConfigSource *source, int tool, int32_t defaultValue) {
    return ToolBoolean(source, tool, defaultValue, "hibernate");
}

int32_t GetPRIHibernateEnabled(const ConfigSource *source, int tool, int32_t defaultValue) {
    return ToolBoolean(source, tool, defaultValue, "PRIHibernateEnabled");
}

int32_t GetPRIInstrumentLines(const ConfigSource *source, int tool, int32_t defaultValue) {
    return ToolBoolean(source, tool, defaultValue, "PRIInstrumentLines");
}

int32_t GetPRIDebugInstrumentation(const ConfigSource *source, int tool, int32_t defaultValue) {
    return ToolBoolean(source, tool, defaultValue, "PRIDebugInstrumentation");
}

char *GetPRIDebugClassInstrumentation(const ConfigSource *source, int tool, char *defaultValue) {
    return StringOption(source, tool, defaultValue, "PRIDebugClassInstrumentation", kTool,
                        "PRIDebugClassInstrumentation");
}

char *GetPRIDebugMethodInstrumentation(const ConfigSource *source, int tool, char *defaultValue) {
    return StringOption(source, tool, defaultValue, "PRIDebugMethodInstrumentation", kTool,
                        "PRIDebugMethodInstrumentation");
}

int32_t GetReportFlag(const ConfigSource *source, int tool, const char *name,
                      int32_t defaultValue) {
    return ToolBoolean(source, tool, defaultValue, name);
}

int32_t GetMetricsEnabled(const ConfigSource *source, int tool, int32_t defaultValue) {
    return BooleanOption(source, tool, defaultValue, nullptr, nullptr, kMetrics, "enabled");
}

int32_t GetDumpClassInstrumentation(const ConfigSource *source, int tool, int32_t defaultValue) {
    return BooleanOption(source, tool, defaultValue, "dci", "shouldDumpClassInstrumentation",
                         kTool, "dci");
}

char *GetInstallPathOption(const ConfigSource *source, int tool, char *defaultValue) {
    return StringOption(source, tool, defaultValue, nullptr, kTool, "installPath");
}
