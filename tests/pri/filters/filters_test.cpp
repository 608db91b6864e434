// Class filters: the method text, patterns and conditions, the four queries,
// reloading, group names, "DeleteMe", and unreadable files.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "capture.h"
#include "scratch_directory.h"
#include "pri/filters/filters.h"

namespace {

class Filters : public testing::Test {
protected:
    void SetUp() override { PRIFreeFilters(PRIInstallFilters(PRINewFilters())); }
    void TearDown() override { PRIFreeFilters(PRIInstallFilters(PRINewFilters())); }
    std::string Write(const std::string &name, const std::string &text) { return scratch_.Write(name, text); }
    // Loads a filter file with the given entry list, its output captured.
    std::string Load(const std::string &entries, const std::string &name = "f.txt") {
        std::string path = Write(name, "{ Content = (" + entries + "); }");
        return StderrOf([&] { PRILoadFilterFile(path.c_str()); });
    }
    ScratchDirectory scratch_;
    const std::string dir_ = scratch_.path();
};

std::string Text(const char *cls, const char *method, const char *descriptor, int access) {
    char buffer[512];
    PRIFilterMethodText(cls, method, descriptor, access, buffer, sizeof buffer);
    return buffer;
}

// Shorthands for queries on one method.
int Group(const char *cls, const char *method = "m", const char *descriptor = "()V",
          int access = 1) {
    return PRIFilterGroupOf(cls, method, descriptor, access);
}
int CPU(const char *cls, const char *method = "m", const char *descriptor = "()V", int access = 1) {
    return PRIFilterIgnoresCPU(cls, method, descriptor, access);
}

TEST(FilterMethodText, DottedClassDescriptorAndAccessGroup) {
    EXPECT_EQ(Text("java/lang/Object", "toString", "()Ljava/lang/String;", 1),
              "java.lang.Object.toString(()Ljava/lang/String;){public}");
    EXPECT_EQ(Text("a/B", "m", "()V", 2), "a.B.m(()V){private}");
    EXPECT_EQ(Text("a/B", "m", "()V", 4), "a.B.m(()V){protected}");
    EXPECT_EQ(Text("a/B", "m", "()V", 0), "a.B.m(()V){package}");
    EXPECT_EQ(Text("a/B", "m", "()V", 3), "a.B.m(()V){package}");  // public and private at once
    EXPECT_EQ(Text("a/B", "m", "()V", 0x19), "a.B.m(()V){public}");  // only the low bits count
    char small[8];
    PRIFilterMethodText("a/b/c/d/e", "m", "()V", 1, small, sizeof small);
    EXPECT_STREQ(small, "a.b.c.d");
}

// One query and its answer: 'g' group, 'c' ignores CPU, 'm' ignores memory.
struct Query {
    char kind;
    const char *cls, *method, *descriptor;
    int access, expected;
};

int Ask(const Query &q) {
    switch (q.kind) {
    case 'g': return PRIFilterGroupOf(q.cls, q.method, q.descriptor, q.access);
    case 'c': return PRIFilterIgnoresCPU(q.cls, q.method, q.descriptor, q.access);
    default: return PRIFilterIgnoresMemory(q.cls, q.method, q.descriptor, q.access);
    }
}

TEST_F(Filters, PatternsAndConditions) {
    const std::string longClass(3000, 'c'), longerClass = longClass + "d";
    const struct {
        std::string entries;
        std::vector<Query> queries;
    } cases[] = {
        {"{ grp = t; cnd = { Name = Strings; PatternList = (java.lang.String); } }",
         {{'g', "java/lang/String", "length", "()I", 1, 0}, {'g', "java/lang/String/Inner", "m", "()V", 1, 0},
          {'g', "java/lang/StringBuilder", "m", "()V", 1, -1}, {'g', "java/lang/Object", "m", "()V", 1, -1}}},
        {"{ cpu = t; cnd = { PatternList = (\"!com.acme.*\"); } }",
         {{'c', "com/acme/Main", "m", "()V", 1, 0}, {'c', "com/other/Main", "m", "()V", 1, 1},
          {'c', "org/acme/X", "m", "()V", 1, 1}}},
        {"{ grp = t; cnd = { Operation = and; PatternList = (\"com.acme.*\", \"*.get*\", \"!*Test.*\"); } },"
         "{ mem = t; cnd = { Operation = AND; PatternList = (); } }",
         {{'g', "com/acme/Model", "getName", "()Ljava/lang/String;", 1, 0},
          {'g', "com/acme/ModelTest", "getName", "()V", 1, -1}, {'g', "com/acme/Model", "setName", "(I)V", 1, -1},
          {'m', "any/Class", "x", "()V", 0, 1}}},
        {"{ cpu = t; cnd = { PatternList = (\"com.acme.Main.main(([Ljava/lang/String;)V)\"); } },"
         "{ grp = t; cnd = { PatternList = (\"*{private}\"); } },"
         "{ mem = t; cnd = { PatternList = (\"com.acme.**.run(()V){public}\"); } }",
         {{'c', "com/acme/Main", "main", "([Ljava/lang/String;)V", 9, 1},
          {'c', "com/acme/Main", "main", "([Ljava/lang/String;)V", 2, 1}, {'c', "com/acme/Main", "main", "()V", 9, 0},
          {'g', "x/Y", "m", "()V", 2, 1}, {'g', "x/Y", "m", "()V", 1, -1}, {'m', "com/acme/a/B", "run", "()V", 1, 1},
          {'m', "com/acme/a/B", "run", "()V", 4, 0}}},
        {"{ cpu = t; cnd = { PatternList = (\"a.B.m(()V){public}*zzz\"); } },"
         "{ grp = t; cnd = { PatternList = (\"!a.B.m(()V){public}*zzz\"); } }",
         {{'c', "a/B", "m", "()V", 1, 0}, {'g', "a/B", "m", "()V", 1, 1}}},
        {"{ cpu = t; cnd = { PatternList = (\"*" + std::string(2000, 'c') + ".m(()V){public}\"); } }",
         {{'c', longClass.c_str(), "m", "()V", 1, 1}, {'c', longerClass.c_str(), "m", "()V", 1, 0}}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.entries);
        PRIFreeFilters(PRIInstallFilters(PRINewFilters()));
        EXPECT_EQ(Load(c.entries), "Zentrova using filter file '" + dir_ + "/f.txt'\n");
        for (const Query &q : c.queries) EXPECT_EQ(Ask(q), q.expected) << q.kind << " " << q.cls << "." << q.method;
        if (c.entries.find("Name = Strings") != std::string::npos) {
            EXPECT_STREQ(PRIFilterGroupName(0), "Strings");
        }
    }
}

TEST_F(Filters, EntriesWithSeveralKindsAndFileOrder) {
    Load("{ cpu = T; mem = t; eliminate = t; cnd = { Name = First; PatternList = (\"a.*\"); } },"
         "{ grp = t; cpu = t; cnd = { Name = Second; PatternList = (\"a.B\", \"c.D\"); } },"
         "{ grp = yes; cnd = { PatternList = (\"*\"); } },"
         "{ cnd = { PatternList = (\"*\"); } }");
    EXPECT_EQ(CPU("a/B"), 1);
    EXPECT_EQ(PRIFilterIgnoresMemory("a/B", "m", "()V", 1), 1);
    EXPECT_EQ(PRIFilterEliminates("a/B", "m", "()V", 1), 0);
    EXPECT_EQ(Group("a/B"), 1);
    EXPECT_EQ(Group("c/D"), 1);
    EXPECT_EQ(Group("e/F"), -1);  // "yes" is not a set flag; no flags: never matches
    EXPECT_EQ(CPU("c/D"), 1);
    EXPECT_EQ(PRIFilterEliminates("c/D", "m", "()V", 1), -1);
    EXPECT_EQ(zviFilterAffectsCPUProfiler(), 1);
    EXPECT_EQ(zviFilterAffectsMemoryProfiler(), 1);
}

TEST_F(Filters, UnnamedConditionsAreNumberedInReadingOrder) {
    Load("{ grp = t; cnd = { PatternList = (x); } },"
         "{ grp = t; cnd = { Name = Named; PatternList = (y); } },"
         "{ grp = t; cnd = { PatternList = (z); } }");
    EXPECT_STREQ(PRIFilterGroupName(0), "Filter_1");
    EXPECT_STREQ(PRIFilterGroupName(1), "Named");
    EXPECT_STREQ(PRIFilterGroupName(2), "Filter_3");
    // The profiler flag bits do not change the group.
    EXPECT_STREQ(PRIFilterGroupName(static_cast<int32_t>(2 | PRI_FILTER_IGNORE_CPU | PRI_FILTER_IGNORE_MEMORY)), "Filter_3");
    EXPECT_STREQ(PRIFilterGroupName(3), "Unknown group");
    EXPECT_STREQ(PRIFilterGroupName(-1), "Unknown group");
}

TEST_F(Filters, ReloadReplacesTheAnsweringEntriesButKeepsOldGroupNames) {
    Load("{ grp = t; cpu = t; cnd = { Name = Old; PatternList = (\"old.*\"); } }");
    EXPECT_EQ(Group("old/A"), 0);
    EXPECT_EQ(zviFilterAffectsCPUProfiler(), 1);
    EXPECT_EQ(zviFilterAffectsMemoryProfiler(), 0);

    std::string next = Write("g.txt", "{ Content = ({ grp = t; mem = t; cnd = { Name = New; PatternList = (\"new.*\"); } }); }");
    EXPECT_EQ(StderrOf([&] { EXPECT_EQ(zviReloadFilter(next.c_str()), 1); }),
              "Zentrova using new filter file '" + next + "'\n");
    EXPECT_EQ(Group("old/A"), -1);
    EXPECT_EQ(Group("new/A"), 1);
    EXPECT_STREQ(PRIFilterGroupName(0), "Old");
    EXPECT_STREQ(PRIFilterGroupName(1), "New");
    EXPECT_STREQ(PRIFilterGroupName(2), "Unknown group");
    EXPECT_EQ(zviFilterAffectsCPUProfiler(), 0);
    EXPECT_EQ(zviFilterAffectsMemoryProfiler(), 1);

    // An empty list is read but leaves the entries in force.
    std::string empty = Write("e.txt", "()");
    StderrOf([&] { EXPECT_EQ(zviReloadFilter(empty.c_str()), 1); });
    EXPECT_EQ(Group("new/A"), 1);
}

TEST_F(Filters, DeleteMeRemovesTheFileOnlyForExactlyTrue) {
    std::string kept = Write("k.txt", "{ DeleteMe = True; Content = (); }");
    std::string gone = Write("d.txt", "{ DeleteMe = true; Content = ({ cpu = t; cnd = { PatternList = (\"*\"); } }); }");
    StderrOf([&] {
        PRILoadFilterFile(kept.c_str());
        EXPECT_EQ(zviReloadFilter(gone.c_str()), 1);
    });
    EXPECT_TRUE(std::filesystem::exists(kept));
    EXPECT_FALSE(std::filesystem::exists(gone));
    EXPECT_EQ(CPU("a/B"), 1);
}

// Bad filter files, given while one is loaded: the exact messages (%s is the
// file), and what follows. A file that cannot be used changes nothing: the
// earlier one keeps answering. A bad entry is skipped or matches nothing
// while the file's other entries take effect.
TEST_F(Filters, BadInputTable) {
    const std::string kNoList = " is neither a list of filter entries nor a map whose Content is one\n";
    const std::string kUsing = "Zentrova using new filter file '%s'\n", kWarn = "Zentrova Warning: filter file %s: entry ";
    const std::string kNoPatterns = " has no condition with a PatternList list; it matches no method\n";
    auto kept = [] { return Group("a/B") == 0 && CPU("a/B") == 0; };
    auto memOnly = [] { return CPU("a/B") == 0 && PRIFilterIgnoresMemory("a/B", "m", "()V", 1) == 1; };
    const std::string any = "cnd = { PatternList = (\"*\"); }";
    const struct {
        std::string text;  // the file, or a path when it starts with '/'
        std::string err;
        std::function<bool()> next;
    } rows[] = {
        {"{ Content = ( { grp = t;\n } ; ",
         "Could not read Filter file %s -- deserialization failed\n  Syntax error: syntax error at line 2\n", kept},
        {"", "Could not read Filter file %s -- deserialization failed\n  no element before the end at line 1\n", kept},
        {"{ DeleteMe = false;\n Content = 5; }", "Could not read Filter file %s -- the element ending at line 2" + kNoList,
         kept},
        {"/dev/zero", "Could not open Filter file %s\n", kept},
        {dir_, "Could not open Filter file %s\n", kept},
        {"(notAMap, { mem = t; " + any + " })", kUsing + kWarn + "1 is not a map; it is skipped\n", memOnly},
        {"({ cpu = true; grp = (t); " + any + " }, { mem = t; " + any + " })",
         kUsing + kWarn + "1: grp is neither t nor f; f is used\n" + kWarn + "1: cpu is neither t nor f; f is used\n",
         memOnly},
        {"({ cpu = t; cnd = notAMap }, { cpu = t; }, { cpu = t; cnd = { PatternList = x } }, { mem = t; " + any + " })",
         kUsing + kWarn + "1" + kNoPatterns + kWarn + "2" + kNoPatterns + kWarn + "3" + kNoPatterns, memOnly},
        {"({ mem = t; cnd = { PatternList = ((a), {b=c}, \"*\"); Operation = XOR } })",
         kUsing + kWarn + "1: pattern 1 is not a string; it matches no method\n" + kWarn +
             "1: pattern 2 is not a string; it matches no method\n" + kWarn + "1: Operation is neither AND nor OR; OR is used\n",
         memOnly},
    };
    for (const auto &row : rows) {
        PRIFreeFilters(PRIInstallFilters(PRINewFilters()));
        Load("{ grp = t; cnd = { PatternList = (\"a.*\"); } }");
        std::string path = row.text.starts_with("/") ? row.text : Write("bad.txt", row.text);
        std::string err = row.err;
        for (size_t at; (at = err.find("%s")) != std::string::npos;) err.replace(at, 2, path);
        testing::internal::CaptureStdout();
        EXPECT_EQ(StderrOf([&] { zviReloadFilter(path.c_str()); }), err) << row.text;
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << row.text;
        EXPECT_TRUE(row.next()) << row.text;
    }
}

TEST_F(Filters, SampleFilterFile) {
    StderrOf([] { PRILoadFilterFile(ZV_SOURCE_DIR "/examples/filters.txt"); });
    EXPECT_EQ(Group("java/util/HashMap", "get", "(Ljava/lang/Object;)Ljava/lang/Object;"), 0);
    EXPECT_STREQ(PRIFilterGroupName(0), "Collections");
    EXPECT_EQ(CPU("org/slf4j/Logger", "info", "(Ljava/lang/String;)V", 1), 1);
    EXPECT_EQ(PRIFilterIgnoresMemory("java/util/logging/Logger", "log", "()V", 1), 1);
    EXPECT_EQ(PRIFilterEliminates("com/acme/model/Order", "getId", "()J", 1), 2);
    EXPECT_EQ(PRIFilterEliminates("com/acme/model/OrderTest", "getId", "()J", 1), -1);
    EXPECT_EQ(PRIFilterEliminates("com/acme/model/Order", "getId", "()J", 2), -1);
    EXPECT_EQ(CPU("com/acme/Main", "main", "([Ljava/lang/String;)V", 9), 1);
    EXPECT_STREQ(PRIFilterGroupName(3), "Filter_4");  // every condition counts, named or not
}

}  // namespace
