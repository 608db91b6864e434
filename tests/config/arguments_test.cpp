// Old-style argument strings: each option's key, value types and messages,
// the extension keys, and the shared extension defaults.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "config/config.h"
#include "config_test_util.h"

namespace {

const char *kNotice = "No XML configuration specified, using old style parameters...\n";

std::string MapName(const SEElement *map) {
    return map && map->type == SE_MAP ? reinterpret_cast<ZVHashTable *>(map->value)->name : "<none>";
}

int MapCount(const SEElement *map) {
    return map && map->type == SE_MAP ? reinterpret_cast<ZVHashTable *>(map->value)->count : -1;
}

// Defaults are checked where a bad value must keep them; here only the
// silence and the shared map the extensions always get.
TEST(Arguments, NoOptionsGiveTheDefaultsSilently) {
    LoadResult r = LoadCaptured(nullptr);
    const AgentOptions &o = gAgentOptions;
    EXPECT_TRUE(r.accepted);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(o.instrumentationFilterLimit, 100000);  // milliseconds counted in microseconds
    EXPECT_EQ(r.exclusion, nullptr);
    // Even without a source the extensions get the shared defaults map.
    ASSERT_EQ(r.arguments, o.extensionArgs);
    EXPECT_EQ(MapName(r.arguments), "extension args");
    EXPECT_EQ(MapName(SEMapGet(r.arguments, "__shared")), "global extension arg defaults");
    EXPECT_EQ(MapCount(SEMapGet(r.arguments, "__shared")), 0);
}

TEST(Arguments, PortRangesAndRefusedPorts) {
    // One port is both ends; a range must not end before it begins: an open or
    // backwards end is the begin. A bad half keeps its default, says so, and
    // fails the load. Unknown keys only give the notice.
    const char *kRange = "' (expected a whole number from 1 to 65535)\n";
    const std::tuple<const char *, int32_t, int32_t, std::string> cases[] = {
        {"bogus=1,port=1500", 1500, 1500, ""},
        {"port=1500-1510", 1500, 1510, ""},
        {"port=1510-1500", 1510, 1510, ""},
        {"port=1500-", 1500, 1500, ""},
        {"port=65535", 65535, 65535, ""},
        {"port=abc", 1473, 1473, "Invalid value for port: 'abc" + std::string(kRange)},
        {"port=70000", 1473, 1473, "Invalid value for port: '70000" + std::string(kRange)},
        {"port=0", 1473, 1473, "Invalid value for port: '0" + std::string(kRange)},
        {"port=99999999999-1", 1473, 1473, "Invalid value for port: '99999999999-1" + std::string(kRange)},
        {"port=1500-x", 1500, 1500, "Invalid value for port: '1500-x" + std::string(kRange)},
        {"port=(1500,1510)", 1473, 1473, "Invalid type for port (4)\n"}};
    for (const auto &[options, begin, end, message] : cases) {
        LoadResult r = LoadCaptured(options);
        EXPECT_EQ(gAgentOptions.auditPort, begin) << options;
        EXPECT_EQ(gAgentOptions.auditPortEnd, end) << options;
        EXPECT_EQ(r.err, kNotice + message) << options;
        EXPECT_EQ(r.out, "") << options;
        EXPECT_EQ(r.accepted, message.empty()) << options;
    }
}

TEST(Arguments, BooleanSpellingsAndWrongTypes) {
    for (const char *yes : {"pause=true", "pause=T", "pause=1", "pause=t", "pause=TRUE"}) {
        LoadCaptured(yes);
        EXPECT_EQ(gAgentOptions.pauseAfterLaunch, 1) << yes;
    }
    for (const char *no : {"pause=yes", "pause=false", "pause=0", "pause=\"\"", "pause=F"}) {
        LoadCaptured(no);
        EXPECT_EQ(gAgentOptions.pauseAfterLaunch, 0) << no;
    }
    LoadCaptured("njpls=false,startAudit=f,acceptConnections=0,noexit=true,redirect=1,"
                 "enableAPI=t,startCPUProfiler=T,dci=true,enableLogging=true");
    const AgentOptions &o = gAgentOptions;
    const int32_t set[][2] = {{o.njplSupport, 0}, {o.startAudit, 0}, {o.acceptConnections, 0},
                              {o.pauseOnExit, 1}, {o.redirectOutputs, 1}, {o.enableAPI, 1},
                              {o.autoStartCPU, 1}, {o.dumpClassInstrumentation, 1}, {o.logEnabled, 1}};
    for (size_t i = 0; i < std::size(set); ++i) EXPECT_EQ(set[i][0], set[i][1]) << "option " << i;
    // A value of the wrong type is false, with its message.
    LoadResult r = LoadCaptured("njpls=(a),noexit={x=1}");
    EXPECT_EQ(gAgentOptions.njplSupport, 0);
    EXPECT_EQ(gAgentOptions.pauseOnExit, 0);
    EXPECT_NE(r.err.find("Invalid type for NJPL support (4)\n"), std::string::npos);
    EXPECT_NE(r.err.find("Invalid type for shouldSnapshotOnExit (5)\n"), std::string::npos);
}

TEST(Arguments, CallerFlagsChangeOnlyWhenGiven) {
    LoadResult r = LoadCaptured("directi=false,useHighPrecTimer=false,disableTSC=true");
    EXPECT_EQ(r.directIMode, 0);
    EXPECT_EQ(r.useHighPrecisionTimer, 0);
    EXPECT_EQ(r.ignoreCPUFrequency, 1);
    EXPECT_EQ(gAgentOptions.directIMode, 0);
    r = LoadCaptured("directi=true");
    EXPECT_EQ(r.directIMode, 2);
    EXPECT_EQ(r.useHighPrecisionTimer, 1);
    r = LoadCaptured("port=1");
    EXPECT_EQ(r.directIMode, 1);
}

TEST(Arguments, LoggingSeverityTakesUpperCaseWordsOnly) {
    const std::pair<const char *, int> cases[] = {
        {"loggingSeverity=DEBUG", 0}, {"loggingSeverity=INFO", 1},  {"loggingSeverity=WARNING", 2},
        {"loggingSeverity=ERROR", 3}, {"loggingSeverity=FATAL", 4}, {"loggingSeverity=NONE", 5},
        {"loggingSeverity=debug", 0}, {"loggingSeverity=none", 0},  {"loggingSeverity=Warning", 0},
    };
    for (const auto &[options, severity] : cases) {
        LoadCaptured(options);
        EXPECT_EQ(gAgentOptions.logSeverity, severity) << options;
    }
}

TEST(Arguments, FilterPath) {
    LoadResult r = LoadCaptured("filter=\"\",snapshotRepository=\"\"");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(gAgentOptions.filterPath, nullptr);
    EXPECT_EQ(gAgentOptions.snapshotRepository, nullptr);  // an empty value counts as absent
    // A bare empty value is named and keeps its default; the other options stand.
    r = LoadCaptured("filter=,log=true,vmName=");
    EXPECT_FALSE(r.accepted);
    EXPECT_EQ(r.err, "No XML configuration specified, using old style parameters...\n"
                     "Invalid value for filter: '' (expected a value after '=')\n"
                     "Invalid value for vmName: '' (expected a value after '=')\n");
    EXPECT_EQ(gAgentOptions.filterPath, nullptr);
    EXPECT_EQ(gAgentOptions.vmName, nullptr);
    EXPECT_EQ(gAgentOptions.showOptions, 1);
    r = LoadCaptured("filter=(a)");
    EXPECT_EQ(gAgentOptions.filterPath, nullptr);
    EXPECT_NE(r.err.find("Invalid type for filter argument (4)\n"), std::string::npos);
    // Backslashes and non-ASCII characters survive the text syntax's escapes.
    LoadCaptured("filter=C:\\dir\\f.oif,vmName=caf\xc3\xa9");
    EXPECT_STREQ(gAgentOptions.filterPath, "C:\\dir\\f.oif");
    EXPECT_STREQ(gAgentOptions.vmName, "caf\xc3\xa9");
}

TEST(Arguments, FilterFileIsHandedToTheLoaderAtOnce) {
    static std::string seen;
    static int32_t portWhenLoaded;
    ConfigSetFilterLoader([](const char *path) {
        seen = path;
        portWhenLoaded = gAgentOptions.auditPort;
        return true;
    });
    EXPECT_TRUE(LoadCaptured("port=1600,filter=/tmp/f.txt").accepted);
    EXPECT_EQ(seen, "/tmp/f.txt");
    EXPECT_EQ(portWhenLoaded, 1600);
    // A filter file that the loader cannot use fails the load.
    ConfigSetFilterLoader([](const char *) { return false; });
    EXPECT_FALSE(LoadCaptured("filter=/tmp/f.txt").accepted);
    ConfigSetFilterLoader(nullptr);
}

TEST(Arguments, ExtensionKeysExcludeAndNest) {
    LoadResult r = LoadCaptured("EmyExt=false,EmyExt.level.max=3,Eother=true,Eoff=0");
    ASSERT_NE(r.exclusion, nullptr);
    EXPECT_EQ(MapName(r.exclusion), "extension exclusion");
    EXPECT_EQ(IntAt(r.exclusion, {"myExt"}), 0);
    EXPECT_EQ(IntAt(r.exclusion, {"off"}), 0);
    EXPECT_EQ(SEMapGet(r.exclusion, "other"), nullptr);
    EXPECT_EQ(MapCount(r.exclusion), 2);
    EXPECT_EQ(StringAt(r.arguments, {"myExt", "level", "max"}), "3");
    EXPECT_EQ(MapName(SEMapGet(r.arguments, "myExt")), "extension arg");
    EXPECT_EQ(MapName(MapPath(r.arguments, {"myExt", "level"})), "extension arg");
    EXPECT_NE(SEMapGet(r.arguments, "__shared"), nullptr);
    // Siblings share their maps.
    r = LoadCaptured("Ea.x=1,Ea.y=2,Ea.z.w=3,Eb.x=4");
    EXPECT_EQ(StringAt(r.arguments, {"a", "y"}), "2");
    EXPECT_EQ(StringAt(r.arguments, {"a", "z", "w"}), "3");
    EXPECT_EQ(StringAt(r.arguments, {"b", "x"}), "4");
    EXPECT_EQ(MapCount(SEMapGet(r.arguments, "a")), 3);
}

TEST(Arguments, MalformedExtensionKeysAreIgnored) {
    LoadResult r = LoadCaptured("E=false,E.x=1,Efoo..bar=2,Efoo.=3");
    EXPECT_EQ(r.exclusion, nullptr);
    EXPECT_EQ(SEMapGet(r.arguments, "foo"), nullptr);
    EXPECT_EQ(SEMapGet(r.arguments, ""), nullptr);
    // Of two conflicting keys the nested one wins, in either order, and the
    // dropped value is named.
    for (const char *options : {"Ebar.a=1,Ebar.a.b=2", "Ebar.a.b=2,Ebar.a=1"}) {
        r = LoadCaptured(options);
        EXPECT_EQ(StringAt(r.arguments, {"bar", "a", "b"}), "2") << options;
        EXPECT_NE(r.err.find("Invalid extension argument Ebar.a: it has a value and also arguments Ebar.a.*; "
                             "the value is ignored\n"),
                  std::string::npos)
            << options;
        EXPECT_FALSE(r.accepted);
    }
}

TEST(Arguments, ReportFlagsEnterTheSharedMapOnlyWhenPresent) {
    LoadResult r = LoadCaptured("port=1");
    EXPECT_EQ(MapCount(SEMapGet(r.arguments, "__shared")), 0);
    r = LoadCaptured("reportErrors=false,reportWarnings=true,reportSoftWarnings=1,"
                     "reportExceptions=no,ignoreTraining=T");
    const SEElement *shared = SEMapGet(r.arguments, "__shared");
    EXPECT_EQ(IntAt(shared, {"reportErrors"}), 0);
    EXPECT_EQ(IntAt(shared, {"reportWarnings"}), 1);
    EXPECT_EQ(IntAt(shared, {"reportSoftWarnings"}), 1);
    EXPECT_EQ(IntAt(shared, {"reportExceptions"}), 0);
    EXPECT_EQ(IntAt(shared, {"ignoreTraining"}), 1);
    EXPECT_EQ(SEMapGet(shared, "hibernate"), nullptr);
    // Shared defaults given as extension keys are kept; the option replaces the key.
    r = LoadCaptured("E__shared.custom=x,E__shared.reportErrors=1,reportErrors=false");
    EXPECT_EQ(StringAt(r.arguments, {"__shared", "custom"}), "x");
    EXPECT_EQ(IntAt(r.arguments, {"__shared", "reportErrors"}), 0);
}

// The hibernate option also enters the shared map, but only when false.
TEST(Arguments, Hibernate) {
    LoadResult r = LoadCaptured("hibernate=false");
    EXPECT_EQ(gAgentOptions.hibernate, 0);
    EXPECT_EQ(IntAt(r.arguments, {"__shared", "hibernate"}), 0);
    r = LoadCaptured("hibernate=true");
    EXPECT_EQ(gAgentOptions.hibernate, 1);
    EXPECT_EQ(SEMapGet(SEMapGet(r.arguments, "__shared"), "hibernate"), nullptr);
}

TEST(Arguments, MalformedStringsLeaveEveryDefault) {
    LoadResult r = LoadCaptured("a=b),port=1500");
    EXPECT_EQ(r.out, "ZVArguments: error 'Error parsing arguments 'a=b),port=1500''\n");
    EXPECT_FALSE(r.accepted);
    EXPECT_EQ(gAgentOptions.auditPort, 1473);
    EXPECT_NE(SEMapGet(r.arguments, "__shared"), nullptr);

    r = LoadCaptured("port=1500,(a,b)");
    EXPECT_EQ(r.out.rfind("ZVArguments: error 'Error deserializing arguments '", 0), 0u) << r.out;
    EXPECT_EQ(gAgentOptions.auditPort, 1473);
}

TEST(Arguments, LoadConfigurationChoosesTheSource) {
    EXPECT_EQ(LoadConfiguration(nullptr, 0), nullptr);
    EXPECT_EQ(LoadConfiguration("", 0), nullptr);
    ConfigSource *source = LoadConfiguration("port=1", 0);
    ASSERT_NE(source, nullptr);
    EXPECT_EQ(source->kind, CONFIG_SOURCE_ARGUMENTS);
    EXPECT_EQ(GetAuditPort(source, 5, 7), 1);
    EXPECT_EQ(GetSamplerPeriod(source, 5, 7), 7);  // XML-only options keep their default
    EXPECT_STREQ(GetConfigurationError(), "");
    FreeConfigSource(source);

    EXPECT_EQ(LoadConfiguration("x=(", 0), nullptr);
    EXPECT_STRNE(GetConfigurationError(), "");
    EXPECT_EQ(GetAuditPort(nullptr, 5, 42), 42);
}

}  // namespace
