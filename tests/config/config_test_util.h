// Helpers for the configuration tests: running the option loader with its
// output captured, and looking up values in the trees it made.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "config/config.h"
#include "scratch_directory.h"
#include "support/install_paths.h"

struct LoadResult {
    std::string out;
    std::string err;
    SEElement *exclusion = nullptr;
    SEElement *arguments = nullptr;
    int32_t directIMode = 1;
    int32_t useHighPrecisionTimer = 1;
    int32_t ignoreCPUFrequency = 0;
    bool accepted = false;  // what LoadOptions returned
};

// The option record in use, read anew at each use: every load installs a
// fresh one.
struct OptionsInUse {
    const AgentOptions *operator->() const { return &CurrentOptions(); }
};

inline LoadResult LoadCaptured(const char *options) {
    FreeAgentOptions(InstallAgentOptions(NewAgentOptions()));
    delete UseInstallPaths(new InstallPaths());
    LoadResult result;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    result.accepted = LoadOptions(options, &result.exclusion, &result.arguments, &result.directIMode,
                &result.useHighPrecisionTimer, &result.ignoreCPUFrequency);
    result.out = testing::internal::GetCapturedStdout();
    result.err = testing::internal::GetCapturedStderr();
    return result;
}

inline const SEElement *MapPath(const SEElement *map, std::initializer_list<const char *> keys) {
    for (const char *key : keys) {
        if (map == nullptr) return nullptr;
        map = SEMapGet(map, key);
    }
    return map;
}

inline std::string StringAt(const SEElement *map, std::initializer_list<const char *> keys) {
    const SEElement *value = MapPath(map, keys);
    return value && value->type == SE_STRING ? SEGetString(value) : std::string("<absent>");
}

inline int IntAt(const SEElement *map, std::initializer_list<const char *> keys) {
    const SEElement *value = MapPath(map, keys);
    return value && value->type == SE_INT32 ? static_cast<int>(value->value) : -999;
}
