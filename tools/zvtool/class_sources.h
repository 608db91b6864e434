// Finds class files in a class file path, a directory tree, or a jar, zip or
// jmod archive, and hands each one's bytes to a visitor or reads one by name.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

using ClassVisitor = std::function<void(const std::string &name, std::span<const uint8_t> bytes)>;

// Visits every class file that `path` names or contains (directories are
// walked in sorted order; archive entries in archive order). False, after a
// message on standard error, when the path or an archive cannot be read, is
// not a regular file, or a class file is larger than 64 MiB.
bool ForEachClass(const std::string &path, const ClassVisitor &visit);

// The class file of className (internal form, "java/lang/Thread") in a
// directory tree, a jar or a jmod, or the class file that path names; false
// when it cannot be found or read.
bool ReadClass(const std::string &path, const std::string &className, std::vector<uint8_t> *bytes);

struct LoadedClass {
    std::string name;
    std::vector<uint8_t> bytes;
};

// Every class file under the paths, in memory; false when a path failed.
bool LoadClasses(const std::vector<std::string> &paths, std::vector<LoadedClass> *classes);
