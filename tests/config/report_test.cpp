// The options report: its exact text with and without auto capture.
#include <gtest/gtest.h>

#include <string>

#include "capture.h"
#include "config/config.h"
#include "config_test_util.h"
#include "support/heap.h"

namespace {

const std::string kStars = "**************************************************\n";

std::string Report() {
    return StderrOf([&] { PrintOptionsReport(); });
}

TEST(OptionsReport, DefaultsWithoutAutoCapture) {
    LoadResult r = LoadCaptured("log=true,port=1600,filter=C:\\\\dir\\\\f.oif,pause=true");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "No XML configuration specified, using old style parameters...\n" + kStars +
                         "Zentrova Request Analyzer enabled\n"
                         "Using filter file 'C:\\dir\\f.oif'\n"
                         "Port 1600\n"
                         "Start audit system enabled\n"
                         "Pause after launch enabled\n"
                         "Pause on exit disabled\n"
                         "Auto-start CPU profiler disabled\n"
                         "Audit API disabled\n"
                         "Non Java Programming language support enabled\n"
                         "Auto Capture mode disabled\n"
                         " - Unit Test mode disabled\n" +
                         kStars);
    // The stored path keeps its doubled backslashes; only the report collapses them.
    EXPECT_STREQ(CurrentOptions().filterPath, "C:\\\\dir\\\\f.oif");
}

TEST(OptionsReport, AutoCaptureLines) {
    FreeAgentOptions(InstallAgentOptions(NewAgentOptions()));
    AgentOptions &o = CurrentOptions();
    o.xmlReportGeneration = 1;
    o.initialDelay = 90061;
    o.captureDelay = 3661;
    o.captureCounter = 0;
    o.generateOnExit = 1;
    o.captureFileDirectory = sStrdup("/snap");
    o.captureFileNameFormat = sStrdup("f-%d");
    o.includeMetricsInformation = 0;
    o.captureComment = sStrdup("hello");
    o.unitTestMode = 1;
    EXPECT_EQ(Report(), kStars +
                            "Zentrova Request Analyzer enabled\n"
                            "Port 1473\n"
                            "Start audit system enabled\n"
                            "Pause after launch disabled\n"
                            "Pause on exit disabled\n"
                            "Auto-start CPU profiler disabled\n"
                            "Audit API disabled\n"
                            "Non Java Programming language support enabled\n"
                            "Auto Capture mode enabled:\n"
                            " - snapshot generation disabled\n"
                            " - XML report generation enabled\n"
                            " - initial delay before first capture: 1 day 1 hour 1 minute 1 second\n"
                            " - delay between captures: 1 hour 1 minute 1 second\n"
                            " - 0 snapshots will be generated\n"
                            " - a snapshot will be generated when the virtual machine exits\n"
                            " - the information will be cleared between captures\n"
                            " - the capture files will be generated in:\n '/snap'\n"
                            " - the capture files name will use the format:\n 'f-%d'\n"
                            " - the capture files will include the CPU profiler information\n"
                            " - the capture files will not include the metrics information\n"
                            " - the capture files comment is 'hello'\n"
                            " - Unit Test mode enabled\n" +
                            kStars);
    FreeAgentOptions(InstallAgentOptions(NewAgentOptions()));
}

TEST(OptionsReport, AutoCaptureWithoutCountOrTexts) {
    FreeAgentOptions(InstallAgentOptions(NewAgentOptions()));
    AgentOptions &o = CurrentOptions();
    o.snapshotGeneration = 1;
    o.computeInitialDelayFromCurrentTime = 1;
    o.captureDelay = 0;  // below one second: no time-span text
    o.resetMark = 0;
    std::string report = Report();
    EXPECT_NE(report.find(" - initial delay computed from current time\n"
                          " - delay between captures: \n"
                          " - no snapshot will be generated when the virtual machine exits\n"
                          " - the information will not be cleared between captures\n"
                          " - the capture files will be generated in:\n ''\n"
                          " - the capture files name will use the format:\n ''\n"),
              std::string::npos)
        << report;
    EXPECT_EQ(report.find("snapshots will be generated"), std::string::npos);
    EXPECT_EQ(report.find("comment"), std::string::npos);
}

}  // namespace
