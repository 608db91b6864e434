// Module lookup: loaded modules by every form of their name, and why a
// library could not be loaded. (The VM library's exports are read in a real VM.)
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/module.h"

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

TEST(OpenLibrary, MissingLibraryExplainsWhy) {
    std::string error;
    EXPECT_EQ(OpenLibrary("libzv_no_such_library.so", &error), nullptr);
    EXPECT_NE(error.find("libzv_no_such_library.so"), std::string::npos) << error;
    EXPECT_EQ(OpenLibrary(nullptr, nullptr), nullptr);
}
