// The XML configuration file: loading, fallbacks, values that do not parse,
// components, and metric settings with their messages.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <tuple>

#include "config/config.h"
#include "config_test_util.h"

namespace {

// Every element and attribute the reader maps, with values to recognise.
const std::string kExample = std::string(ZV_SOURCE_DIR) + "/tests/config/every_element.xml";

// A configuration whose `tool` element holds `body`, with `shared` settings beside it.
std::string Document(const std::string &body, const std::string &tool = "request-analyzer",
                     const std::string &shared = "") {
    return "<?xml version=\"1.0\"?>\n<zentrova-configuration>" + shared + "<" + tool + ">" + body +
           "</" + tool + "></zentrova-configuration>\n";
}

// The metric settings as "name type size period;" each.
std::string Settings(ZVVector *settings) {
    std::string text;
    for (int i = 0; settings != nullptr && i < ZVVectorSize(settings); ++i) {
        auto *s = reinterpret_cast<ZVMetricSetting *>(ZVElementAt(settings, i));
        text += std::string(s->name) + " " + std::to_string(s->bufferSizeType) + " " + std::to_string(s->bufferSize) +
                " " + std::to_string(s->period) + ";";
    }
    return text;
}

TEST(XmlConfiguration, ExampleFileSetsSharedArgumentsComponentsAndMetrics) {
    LoadResult r = LoadCaptured(kExample.c_str());
    const OptionsInUse o;
    EXPECT_NE(r.err.find("Reading configuration from file " + kExample + "\n"), std::string::npos);
    EXPECT_NE(r.err.find("Zentrova Request Analyzer enabled\n"), std::string::npos);
    // (The example's ports and VM name reach a real VM end to end.)
    EXPECT_STREQ(o->captureFileDirectory, "/var/tmp/zentrova/snapshots") << "falls back to the repository";
    EXPECT_EQ(o->captureDelay, 3661);
    EXPECT_EQ(r.directIMode, 2);

    EXPECT_EQ(Tree(r.arguments), "{__shared={hibernate=#0;reportErrors=#1;reportWarnings=#0;};"
                                 "ejb={configFile=/etc/zentrova/ejb.xml;maxBeans=50;reloadOnChange=#1;};"
                                 "profiler={errSize=200;nonSer=skip;};wsvc={level=2;};}");
    EXPECT_EQ(Tree(r.exclusion), "{jcci=#0;remote=#0;vm-stitching=#0;}");
    EXPECT_EQ(Settings(o->metricsConfiguration), "Java Heap 2 1048576 2;Thread Count 1 3600 5;");
}

// The port range in the file has only a begin: that port is both ends, and
// the single port beside it is not used.
TEST(XmlConfiguration, PathsInQuotesAndThroughTheXmlConfigKey) {
    ScratchDirectory dir;
    std::string file = dir.Write("cfg.xml", Document(
        "<connection><audit-port><port-range begin=\"1700\"/><port number=\"1\"/></audit-port></connection>"));
    LoadCaptured(("\"" + file + "\"").c_str());
    EXPECT_EQ(CurrentOptions().auditPort, 1700);
    EXPECT_EQ(CurrentOptions().auditPortEnd, 1700);
    LoadCaptured(("xmlConfig=" + file).c_str());
    EXPECT_EQ(CurrentOptions().auditPort, 1700);
    // A path with '=' in it is still a path when the file exists.
    std::string equals = dir.Write("port=1/cfg.xml", Document(
        "<connection><audit-port><port number=\"1800\"/></audit-port></connection>"));
    for (const std::string &path : {equals, "\"" + equals + "\""}) {
        EXPECT_TRUE(LoadCaptured(path.c_str()).accepted) << path;
        EXPECT_EQ(CurrentOptions().auditPort, 1800) << path;
    }
}

TEST(XmlConfiguration, MissingOrBrokenFilesLeaveTheDefaults) {
    ScratchDirectory dir;
    std::string missing = dir.path() + "/none.xml";
    LoadResult r = LoadCaptured(missing.c_str());
    EXPECT_EQ(r.err, "Zentrova Error: configuration file " + missing + " not found\n");
    EXPECT_FALSE(r.accepted);
    EXPECT_EQ(CurrentOptions().auditPort, 1473);
    EXPECT_NE(SEMapGet(r.arguments, "__shared"), nullptr);

    // A directory is not a configuration file.
    r = LoadCaptured(dir.path().c_str());
    EXPECT_NE(r.err.find("not found"), std::string::npos);

    for (const char *text : {"<zentrova-configuration><request-analyzer showOptions=\"true\">",
                             "", "not xml at all", "<a/><b/>", "\xff\xfe<x/>"}) {
        std::string broken = dir.Write("broken.xml", text);
        r = LoadCaptured(broken.c_str());
        EXPECT_FALSE(r.accepted) << text;
        EXPECT_EQ(CurrentOptions().showOptions, 0);
        EXPECT_EQ(CurrentOptions().auditPort, 1473);
    }
}

TEST(XmlConfiguration, StartAuditAndOtherToolsOptionsAreReadOnlyForTheirTool) {
    ScratchDirectory dir;
    std::string file = dir.Write("a.xml",
        "<zentrova-configuration><request-analyzer startAudit=\"false\" acceptConnections=\"false\"/>"
        "<profiler startAudit=\"false\"/></zentrova-configuration>");
    LoadCaptured(file.c_str());
    EXPECT_EQ(CurrentOptions().startAudit, 1);
    EXPECT_EQ(CurrentOptions().acceptConnections, 0);
    ConfigSource *source = LoadXMLConfiguration(file.c_str(), 0);
    ASSERT_NE(source, nullptr);
    EXPECT_EQ(GetStartAudit(source, TOOL_PROFILER, 1), 0);
    EXPECT_EQ(GetStartAudit(source, TOOL_SERVER_TRACE, 0), 1);
    FreeConfigSource(source);
    // Other tools' options are not read for the agent.
    file = dir.Write("t.xml", Document(
        "<connection><audit-port><port number=\"1600\"/></audit-port></connection>", "profiler"));
    LoadCaptured(file.c_str());
    EXPECT_EQ(CurrentOptions().auditPort, 1473);
    source = LoadXMLConfiguration(file.c_str(), 0);
    EXPECT_EQ(GetAuditPort(source, TOOL_PROFILER, 0), 1600);
    FreeConfigSource(source);
}

// Bad values and documents: the exact message, and what the agent does next.
// Every refusal keeps that option's default and fails the load.
TEST(XmlConfiguration, BadInputTable) {
    ScratchDirectory dir;
    const std::string kPort = "' (expected a whole number from 1 to 65535)\n";
    const std::string kSpan = "' (expected a time span such as 90s or 1h30m)\n";
    const OptionsInUse o;
    // The document, its messages after the reading notice (%s is the file),
    // and what follows. Empty
    // texts and unknown keywords keep their defaults without a word.
    const std::tuple<std::string, std::string, std::function<bool()>> rows[] = {
        {Document("<connection><audit-port><port-range begin=\"abc\" end=\"70000\"/></audit-port>"
                             "<snmp agentPort=\"\" trapPort=\"12x\"/></connection>"),
         "Invalid value for port-range begin: 'abc" + kPort + "Invalid value for port-range end: '70000" + kPort +
             "Invalid value for snmp trapPort: '12x" + kPort,
         [&] {
             return o->auditPort == 1473 && o->auditPortEnd == 1473 && o->snmpAgentPort == 161 &&
                    o->snmpTrapPort == 162;
         }},
        {Document("<auto-start-CPU type=\"SAMPLER\" time=\"wall\"><sampler-options period=\"abc\" "
                             "precision=\"word\"/><instrumentation-options precision=\"MICRO\"><instrumentation-filter "
                             "limit=\"99999999999\"/></instrumentation-options></auto-start-CPU>"),
         "Invalid value for sampler-options period: 'abc' (expected a whole number from 1 to 2147483647)\n"
         "Invalid value for instrumentation-filter limit: '99999999999' (expected a whole number from 0 to 2147483647)\n",
         [&] {
             return o->samplerPeriod == 50 && o->samplerPrecision == 2 && o->autoStartCPUType == 0 &&
                    o->autoStartCPUTime == 1 && o->instrumentationFilterLimit == 100 &&
                    o->instrumentationPrecision == 1;
         }},
        {Document("<auto-capture delay=\"30s10\" initialDelay=\"1h2h\" counter=\"0\"/>"),
         "Invalid value for auto-capture delay: '30s10" + kSpan + "Invalid value for auto-capture initialDelay: '1h2h" + kSpan,
         [&] { return o->captureDelay == 10 && o->initialDelay == 10 && o->captureCounter == 0; }},
        // A metric without a name, or disabled, is skipped; a bad value is absent. A's size
        // is not a time: it is read as a memory size.
        {Document("<metrics enabled=\"false\"><metric bufferSize=\"1\"/><metric name=\"A\" "
                             "bufferSizeType=\"Time\" bufferSize=\"2K\" period=\"5x\"/><metric name=\"B\" "
                             "enabled=\"FALSE\"/><other name=\"C\"/><metric name=\"D\" bufferSize=\"9q\"/></metrics>"),
         "%s: error, invalid metric with no name (ignored)\n%s: warning, unknown buffer type 'Time' (ignored)\n"
         "Invalid value for metric A period: '5x" + kSpan +
             "Invalid value for metric D bufferSize: '9q' (expected a memory size such as 512k or 2M)\n",
         [&] {
             return o->metricsEnabled == 0 &&
                    Settings(o->metricsConfiguration) == "A 0 2048 -1;D -1 -1 -1;";
         }},
        {"<config><request-analyzer showOptions=\"true\"/></config>",
         "Zentrova Error: configuration file %s has the root element <config>, not <zentrova-configuration>; none of "
         "its options is used\n",
         [&] { return o->showOptions == 0; }},
        {Document("<connection><audit-port><port number=\"1600\"/></audit-port></connection>", "profiler",
                  "<log-file severity=\"warning\"/>"),
         "Zentrova Error: configuration file %s has no <request-analyzer> element under <zentrova-configuration>; "
         "only its shared options are used\n",
         [&] { return o->auditPort == 1473 && o->logSeverity == 2; }},
    };
    for (const auto &[document, messages, happened] : rows) {
        std::string file = dir.Write("v.xml", document);
        LoadResult r = LoadCaptured(file.c_str());
        std::string err = "Reading configuration from file %s\n" + messages;
        for (size_t at; (at = err.find("%s")) != std::string::npos;) err.replace(at, 2, file);
        EXPECT_EQ(r.err, err) << document;
        EXPECT_FALSE(r.accepted) << document;
        EXPECT_TRUE(happened()) << document;
    }

    // With millisecond precision a large limit saturates instead of overflowing.
    std::string file = dir.Write("w.xml", Document(
        "<auto-start-CPU><instrumentation-options><instrumentation-filter limit=\"5000000\"/>"
        "</instrumentation-options></auto-start-CPU>"));
    LoadCaptured(file.c_str());
    EXPECT_EQ(CurrentOptions().instrumentationFilterLimit, INT32_MAX);
}

// An empty repository name: no capture directory. Disabled components are
// excluded under the names their extensions go by.
TEST(XmlConfiguration, CaptureFileFallbacksAndComponentExclusions) {
    ScratchDirectory dir;
    std::string file = dir.Write("c.xml", Document(
        "<auto-capture/><snapshot-repository fileNameFormat=\"fmt\"/>"
        "<components><cci enabled=\"false\"/><error enabled=\"no\"/><web-services enabled=\"False\"/>"
        "<ejb enabled=\"TRUE\"><ejb-configuration path=\"e.xml\" reloadOnChange=\"True\"/></ejb>"
        "<vm-stitching enabled=\"FALSE\"/></components>", "request-analyzer", "<snapshot-repository name=\"\"/>"));
    LoadResult r = LoadCaptured(file.c_str());
    EXPECT_EQ(CurrentOptions().snapshotRepository, nullptr);
    EXPECT_STREQ(CurrentOptions().captureFileDirectory, "");
    EXPECT_STREQ(CurrentOptions().captureFileNameFormat, "fmt");
    EXPECT_EQ(CurrentOptions().captureComment, nullptr);
    EXPECT_EQ(Tree(r.exclusion), "{j2error=#0;jcci=#0;vm-stitching=#0;wsvc=#0;}");
    EXPECT_EQ(Tree(SEMapGet(r.arguments, "ejb")), "{configFile=e.xml;}");
}

TEST(XmlConfiguration, InstallPathIsRecordedForValidDirectories) {
    ScratchDirectory dir;
    dir.Write("suite/lib/zenva.jar", "jar");
    std::string suite = dir.path() + "/suite";
    std::string file = dir.Write("i.xml",
        "<zentrova-configuration><request-analyzer installPath=\"" + suite + "\"/>"
        "<profiler installPath=\"" + dir.path() + "\"/></zentrova-configuration>");
    LoadCaptured(file.c_str());
    EXPECT_STREQ(GetInstallPath(TOOL_REQUEST_ANALYZER), suite.c_str());
    EXPECT_STRNE(GetInstallPath(TOOL_PROFILER), dir.path().c_str()) << "no lib/zenva.jar there: not recorded";
    delete UseInstallPaths(new InstallPaths());
}

}  // namespace
