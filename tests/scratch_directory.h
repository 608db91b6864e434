// A fresh private directory under the temporary directory, removed with its
// content when the object goes; shared by the unit-test suites.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

class ScratchDirectory {
public:
    ScratchDirectory() {
        std::string pattern = (std::filesystem::temp_directory_path() / "zvtestXXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
        else ADD_FAILURE() << "cannot make " << pattern;
    }
    ~ScratchDirectory() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    ScratchDirectory(const ScratchDirectory &) = delete;
    ScratchDirectory &operator=(const ScratchDirectory &) = delete;

    const std::string &path() const { return path_; }
    // Writes `text` to `name` below the directory, making its parents; the full path.
    std::string Write(const std::string &name, const std::string &text) const {
        std::string file = path_ + "/" + name;
        std::filesystem::create_directories(std::filesystem::path(file).parent_path());
        std::ofstream(file, std::ios::binary) << text;
        return file;
    }

private:
    std::string path_;
};
