// Module lookup: Windows and short names, loaded-module paths, loading
// libraries and their exports.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/module.h"

TEST(LinuxModuleName, MapsWindowsAndShortNames) {
    EXPECT_EQ(LinuxModuleName("jvm.dll"), "libjvm.so");
    EXPECT_EQ(LinuxModuleName("evmcoreDev.DLL"), "libevmcoreDev.so");
    EXPECT_EQ(LinuxModuleName("zvi"), "libzvi.so");
    EXPECT_EQ(LinuxModuleName("libjvm.so"), "libjvm.so");
    EXPECT_EQ(LinuxModuleName("libc.so.6"), "libc.so.6");
    EXPECT_EQ(LinuxModuleName("/opt/x/jvm.dll"), "/opt/x/jvm.dll");
}

TEST(LoadedModules, FoundByEveryFormOfTheName) {
    std::string error;
    ASSERT_NE(OpenLibrary("libm.so.6", &error), nullptr) << error;
    std::string path = LoadedModulePath("libm.so.6");
    ASSERT_EQ(path.rfind('/'), path.size() - strlen("/libm.so.6")) << path;
    for (const char *name : {"m", "m.dll", "libm.so"}) EXPECT_EQ(LoadedModulePath(name), path) << name;
    EXPECT_TRUE(IsModuleLoaded("m"));
    EXPECT_FALSE(IsModuleLoaded("zv_no_such_module.dll"));
    EXPECT_FALSE(IsModuleLoaded(nullptr));
    EXPECT_EQ(LoadedModuleHandle("zv_no_such_module"), nullptr);
}

TEST(LoadedModules, HandleGivesExportsAndAddressesGiveModules) {
    void *libc = LoadedModuleHandle("libc.so.6");
    ASSERT_NE(libc, nullptr);
    // Looked up rather than taken as &strlen, which sanitizers replace.
    void *length = LibrarySymbol(libc, "strlen");
    ASSERT_NE(length, nullptr);
    EXPECT_EQ(reinterpret_cast<size_t (*)(const char *)>(length)("abc"), 3u);
    EXPECT_EQ(ModulePathContaining(length), LoadedModulePath("libc.so.6"));
    EXPECT_EQ(LibrarySymbol(libc, "zv_no_such_function"), nullptr);
    EXPECT_EQ(LibrarySymbol(nullptr, "strlen"), nullptr);

    static int local;
    EXPECT_NE(ModulePathContaining(&local).find("test_platform"), std::string::npos);
    EXPECT_NE(ExecutablePath().find("/test_platform"), std::string::npos);
}

TEST(OpenLibrary, MissingLibraryExplainsWhy) {
    std::string error;
    EXPECT_EQ(OpenLibrary("libzv_no_such_library.so", &error), nullptr);
    EXPECT_NE(error.find("libzv_no_such_library.so"), std::string::npos) << error;
    EXPECT_EQ(OpenLibrary(nullptr, nullptr), nullptr);
}
