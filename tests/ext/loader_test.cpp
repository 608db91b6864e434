// Extension loading: how table items get their arguments, and what the
// loader says about tables and libraries it cannot use.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>

#include "capture.h"
#include "ext/extension_table.h"
#include "ext/extensions.h"
#include "support/element_helpers.h"
#include "scratch_directory.h"
#include "support/install_paths.h"

namespace {

// (The ordinary merge, shared defaults then the options' own arguments over
// the table's, is checked in a real VM end to end; here its edges.)
TEST(ExtensionArguments, SharedDefaultsThenOwnArgumentsOverrideTheTable) {
    // The item, the arguments, what the item's initArgs end as.
    const std::tuple<const char *, const char *, const char *> cases[] = {
        {"{libraryName=e;}", "{__shared={};}", "{}"},
        {"{libraryName=e;}", "{other={a=1;};}", "null"},
        // Maps merge key by key; a scalar never replaces a map, a map replaces a scalar.
        {"{libraryName=e;initArgs={m={a=1;b=2;};};}", "{e={m={b=3;c=4;};};}", "{m={a=1;b=3;c=4;};}"},
        {"{libraryName=e;initArgs={m={a=1;};};}", "{e={m=x;};}", "{m={a=1;};}"},
        {"{libraryName=e;initArgs={m=x;};}", "{e={m={a=1;};};}", "{m={a=1;};}"},
        // Of a key given twice the later value is the one that counts.
        {"{libraryName=e;initArgs={a=t;};}", "{e={a=1;a=2;};}", "{a=2;}"},
        {"{libraryName=e;initArgs=notAMap;}", "{__shared={a=s;};}", "notAMap"},
        {"{initArgs={a=t;};}", "{__shared={b=s;};}", "{a=t;b=s;}"},
    };
    for (const auto &[itemText, argumentsText, initArgs] : cases) {
        SCOPED_TRACE(itemText + std::string(" + ") + argumentsText);
        ElementPtr item = readText(itemText), arguments = readText(argumentsText);
        StderrOf([&] { EXPECT_TRUE(ZVPrepareExtensionItem(item.get(), nullptr, arguments.get())); });
        EXPECT_EQ(writeText(SEMapGet(item.get(), "initArgs")), initArgs);
    }
}

// Many keys share hash chains; merging them must visit each once and end.
TEST(ExtensionArguments, MergingManyArgumentsEnds) {
    std::string own, expected;
    for (int i = 0; i < 20; ++i) own += "k" + std::to_string(i) + "=" + std::to_string(i) + ";";
    ElementPtr item = readText("{libraryName=e;initArgs={k3=t;};}");
    ElementPtr arguments = readText("{__shared={s=1;};e={" + own + "};}");
    EXPECT_TRUE(ZVPrepareExtensionItem(item.get(), nullptr, arguments.get()));
    const SEElement *initArgs = SEMapGet(item.get(), "initArgs");
    for (int i = 0; i < 20; ++i) {
        const SEElement *value = SEMapGet(initArgs, ("k" + std::to_string(i)).c_str());
        ASSERT_NE(value, nullptr);
        EXPECT_STREQ(SEGetString(value), std::to_string(i).c_str());
    }
    EXPECT_NE(SEMapGet(initArgs, "s"), nullptr);
}

TEST(ExtensionArguments, ItemsWithoutALibraryNameAreNeverExcluded) {
    ElementPtr exclusion = readText("{skipped=0;}");
    for (auto [item, loads] : {std::pair{"{initArgs={};}", true}, {"plain", true}, {"(skipped)", true}}) {
        SCOPED_TRACE(item);
        EXPECT_EQ(ZVPrepareExtensionItem(readText(item).get(), exclusion.get(), nullptr), loads);
    }
}

int32_t gCount = 0;
JavaVM *noVM() { return nullptr; }
int32_t count() { return gCount; }
void add(ZVExtensionRecord *) { ++gCount; }
const ZVExtensionHost kHost = {noVM, count, add};

class ExtensionLoader : public testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(root_ + "/lib");
        std::filesystem::create_directories(root_ + "/ext/darara/audit");
        std::ofstream(root_ + "/lib/zenva.jar") << "jar";
        delete UseInstallPaths(new InstallPaths());
        ASSERT_EQ(RecordInstallPath(5, root_.c_str()), 1);
        ZVSetExtensionHost(&kHost);
        gCount = 0;
    }
    void TearDown() override {
        ZVSetExtensionHost(nullptr);
        delete UseInstallPaths(new InstallPaths());
    }

    struct Output {
        std::string out, err;
    };
    Output load(const char *table) {
        if (table != nullptr) std::ofstream(root_ + "/ext/darara/audit/extensions.table") << table;
        Output output;
        output.err = StderrOf([&] { output.out = StdoutOf([] { ZVLoadExtensions(nullptr, nullptr); }); });
        return output;
    }
    std::string refused(const std::string &path) {
        return "Could not load the dll <" + path + "> or dll is missing function named <ZVInitFunction>\n";
    }

    ScratchDirectory scratch_;
    const std::string root_ = scratch_.path();
};

TEST_F(ExtensionLoader, ReportsWhatItCannotUseAndGoesOn) {
    std::string lib = root_ + "/ext/darara/lib/zen_";
    std::string table = "Zentrova Error: " + root_ + "/ext/darara/audit/extensions.table";
    std::string longName(3000, 'n');
    const std::pair<std::string, std::string> cases[] = {
        {"( plain, {initArgs={};} )", refused("") + refused("")},
        // Names stay inside the extension directory.
        {"( {libraryName=\"../../x\";} )", refused(lib + "../../xdev_i")},
        {"( {libraryName=" + longName + ";} )",
         "Zentrova Error: the library " + lib + longName + "dev_i.so was not found.\n" +
             refused(lib + longName + "dev_i")},
        {"( {libraryName=a;}", table + ": Syntaxic error: unterminated expression at line 1\n"},
        {"(\n {libraryName=\"a} )", table + ": Lexical error: unterminated string at line 2\n"},
        {"{libraryName=a;}", table + " does not hold a list of extensions\n"},
        {"()", ""},
    };
    for (const auto &[text, err] : cases) {
        SCOPED_TRACE(text.substr(0, 80));
        Output output = load(text.c_str());
        // The count is a note of the agent's: the program's output stays its own.
        EXPECT_EQ(output.err, err + "0 Extension(s) Activated.\n");
        EXPECT_EQ(output.out, "");
    }
}

TEST_F(ExtensionLoader, AMissingTableLoadsNothingAndSaysNothing) {
    Output output = load(nullptr);
    EXPECT_EQ(output.out + output.err, "");
}

TEST_F(ExtensionLoader, WithoutAnInstallationPathsAreRelativeToTheWorkingDirectory) {
    delete UseInstallPaths(new InstallPaths());
    const char *home = getenv("HOME");
    std::string savedHome = home != nullptr ? home : "";
    setenv("HOME", root_.c_str(), 1);
    auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(root_ + "/ext");
    unsetenv("ZENVA_HOME");
    Output output = load(nullptr);
    EXPECT_EQ(output.err, "Can't find Zentrova install location, trying cwd.\n");

    ElementPtr item = readText("{libraryName=x;}");
    for (auto [zenvaHome, warned, path] : {std::tuple{(const char *)nullptr, true, "ext/darara/lib/zen_xdev_i"},
                                           {"/opt/zv", false, "/opt/zv/ext/darara/lib/zen_xdev_i"}}) {
        if (zenvaHome != nullptr) setenv("ZENVA_HOME", zenvaHome, 1);
        std::string err = StderrOf([&] { zviAddExtension(nullptr, item.get()); });
        EXPECT_EQ(err.rfind("Can't find ZENVA_HOME, trying cwd.\n", 0) == 0, warned) << err;
        EXPECT_NE(err.find(refused(path)), std::string::npos) << err;
    }
    unsetenv("ZENVA_HOME");
    std::filesystem::current_path(cwd);
    setenv("HOME", savedHome.c_str(), 1);
}

TEST_F(ExtensionLoader, FileServicesWorkBelowTheInstallation) {
    ZVCreateToolFile("logs/today/run.txt");
    EXPECT_TRUE(std::filesystem::is_regular_file(root_ + "/logs/today/run.txt"));
    ZVHashTable *set = ZVHashNew(8, ZVStringHash, ZVStringEquals, "set", 0);
    ZVListToolDirectory("logs/today", set);
    const char *name = reinterpret_cast<const char *>(ZVHashGet(set, reinterpret_cast<ZVWord>("run.txt")));
    ASSERT_NE(name, nullptr);
    EXPECT_STREQ(name, "run.txt");
    sFree(const_cast<char *>(name));
    ZVHashFree(set);
}

}  // namespace
