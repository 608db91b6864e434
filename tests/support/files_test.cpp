// Files and directories: tests, listing, creation through files, parent
// paths, library functions, module directories and the host name.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "support/files.h"
#include "support/heap.h"

namespace {

// A fresh directory under the temporary directory, removed with its content.
class TempDir : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/zv_files_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
    }
    void TearDown() override {
        std::string command = "rm -rf '" + root_ + "'";
        ASSERT_EQ(system(command.c_str()), 0);
    }
    std::string Path(const std::string &name) const { return root_ + "/" + name; }

    std::string root_;
};

std::string Take(char *text) {
    std::string result = text == nullptr ? "(null)" : text;
    sFree(text);
    return result;
}

}  // namespace

using Files = TempDir;

TEST_F(Files, KindsOfPaths) {
    std::string file = Path("f.txt");
    ASSERT_EQ(CreateEmptyFile(file.c_str()), 1);
    EXPECT_EQ(FileExists(file.c_str()), 1);
    EXPECT_EQ(IsRegularFile(file.c_str()), 1);
    EXPECT_EQ(IsDirectory(file.c_str()), 0);
    EXPECT_EQ(IsDirectory(root_.c_str()), 1);
    EXPECT_EQ(IsDirectory((root_ + "/").c_str()), 1);
    EXPECT_EQ(IsDirectory("/"), 1);
    EXPECT_EQ(IsDirectoryUtf8(root_.c_str()), 1);
    EXPECT_EQ(IsRegularFile(root_.c_str()), 0);
    EXPECT_EQ(FileExists(Path("missing").c_str()), 0);
    EXPECT_EQ(FileExists(nullptr), 0);
    EXPECT_EQ(IsDirectory(nullptr), 0);
    EXPECT_EQ(CreateEmptyFile(Path("missing/f").c_str()), 0);
}

TEST_F(Files, CreateEmptyFileEmptiesAnExistingFile) {
    std::string file = Path("f.txt");
    FILE *out = fopen(file.c_str(), "w");
    ASSERT_NE(out, nullptr);
    fputs("content", out);
    fclose(out);
    ASSERT_EQ(CreateEmptyFile(file.c_str()), 1);
    struct stat info;
    ASSERT_EQ(stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_size, 0);
}

TEST_F(Files, ListDirectoryNamesAndFullPaths) {
    ASSERT_EQ(CreateEmptyFile(Path("b").c_str()), 1);
    ASSERT_EQ(CreateEmptyFile(Path("a").c_str()), 1);
    ASSERT_EQ(mkdir(Path("sub").c_str(), 0777), 0);

    ZVVector *names = nullptr;
    ZVHashTable *table = nullptr;
    ListDirectory(root_.c_str(), &names, &table, 0);
    ASSERT_NE(names, nullptr);
    ASSERT_NE(table, nullptr);
    EXPECT_STREQ(table->name, "ListFileH");
    ASSERT_EQ(ZVVectorSize(names), 3);  // "." and ".." are skipped
    EXPECT_STREQ(reinterpret_cast<const char *>(ZVElementAt(names, 0)), "a");
    EXPECT_STREQ(reinterpret_cast<const char *>(ZVElementAt(names, 2)), "sub");
    // The same copy serves as vector element, key and value.
    EXPECT_EQ(ZVHashGet(table, reinterpret_cast<ZVWord>("b")), ZVElementAt(names, 1));
    ZVHashFree(table);

    // A second listing appends to the existing vector.
    ListDirectory(root_.c_str(), &names, nullptr, 1);
    ASSERT_EQ(ZVVectorSize(names), 6);
    EXPECT_EQ(reinterpret_cast<const char *>(ZVElementAt(names, 3)), Path("a"));
    FreeNameList(names);
}

TEST_F(Files, ListDirectoryOfMissingDirectoryOrWithoutOutputsDoesNothing) {
    ZVVector *names = nullptr;
    ListDirectory(Path("missing").c_str(), &names, nullptr, 0);
    EXPECT_EQ(names, nullptr);
    ListDirectory(root_.c_str(), nullptr, nullptr, 0);
    FreeNameList(nullptr);
}

TEST_F(Files, MakeDirectoriesCreatesEveryLevel) {
    EXPECT_EQ(MakeDirectories(Path("x/y/z").c_str()), 1);
    EXPECT_EQ(IsDirectory(Path("x/y/z").c_str()), 1);
    EXPECT_EQ(MakeDirectories(Path("x/y/z").c_str()), 1);  // already there
    EXPECT_EQ(MakeDirectories(Path("p/q/").c_str()), 1);
    EXPECT_EQ(IsDirectory(Path("p/q").c_str()), 1);
    // Far longer than any fixed path buffer.
    std::string deep = root_;
    for (int i = 0; i < 60; i++) deep += "/level_of_a_long_path";
    EXPECT_EQ(MakeDirectories(deep.c_str()), 1);
    EXPECT_EQ(IsDirectory(deep.c_str()), 1);
    EXPECT_EQ(MakeDirectories(nullptr), 0);
    EXPECT_EQ(MakeDirectories(""), 0);
}

TEST_F(Files, MakeDirectoriesThroughARegularFileFails) {
    ASSERT_EQ(MakeDirectories(Path("x").c_str()), 1);
    ASSERT_EQ(CreateEmptyFile(Path("x/y").c_str()), 1);

    testing::internal::CaptureStdout();
    EXPECT_EQ(MakeDirectories(Path("x/y/z").c_str()), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "The file named " + Path("x/y") + " needed to have been a directory!\n");
    EXPECT_EQ(FileExists(Path("x/y/z").c_str()), 0);

    testing::internal::CaptureStdout();
    EXPECT_EQ(MakeDirectories(Path("x/y").c_str()), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "The file named " + Path("x/y") + " needed to have been a directory!\n");
}

TEST(MakeDirectories, ReportsLevelsItCannotCreate) {
    // Nobody, not even root, may create directories in /proc.
    testing::internal::CaptureStdout();
    EXPECT_EQ(MakeDirectories("/proc/zv_no_dir/a"), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Could not create the directory named '/proc/zv_no_dir'\n");
    testing::internal::CaptureStdout();
    EXPECT_EQ(MakeDirectories("/proc/zv_no_dir"), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Could not create the directory named /proc/zv_no_dir\n");
}

TEST(ParentDirectory, CopyKeepsTheSlashInPlaceCutsIt) {
    char path[] = "/a/b.txt";
    EXPECT_EQ(Take(ParentDirectory(path, 1)), "/a/");
    EXPECT_STREQ(path, "/a/b.txt");
    EXPECT_EQ(ParentDirectory(path, 0), path);
    EXPECT_STREQ(path, "/a");

    char bare[] = "b.txt";
    EXPECT_EQ(Take(ParentDirectory(bare, 1)), "");
    EXPECT_STREQ(ParentDirectory(bare, 0), "");
    EXPECT_EQ(ParentDirectory(nullptr, 1), nullptr);
}

TEST(LoadLibraryFunction, FindsAFunctionOfLibc) {
    testing::internal::CaptureStderr();
    void *length = LoadLibraryFunction("libc.so.6", "strlen");
    ASSERT_NE(length, nullptr);
    EXPECT_EQ(reinterpret_cast<size_t (*)(const char *)>(length)("abcd"), 4u);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(LoadLibraryFunction, MissingLibraryOrFunctionSaysWhich) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(LoadLibraryFunction("libzv_no_such_library.so", "f"), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Zentrova Error: the library libzv_no_such_library.so was not found.\n");
    testing::internal::CaptureStderr();
    EXPECT_EQ(LoadLibraryFunction("libc.so.6", "zv_no_such_function"), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Zentrova: zv_no_such_function not found in libc.so.6\n");
}

TEST(ModuleDirectory, PathAndDirectoryOfALoadedLibrary) {
    std::string full = Take(ModuleDirectory("libc.so.6", 1));
    std::string directory = Take(ModuleDirectory("libc.so.6", 0));
    ASSERT_EQ(full.front(), '/');
    EXPECT_EQ(full, directory + "/libc.so.6");
    EXPECT_EQ(IsDirectory(directory.c_str()), 1);
    EXPECT_EQ(ModuleDirectory("zv_no_such_module.dll", 0), nullptr);
    EXPECT_NE(Take(ModuleDirectory(nullptr, 1)).find("test_support"), std::string::npos);
}

TEST(GetHostName, GivesATerminatedName) {
    char buffer[2048];
    memset(buffer, 'x', sizeof buffer);
    const char *name = GetHostName(buffer);
    EXPECT_EQ(name, buffer);
    EXPECT_GT(strlen(buffer), 0u);
    EXPECT_LT(strlen(buffer), sizeof buffer);
}
