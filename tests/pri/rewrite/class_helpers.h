// Helpers of the instrumentation tests: class files read, parsed and written
// back, and commands run with their output collected.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "classfile/classfile.h"
#include "support/heap.h"
#include "zvtool/class_sources.h"

using Bytes = std::vector<uint8_t>;
struct ClassDeleter {
    void operator()(JCRClass *jclass) const { JCRFreeClass(jclass); }
};
using ClassPtr = std::unique_ptr<JCRClass, ClassDeleter>;

// The class file of `name` (internal form) in a directory, jar or jmod.
inline Bytes classBytes(const std::string &source, const std::string &name) {
    Bytes bytes;
    EXPECT_TRUE(ReadClass(source, name, &bytes)) << source << " " << name;
    return bytes;
}

inline ClassPtr parse(const Bytes &bytes) {
    return ClassPtr(JCRParseClass(bytes.data(), static_cast<int>(bytes.size())));
}

inline Bytes write(const JCRClass *jclass) {
    int length = 0;
    std::unique_ptr<uint8_t, decltype(&sFree)> data(JCRWriteClass(jclass, &length), sFree);
    return Bytes(data.get(), data.get() + (data == nullptr ? 0 : length));
}

// What the command wrote to standard output and standard error.
inline std::string run(const std::string &command) {
    std::string out;
    FILE *pipe = popen((command + " 2>&1").c_str(), "r");
    char buffer[4096];
    size_t n;
    while (pipe != nullptr && (n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    if (pipe != nullptr) pclose(pipe);
    return out;
}
