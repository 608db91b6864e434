// The options report printed at start-up when showOptions is set.
#include <cstdio>
#include <string>

#include "config/config.h"
#include "support/heap.h"
#include "support/text.h"

namespace {

const char *OnOff(int32_t value) { return value ? "enabled" : "disabled"; }
const char *NotUnless(int32_t value) { return value ? "" : "not "; }
const char *OrEmpty(const char *text) { return text ? text : ""; }

// Paths arrive with their backslashes doubled by the argument escapes.
std::string CollapseDoubledBackslashes(const char *path) {
    std::string collapsed;
    for (const char *p = path; *p; p++) {
        collapsed += *p;
        if (p[0] == '\\' && p[1] == '\\') p++;
    }
    return collapsed;
}

// A span below one second has no text; the line then ends after its colon.
void PrintTimeSpanLine(FILE *out, const char *format, int32_t seconds) {
    char *text = FormatTimeSpan(seconds);
    fprintf(out, format, OrEmpty(text));
    sFree(text);
}

void PrintAutoCapture(FILE *out, const AgentOptions &o) {
    if (!o.snapshotGeneration && !o.xmlReportGeneration) {
        fprintf(out, "Auto Capture mode disabled\n");
        return;
    }
    fprintf(out, "Auto Capture mode enabled:\n");
    fprintf(out, " - snapshot generation %s\n", OnOff(o.snapshotGeneration));
    fprintf(out, " - XML report generation %s\n", OnOff(o.xmlReportGeneration));
    if (o.computeInitialDelayFromCurrentTime)
        fprintf(out, " - initial delay computed from current time\n");
    else
        PrintTimeSpanLine(out, " - initial delay before first capture: %s\n", o.initialDelay);
    PrintTimeSpanLine(out, " - delay between captures: %s\n", o.captureDelay);
    if (o.captureCounter != -1) fprintf(out, " - %d snapshots will be generated\n", o.captureCounter);
    fprintf(out, " - %s snapshot will be generated when the virtual machine exits\n",
            o.generateOnExit ? "a" : "no");
    fprintf(out, " - the information will %sbe cleared between captures\n", NotUnless(o.resetMark));
    fprintf(out, " - the capture files will be generated in:\n '%s'\n", OrEmpty(o.captureFileDirectory));
    fprintf(out, " - the capture files name will use the format:\n '%s'\n",
            OrEmpty(o.captureFileNameFormat));
    fprintf(out, " - the capture files will %sinclude the CPU profiler information\n",
            NotUnless(o.includeCPUInformation));
    fprintf(out, " - the capture files will %sinclude the metrics information\n",
            NotUnless(o.includeMetricsInformation));
    if (o.captureComment) fprintf(out, " - the capture files comment is '%s'\n", o.captureComment);
}

}  // namespace

void PrintOptionsReport() {
    const AgentOptions &o = CurrentOptions();
    FILE *out = stderr;
    const char *stars = "**************************************************\n";
    fprintf(out, "%s", stars);
    fprintf(out, "Zentrova Request Analyzer enabled\n");
    if (o.filterPath)
        fprintf(out, "Using filter file '%s'\n", CollapseDoubledBackslashes(o.filterPath).c_str());
    fprintf(out, "Port %d\n", o.auditPort);
    fprintf(out, "Start audit system %s\n", OnOff(o.startAudit));
    fprintf(out, "Pause after launch %s\n", OnOff(o.pauseAfterLaunch));
    fprintf(out, "Pause on exit %s\n", OnOff(o.pauseOnExit));
    fprintf(out, "Auto-start CPU profiler %s\n", OnOff(o.autoStartCPU));
    fprintf(out, "Audit API %s\n", OnOff(o.enableAPI));
    fprintf(out, "Non Java Programming language support %s\n", OnOff(o.njplSupport));
    PrintAutoCapture(out, o);
    fprintf(out, " - Unit Test mode %s\n", OnOff(o.unitTestMode));
    fprintf(out, "%s", stars);
    // Java writes to the same descriptor through its own buffers: flush so
    // that the report stands before anything the program prints.
    fflush(out);
}
