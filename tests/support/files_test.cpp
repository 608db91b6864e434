// Files and directories: listing, creation of long paths and what cannot be
// created, library functions and module directories.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <string>

#include "capture.h"
#include "scratch_directory.h"
#include "support/files.h"
#include "support/heap.h"

namespace {

std::string Take(char *text) {
    std::string result = text == nullptr ? "(null)" : text;
    sFree(text);
    return result;
}

// Each test gets a fresh directory, removed with its content.
class Files : public testing::Test {
protected:
    std::string Path(const std::string &name) const { return root_ + "/" + name; }

    ScratchDirectory scratch_;
    const std::string root_ = scratch_.path();
};

}  // namespace

TEST_F(Files, ListDirectoryNamesAndFullPaths) {
    ASSERT_EQ(CreateEmptyFile(Path("b").c_str()) + CreateEmptyFile(Path("a").c_str()), 2);
    ASSERT_EQ(mkdir(Path("sub").c_str(), 0777), 0);
    ZVVector *names = nullptr;
    ZVHashTable *table = nullptr;
    ListDirectory(root_.c_str(), &names, &table, 0);
    ASSERT_NE(names, nullptr);
    ASSERT_NE(table, nullptr);
    ASSERT_EQ(ZVVectorSize(names), 3);  // "." and ".." are skipped
    EXPECT_STREQ(reinterpret_cast<const char *>(ZVElementAt(names, 2)), "sub");
    EXPECT_EQ(ZVHashGet(table, reinterpret_cast<ZVWord>("b")), ZVElementAt(names, 1));  // one shared copy
    ZVHashFree(table);

    ListDirectory(root_.c_str(), &names, nullptr, 1);  // appends
    ASSERT_EQ(ZVVectorSize(names), 6);
    EXPECT_EQ(reinterpret_cast<const char *>(ZVElementAt(names, 3)), Path("a"));
    FreeNameList(names);

    names = nullptr;
    ListDirectory(Path("missing").c_str(), &names, nullptr, 0);
    EXPECT_EQ(names, nullptr);
}

TEST_F(Files, MakeDirectoriesCreatesEveryLevelOfLongPathsAndSaysWhatItCannot) {
    EXPECT_EQ(MakeDirectories(Path("p/q/").c_str()), 1);
    EXPECT_EQ(IsDirectory(Path("p/q").c_str()), 1);
    std::string deep = root_;
    for (int i = 0; i < 60; i++) deep += "/level_of_a_long_path";  // far beyond 1024 bytes
    EXPECT_EQ(MakeDirectories(deep.c_str()), 1);
    EXPECT_EQ(MakeDirectories(deep.c_str()), 1);
    EXPECT_EQ(IsDirectory(deep.c_str()), 1);
    // A regular file in the way fails.
    ASSERT_EQ(MakeDirectories(Path("x").c_str()), 1);
    ASSERT_EQ(CreateEmptyFile(Path("x/y").c_str()), 1);
    const std::string message = "The file named " + Path("x/y") + " needed to have been a directory!\n";
    for (const char *name : {"x/y/z", "x/y"}) {
        EXPECT_EQ(StdoutOf([&] { EXPECT_EQ(MakeDirectories(Path(name).c_str()), 0); }), message);
    }
    // Nobody, not even root, may create directories in /proc.
    testing::internal::CaptureStdout();
    EXPECT_EQ(MakeDirectories("/proc/zv_no_dir/a"), 0);
    EXPECT_EQ(MakeDirectories("/proc/zv_no_dir"), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Could not create the directory named '/proc/zv_no_dir'\n"
              "Could not create the directory named /proc/zv_no_dir\n");
}

TEST(LoadedLibraries, FunctionsNamesOfWhatIsMissingAndModuleDirectories) {
    testing::internal::CaptureStderr();
    void *length = LoadLibraryFunction("libc.so.6", "strlen");
    ASSERT_NE(length, nullptr);
    EXPECT_EQ(reinterpret_cast<size_t (*)(const char *)>(length)("abcd"), 4u);
    EXPECT_EQ(LoadLibraryFunction("libzv_no_such_library.so", "f"), nullptr);
    EXPECT_EQ(LoadLibraryFunction("libc.so.6", "zv_no_such_function"), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Zentrova Error: the library libzv_no_such_library.so was not found.\n"
              "Zentrova: zv_no_such_function not found in libc.so.6\n");
    // The path and directory of a loaded library.
    std::string full = Take(ModuleDirectory("libc.so.6", 1));
    std::string directory = Take(ModuleDirectory("libc.so.6", 0));
    EXPECT_EQ(full, directory + "/libc.so.6");
    EXPECT_EQ(IsDirectory(directory.c_str()), 1);
    EXPECT_EQ(ModuleDirectory("zv_no_such_module.dll", 0), nullptr);
}
