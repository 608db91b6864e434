// Helpers for the configuration tests: running the option loader with its
// output captured, and scratch files in a private temporary directory.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "config/config.h"
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

inline LoadResult LoadCaptured(const char *options) {
    ResetAgentOptions();
    ResetInstallPaths();
    LoadResult result;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    result.accepted = LoadOptions(options, &result.exclusion, &result.arguments, &result.directIMode,
                &result.useHighPrecisionTimer, &result.ignoreCPUFrequency);
    result.out = testing::internal::GetCapturedStdout();
    result.err = testing::internal::GetCapturedStderr();
    return result;
}

// A fresh directory removed with the object.
class ScratchDirectory {
public:
    ScratchDirectory() {
        std::string pattern = (std::filesystem::temp_directory_path() / "zvcfgXXXXXX").string();
        path_ = mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~ScratchDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::string &path() const { return path_; }
    std::string Write(const std::string &name, const std::string &text) const {
        std::string file = path_ + "/" + name;
        std::filesystem::create_directories(std::filesystem::path(file).parent_path());
        std::ofstream(file, std::ios::binary) << text;
        return file;
    }

private:
    std::string path_;
};

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
