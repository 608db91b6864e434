// zvtool options: the option values that an option string (old-style
// arguments or an XML file path) gives, one field a line, as the agent would
// read them at start-up (the report is printed when the string asks for it).
// Exits 1 when an option was refused; the values are printed all the same.
#include <cstdio>

#include "commands.h"
#include "config/config.h"
#include "support/heap.h"

namespace {

void Number(const char *name, long value) { printf("%s = %ld\n", name, value); }
void Text(const char *name, const char *value) {
    if (value) printf("%s = \"%s\"\n", name, value);
    else printf("%s = null\n", name);
}
void Tree(const char *name, const SEElement *value) {
    char *text = SEWrite(value);
    printf("%s = %s\n", name, text ? text : "null");
    sFree(text);
}

void PrintMetrics(const ZVVector *settings) {
    if (settings == nullptr) {
        printf("metricsConfiguration = null\n");
        return;
    }
    printf("metricsConfiguration = %d settings\n", ZVVectorSize(settings));
    for (int i = 0; i < ZVVectorSize(settings); i++) {
        auto *s = reinterpret_cast<const ZVMetricSetting *>(ZVElementAt(settings, i));
        printf("  metric \"%s\" bufferSizeType %d bufferSize %d period %d\n", s->name,
               s->bufferSizeType, s->bufferSize, s->period);
    }
}

}  // namespace

int OptionsCommand(int argc, char **argv) {
    if (argc != 1) return kUsageError;
    SEElement *exclusion = nullptr, *arguments = nullptr;
    int32_t directIMode = 1, useHighPrecisionTimer = 1, ignoreCPUFrequency = 0;
    bool accepted = LoadOptions(argv[0], &exclusion, &arguments, &directIMode,
                                &useHighPrecisionTimer, &ignoreCPUFrequency);
    fflush(stderr);
    const AgentOptions &o = CurrentOptions();
    Number("auditPort", o.auditPort);
    Number("auditPortEnd", o.auditPortEnd);
    Number("startAudit", o.startAudit);
    Number("acceptConnections", o.acceptConnections);
    Number("directIMode", o.directIMode);
    Number("useHighPrecisionTimer", o.useHighPrecisionTimer);
    Number("ignoreCPUFrequency", o.ignoreCPUFrequency);
    Number("pauseAfterLaunch", o.pauseAfterLaunch);
    Number("pauseOnExit", o.pauseOnExit);
    Number("njplSupport", o.njplSupport);
    Number("redirectOutputs", o.redirectOutputs);
    Text("filterPath", o.filterPath);
    Number("filterReloadOnChange", o.filterReloadOnChange);
    Number("enableAPI", o.enableAPI);
    Number("showOptions", o.showOptions);
    Number("autoStartCPU", o.autoStartCPU);
    Number("autoStartCPUType", o.autoStartCPUType);
    Number("autoStartCPUTime", o.autoStartCPUTime);
    Number("samplerPeriod", o.samplerPeriod);
    Number("samplerPrecision", o.samplerPrecision);
    Number("instrumentationPrecision", o.instrumentationPrecision);
    Number("instrumentationFilterEnabled", o.instrumentationFilterEnabled);
    Number("instrumentationFilterLimit", o.instrumentationFilterLimit);
    Number("snapshotGeneration", o.snapshotGeneration);
    Number("xmlReportGeneration", o.xmlReportGeneration);
    Number("generateOnExit", o.generateOnExit);
    Number("captureDelay", o.captureDelay);
    Number("initialDelay", o.initialDelay);
    Number("computeInitialDelayFromCurrentTime", o.computeInitialDelayFromCurrentTime);
    Number("captureCounter", o.captureCounter);
    Number("resetMark", o.resetMark);
    Text("captureFileDirectory", o.captureFileDirectory);
    Text("captureFileNameFormat", o.captureFileNameFormat);
    Number("includeCPUInformation", o.includeCPUInformation);
    Number("includeMetricsInformation", o.includeMetricsInformation);
    Text("captureComment", o.captureComment);
    Text("vmName", o.vmName);
    Text("snmpConfPath", o.snmpConfPath);
    Number("snmpAgentPort", o.snmpAgentPort);
    Number("snmpTrapPort", o.snmpTrapPort);
    Text("actionFilename", o.actionFilename);
    Text("snapshotRepository", o.snapshotRepository);
    Text("logFile", o.logFile);
    Number("logEnabled", o.logEnabled);
    Number("logSeverity", o.logSeverity);
    Tree("extensionExclusion", o.extensionExclusion);
    Tree("extensionArgs", o.extensionArgs);
    Number("hibernate", o.hibernate);
    Number("PRIHibernateEnabled", o.PRIHibernateEnabled);
    Number("PRIInstrumentLines", o.PRIInstrumentLines);
    Number("PRIDebugInstrumentation", o.PRIDebugInstrumentation);
    Text("PRIDebugClassInstrumentation", o.PRIDebugClassInstrumentation);
    Text("PRIDebugMethodInstrumentation", o.PRIDebugMethodInstrumentation);
    PrintMetrics(o.metricsConfiguration);
    Number("metricsEnabled", o.metricsEnabled);
    Number("dumpClassInstrumentation", o.dumpClassInstrumentation);
    FreeAgentOptions(InstallAgentOptions(NewAgentOptions()));
    return accepted ? 0 : 1;
}
