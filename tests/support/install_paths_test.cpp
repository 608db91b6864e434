// Installation paths: validating recorded directories and finding them in
// the ".zv_audit" file of a (fake) home or working directory.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "scratch_directory.h"
#include "support/install_paths.h"

namespace {

class InstallPaths : public testing::Test {
protected:
    void SetUp() override {
        const char *home = getenv("HOME");
        savedHome_ = home ? home : "";
        hadHome_ = home != nullptr;
        savedCwd_ = std::filesystem::current_path();
        std::filesystem::create_directories(root_ + "/home");
        std::filesystem::create_directories(root_ + "/cwd");
        setenv("HOME", (root_ + "/home").c_str(), 1);
        std::filesystem::current_path(root_ + "/cwd");
        delete UseInstallPaths(new ::InstallPaths());
    }
    void TearDown() override {
        delete UseInstallPaths(new ::InstallPaths());
        std::filesystem::current_path(savedCwd_);
        if (hadHome_) setenv("HOME", savedHome_.c_str(), 1);
        else unsetenv("HOME");
    }

    // A directory, with lib/zenva.jar when `suite` is set.
    std::string MakeDirectory(const std::string &name, bool suite = true) {
        std::string directory = root_ + "/" + name;
        std::filesystem::create_directories(directory + "/lib");
        if (suite) std::ofstream(directory + "/lib/zenva.jar") << "jar";
        return directory;
    }
    void WriteAudit(const std::string &where, const std::string &text) {
        std::ofstream(root_ + "/" + where + "/.zv_audit") << text;
    }

    ScratchDirectory scratch_;
    const std::string root_ = scratch_.path();

private:
    std::string savedHome_;
    bool hadHome_ = false;
    std::filesystem::path savedCwd_;
};

TEST_F(InstallPaths, OnlyDirectoriesHoldingTheArchiveAreRecorded) {
    std::string bare = MakeDirectory("bare", false);
    std::string suite = MakeDirectory("suite");
    EXPECT_EQ(IsInstallDirectory(bare.c_str()), 0);
    EXPECT_EQ(IsInstallDirectory(suite.c_str()), 1);
    EXPECT_EQ(RecordInstallPath(5, bare.c_str()), 0);
    EXPECT_EQ(RecordInstallPath(5, nullptr), 0);
    EXPECT_EQ(RecordInstallPath(5, (suite + "/lib/zenva.jar").c_str()), 0);
    EXPECT_EQ(GetInstallPath(5), nullptr);
    EXPECT_EQ(RecordInstallPath(5, suite.c_str()), 1);
    RecordInstallPath(5, bare.c_str());  // the last valid record stays
    EXPECT_STREQ(GetInstallPath(5), suite.c_str());
}

TEST_F(InstallPaths, HomeDirectoryAuditFileComesBeforeTheWorkingDirectory) {
    std::string fromHome = MakeDirectory("a");
    std::string fromCwd = MakeDirectory("b");
    WriteAudit("cwd", "{ DuvOzurivud3.0 = \"" + fromCwd + "\"; }");
    EXPECT_STREQ(GetInstallPath(5), fromCwd.c_str());
    delete UseInstallPaths(new ::InstallPaths());
    WriteAudit("home", "{ DuvOzurivud3.0 = \"" + fromHome + "\"; }");
    EXPECT_STREQ(GetInstallPath(5), fromHome.c_str());
    SEElement *audit = ReadAuditFile();
    ASSERT_NE(audit, nullptr);
    EXPECT_EQ(audit->type, SE_MAP);
    SEFree(audit);
}

TEST_F(InstallPaths, CurrentVersionThenNewestVersionThenEdition) {
    std::string current = MakeDirectory("current");
    std::string v21 = MakeDirectory("v21");
    std::string v101 = MakeDirectory("v101");
    std::string props = MakeDirectory("props");
    std::string edition = MakeDirectory("edition");
    std::string missing = root_ + "/missing";
    WriteAudit("home", "{ DuvOzurivud2.1 = \"" + v21 + "\"; DuvOzurivud10.1 = \"" + v101 +
                           "\"; DuvOzurivud11.0 = \"" + missing + "\"; DuvOzurivudProps = \"" +
                           props + "\"; DuvOzurivud10.x = \"" + props + "\"; Profiler7.0 = \"" +
                           current + "\"; SuiteStandard = \"" + edition +
                           "\"; ServerSuiteStandard = \"" + edition + "\"; }");
    EXPECT_STREQ(GetInstallPath(5), v101.c_str());  // major first: 10.1 after 2.1
    EXPECT_STREQ(GetInstallPath(0), current.c_str());
    EXPECT_STREQ(GetInstallPath(1), edition.c_str());
    EXPECT_EQ(GetInstallPath(3), nullptr);  // the server-trace tool has no edition entries
    EXPECT_EQ(GetInstallPath(4), nullptr);
}

TEST_F(InstallPaths, UnusableAuditFilesFindNothing) {
    for (const char *text : {"{ DuvOzurivud3.0 = ", "(a, b)", "", "{ DuvOzurivud3.0 = (x); }",
                             "\"just a string\""}) {
        WriteAudit("home", text);
        delete UseInstallPaths(new ::InstallPaths());
        EXPECT_EQ(GetInstallPath(5), nullptr) << text;
    }
}

}  // namespace
