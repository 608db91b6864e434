// Helpers of the class-file tests: reading sample classes, building small
// class files byte by byte, and owning parsed records.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "capture.h"
#include "classfile/classfile.h"
#include "support/heap.h"

using Bytes = std::vector<uint8_t>;

inline Bytes ReadBytes(const std::filesystem::path &path) {
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in) << path;
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A javac-compiled class of tests/classfile/java, e.g. "zvtest/Flow".
inline Bytes SampleClass(const std::string &name) {
    return ReadBytes(std::string(ZV_SAMPLE_CLASSES) + "/" + name + ".class");
}

inline std::vector<std::filesystem::path> SampleClassFiles() {
    std::vector<std::filesystem::path> files;
    for (const auto &entry : std::filesystem::recursive_directory_iterator(ZV_SAMPLE_CLASSES))
        if (entry.path().extension() == ".class") files.push_back(entry.path());
    return files;
}

struct ClassDeleter {
    void operator()(JCRClass *jclass) const { JCRFreeClass(jclass); }
};
using ClassPtr = std::unique_ptr<JCRClass, ClassDeleter>;

inline ClassPtr Parse(const Bytes &bytes) {
    return ClassPtr(JCRParseClass(bytes.data(), static_cast<int>(bytes.size())));
}

inline Bytes Write(const JCRClass *jclass) {
    int length = -1;
    uint8_t *data = JCRWriteClass(jclass, &length);
    Bytes bytes(data, data + (data == nullptr ? 0 : length));
    sFree(data);
    return bytes;
}

// Builds class-file bytes big-endian, for hand-made and corrupted classes.
struct ClassBytes {
    Bytes bytes;
    ClassBytes &u8(uint32_t v) {
        bytes.push_back(static_cast<uint8_t>(v));
        return *this;
    }
    ClassBytes &u16(uint32_t v) { return u8(v >> 8).u8(v); }
    ClassBytes &u32(uint32_t v) { return u16(v >> 16).u16(v); }
    ClassBytes &utf8(const std::string &text) {
        u8(JCR_CONSTANT_Utf8).u16(static_cast<uint32_t>(text.size()));
        bytes.insert(bytes.end(), text.begin(), text.end());
        return *this;
    }
};

// A minimal valid class named `name` (pool: 1 Utf8 name, 2 Class, 3 Utf8
// "java/lang/Object", 4 Class), no members; `tail` false stops after the
// methods count (no attributes count).
inline Bytes MinimalClass(const std::string &name, bool tail = true) {
    ClassBytes c;
    c.u32(0xCAFEBABE).u16(0).u16(52).u16(5);
    c.utf8(name).u8(JCR_CONSTANT_Class).u16(1).utf8("java/lang/Object").u8(JCR_CONSTANT_Class).u16(3);
    c.u16(0x21).u16(2).u16(4).u16(0).u16(0).u16(0);
    if (tail) c.u16(0);
    return c.bytes;
}
