// Module lookup: Windows and short names, loaded-module paths, loading
// libraries and their exports.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/module.h"

TEST(LinuxModuleName, MapsWindowsAndShortNames) {
    EXPECT_EQ(LinuxModuleName("jvm.dll"), "libjvm.so");
    EXPECT_EQ(LinuxModuleName("r2orar.dll"), "libr2orar.so");
    EXPECT_EQ(LinuxModuleName("pri.dll"), "libpri.so");
    EXPECT_EQ(LinuxModuleName("z2a.dll"), "libz2a.so");
    EXPECT_EQ(LinuxModuleName("evmcoreDev.dll"), "libevmcoreDev.so");
    EXPECT_EQ(LinuxModuleName("zvi"), "libzvi.so");
    EXPECT_EQ(LinuxModuleName("JVM.DLL"), "libJVM.so");
    EXPECT_EQ(LinuxModuleName("jvm"), "libjvm.so");
    EXPECT_EQ(LinuxModuleName("libjvm.so"), "libjvm.so");
    EXPECT_EQ(LinuxModuleName("libc.so.6"), "libc.so.6");
    EXPECT_EQ(LinuxModuleName("/opt/x/libjvm.so"), "/opt/x/libjvm.so");
}

TEST(LoadedModules, FoundByEveryFormOfTheName) {
    std::string error;
    void *libm = OpenLibrary("libm.so.6", &error);
    ASSERT_NE(libm, nullptr) << error;
    std::string path = LoadedModulePath("libm.so.6");
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(path.front(), '/');
    EXPECT_NE(path.find("libm.so.6"), std::string::npos);
    for (const char *name : {"m", "m.dll", "libm.so"}) {
        EXPECT_TRUE(IsModuleLoaded(name)) << name;
        EXPECT_EQ(LoadedModulePath(name), path) << name;
    }
}

TEST(LoadedModules, MissingModuleIsNotLoaded) {
    EXPECT_FALSE(IsModuleLoaded("zv_no_such_module.dll"));
    EXPECT_EQ(LoadedModulePath("zv_no_such_module"), "");
    EXPECT_EQ(LoadedModuleHandle("zv_no_such_module"), nullptr);
    EXPECT_FALSE(IsModuleLoaded(nullptr));
    EXPECT_FALSE(IsModuleLoaded(""));
}

TEST(LoadedModules, HandleGivesExports) {
    void *libc = LoadedModuleHandle("libc.so.6");
    ASSERT_NE(libc, nullptr);
    void *length = LibrarySymbol(libc, "strlen");
    ASSERT_NE(length, nullptr);
    EXPECT_EQ(reinterpret_cast<size_t (*)(const char *)>(length)("abc"), 3u);
    EXPECT_EQ(LibrarySymbol(libc, "zv_no_such_function"), nullptr);
    EXPECT_EQ(LibrarySymbol(nullptr, "strlen"), nullptr);
}

TEST(LoadedModules, PathContainingAnAddress) {
    // Looked up rather than &strlen, which sanitizers replace with their own.
    void *length = LibrarySymbol(LoadedModuleHandle("libc.so.6"), "strlen");
    EXPECT_EQ(ModulePathContaining(length), LoadedModulePath("libc.so.6"));
    static int local;
    EXPECT_NE(ModulePathContaining(&local).find("test_platform"), std::string::npos);
}

TEST(OpenLibrary, MissingLibraryExplainsWhy) {
    std::string error;
    EXPECT_EQ(OpenLibrary("libzv_no_such_library.so", &error), nullptr);
    EXPECT_NE(error.find("libzv_no_such_library.so"), std::string::npos) << error;
    EXPECT_EQ(OpenLibrary(nullptr, nullptr), nullptr);
}

TEST(LoadedModules, ExecutablePathIsTheTestProgram) {
    std::string path = ExecutablePath();
    EXPECT_EQ(path.front(), '/');
    EXPECT_NE(path.find("test_platform"), std::string::npos) << path;
}
