// Old-style argument strings: each option's key, value types and messages,
// the extension keys, and the shared extension defaults.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <tuple>

#include "config/config.h"
#include "config_test_util.h"

namespace {

const char *kNotice = "No XML configuration specified, using old style parameters...\n";

std::string MapName(const SEElement *map) {
    return map && map->type == SE_MAP ? reinterpret_cast<ZVHashTable *>(map->value)->name : "<none>";
}

// Accepted option strings and what each sets; nothing is said but the
// old-style notice, and standard output stays empty.
TEST(Arguments, AcceptedInputTable) {
    const OptionsInUse o;
    LoadResult r;
    auto port = [&](int32_t begin, int32_t end) { return o->auditPort == begin && o->auditPortEnd == end; };
    auto pause = [&](int32_t value) { return [&o, value] { return o->pauseAfterLaunch == value; }; };
    auto severity = [&](int32_t value) { return [&o, value] { return o->logSeverity == value; }; };
    const std::pair<const char *, std::function<bool()>> rows[] = {
        // One port is both ends; an open or backwards end is the begin; unknown keys are ignored.
        {"bogus=1,port=1500", [&] { return port(1500, 1500); }},
        {"port=1500-1510", [&] { return port(1500, 1510); }},
        {"port=1510-1500", [&] { return port(1510, 1510); }},
        {"port=1500-", [&] { return port(1500, 1500); }},
        {"port=65535", [&] { return port(65535, 65535); }},
        // Booleans: true, T, t, TRUE and 1 are true, anything else false.
        {"pause=true", pause(1)}, {"pause=T", pause(1)}, {"pause=1", pause(1)}, {"pause=t", pause(1)},
        {"pause=TRUE", pause(1)}, {"pause=yes", pause(0)}, {"pause=false", pause(0)}, {"pause=0", pause(0)},
        {"pause=\"\"", pause(0)}, {"pause=F", pause(0)},
        {"njpls=false,startAudit=f,acceptConnections=0,noexit=true,redirect=1,"
         "enableAPI=t,startCPUProfiler=T,dci=true,enableLogging=true",
         [&] {
             return o->njplSupport == 0 && o->startAudit == 0 && o->acceptConnections == 0 && o->pauseOnExit == 1 &&
                    o->redirectOutputs == 1 && o->enableAPI == 1 && o->autoStartCPU == 1 &&
                    o->dumpClassInstrumentation == 1 && o->logEnabled == 1;
         }},
        // Severity words in upper case only; anything else is DEBUG.
        {"loggingSeverity=DEBUG", severity(0)}, {"loggingSeverity=INFO", severity(1)},
        {"loggingSeverity=WARNING", severity(2)}, {"loggingSeverity=ERROR", severity(3)},
        {"loggingSeverity=FATAL", severity(4)}, {"loggingSeverity=NONE", severity(5)},
        {"loggingSeverity=debug", severity(0)}, {"loggingSeverity=none", severity(0)},
        {"loggingSeverity=Warning", severity(0)},
        // An empty value counts as absent; backslashes and non-ASCII characters
        // survive the text syntax's escapes.
        {"filter=\"\",snapshotRepository=\"\"", [&] { return !o->filterPath && !o->snapshotRepository; }},
        {"filter=C:\\dir\\f.oif,vmName=caf\xc3\xa9",
         [&] { return std::string(o->filterPath) == "C:\\dir\\f.oif" && std::string(o->vmName) == "caf\xc3\xa9"; }},
        // hibernate also enters the shared map, but only when false.
        {"hibernate=false", [&] { return o->hibernate == 0 && Tree(r.arguments) == "{__shared={hibernate=#0;};}"; }},
        {"hibernate=true", [&] { return o->hibernate == 1 && Tree(r.arguments) == "{__shared={};}"; }},
    };
    for (const auto &[input, happened] : rows) {
        r = LoadCaptured(input);
        EXPECT_TRUE(r.accepted) << input;
        EXPECT_EQ(r.out, "") << input;
        EXPECT_EQ(r.err, kNotice) << input;
        EXPECT_TRUE(happened()) << input;
    }
}

// Bad option strings: the exact messages, and what the agent does next. The
// load always reports that options were refused; every other option takes.
TEST(Arguments, BadInputTable) {
    const std::string kRange = "' (expected a whole number from 1 to 65535)\n";
    const std::string kNested = "Invalid extension argument Ebar.a: it has a value and also arguments Ebar.a.*; "
                                "the value is ignored\n";
    const OptionsInUse o;
    LoadResult r;
    auto port = [&](int32_t begin, int32_t end) { return o->auditPort == begin && o->auditPortEnd == end; };
    auto vmIsA = [&] { return o->vmName != nullptr && std::string(o->vmName) == "a"; };
    auto nestedKept = [&] { return Tree(SEMapGet(r.arguments, "bar")) == "{a={b=2;};}"; };
    const std::tuple<const char *, std::string, std::function<bool()>> rows[] = {
        // input, standard error after the old-style notice, what follows (standard output stays empty)
        {"port=abc,vmName=a", "Invalid value for port: 'abc" + kRange, [&] { return port(1473, 1473) && vmIsA(); }},
        {"port=70000", "Invalid value for port: '70000" + kRange, [&] { return port(1473, 1473); }},
        {"port=0", "Invalid value for port: '0" + kRange, [&] { return port(1473, 1473); }},
        {"port=99999999999-1", "Invalid value for port: '99999999999-1" + kRange, [&] { return port(1473, 1473); }},
        {"port=1500-x", "Invalid value for port: '1500-x" + kRange, [&] { return port(1500, 1500); }},
        {"port=(1500,1510)", "Invalid type for port (4)\n", [&] { return port(1473, 1473); }},
        {"njpls=(a),noexit={x=1}", "Invalid type for shouldSnapshotOnExit (5)\nInvalid type for NJPL support (4)\n",
         [&] { return o->njplSupport == 0 && o->pauseOnExit == 0; }},
        {"filter=(a),vmName=a", "Invalid type for filter argument (4)\n", [&] { return !o->filterPath && vmIsA(); }},
        {"Ebar.a=1,Ebar.a.b=2", kNested, nestedKept},
        {"Ebar.a.b=2,Ebar.a=1", kNested, nestedKept},
        // Malformed strings: every option keeps its default.
        {"a=b),port=1500", "ZVArguments: error 'Error parsing arguments 'a=b),port=1500''\n",
         [&] { return port(1473, 1473) && SEMapGet(r.arguments, "__shared"); }},
        {"port=1500,(a,b)", "ZVArguments: error 'Error deserializing arguments 'Syntax error: syntax error at line 1\n''\n",
         [&] { return port(1473, 1473); }},
    };
    for (const auto &[input, err, happened] : rows) {
        r = LoadCaptured(input);
        EXPECT_EQ(r.err, kNotice + err) << input;
        EXPECT_EQ(r.out, "") << input;
        EXPECT_FALSE(r.accepted) << input;
        EXPECT_TRUE(happened()) << input;
    }
}

TEST(Arguments, FilterFileIsHandedToTheLoaderAtOnce) {
    static std::string seen;
    static int32_t portWhenLoaded;
    ConfigSetFilterLoader([](const char *path) {
        seen = path;
        portWhenLoaded = CurrentOptions().auditPort;
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
    EXPECT_EQ(Tree(r.exclusion), "{myExt=#0;off=#0;}");
    EXPECT_EQ(Tree(r.arguments), "{__shared={};myExt={level={max=3;};};}");
    EXPECT_EQ(MapName(r.exclusion), "extension exclusion");
    EXPECT_EQ(MapName(SEMapGet(r.arguments, "myExt")), "extension arg");
    EXPECT_EQ(MapName(SEMapGet(SEMapGet(r.arguments, "myExt"), "level")), "extension arg");
    // Siblings share their maps; malformed keys are ignored.
    r = LoadCaptured("Ea.x=1,Ea.y=2,Ea.z.w=3,Eb.x=4,E=false,E.x=1,Efoo..bar=2,Efoo.=3");
    EXPECT_EQ(Tree(r.arguments), "{__shared={};a={x=1;y=2;z={w=3;};};b={x=4;};}");
    EXPECT_EQ(r.exclusion, nullptr);
}

TEST(Arguments, ReportFlagsEnterTheSharedMapOnlyWhenPresent) {
    EXPECT_EQ(Tree(LoadCaptured("port=1").arguments), "{__shared={};}");
    LoadResult r = LoadCaptured("reportErrors=false,reportWarnings=true,reportSoftWarnings=1,"
                                "reportExceptions=no,ignoreTraining=T");
    EXPECT_EQ(Tree(r.arguments), "{__shared={ignoreTraining=#1;reportErrors=#0;reportExceptions=#0;"
                                 "reportSoftWarnings=#1;reportWarnings=#1;};}");
    // Shared defaults given as extension keys are kept; the option replaces the key.
    r = LoadCaptured("E__shared.custom=x,E__shared.reportErrors=1,reportErrors=false");
    EXPECT_EQ(Tree(r.arguments), "{__shared={custom=x;reportErrors=#0;};}");
}

}  // namespace
