// Helpers for the configuration tests: running the option loader with its
// output captured, and looking up values in the trees it made.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "config/config.h"
#include "support/element_maps.h"
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

// A tree as text that keeps the kinds apart: maps as {key=value;...} sorted
// by key, 32-bit numbers as #N, strings as they are.
inline std::string Tree(const SEElement *element) {
    if (element == nullptr) return "<absent>";
    if (element->type == SE_INT32) return "#" + std::to_string(static_cast<int32_t>(element->value));
    if (element->type == SE_STRING) return SEGetString(element);
    if (element->type != SE_MAP) return "?";
    std::string text = "{";
    for (const auto &[key, value] : seMapVisibleEntries(element)) text += std::string(key) + "=" + Tree(value) + ";";
    return text + "}";
}
