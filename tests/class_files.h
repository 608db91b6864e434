// Helpers of the tests that read, build, edit and write class files: sample
// classes, hand-made class bytes, owned records and code, commands' output.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "capture.h"
#include "classfile/bytecode.h"
#include "classfile/classfile.h"
#include "support/heap.h"
#include "zvtool/class_sources.h"

using Bytes = std::vector<uint8_t>;

template <auto Free>
struct Freeing {
    template <typename T>
    void operator()(T *record) const { Free(record); }
};
using ClassPtr = std::unique_ptr<JCRClass, Freeing<JCRFreeClass>>;
using CodePtr = std::unique_ptr<JCRCode, Freeing<JCRFreeCode>>;
using ListPtr = std::unique_ptr<JCRInsnList, Freeing<JCRFreeInsnList>>;
using LineTablePtr = std::unique_ptr<JCRLineTable, Freeing<JCRFreeLineTable>>;

inline Bytes ReadBytes(const std::filesystem::path &path) {
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in) << path;
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The class file of `name` (internal form) in a directory, jar or jmod.
inline Bytes ClassBytesOf(const std::string &source, const std::string &name) {
    Bytes bytes;
    EXPECT_TRUE(ReadClass(source, name, &bytes)) << source << " " << name;
    return bytes;
}

#ifdef ZV_SAMPLE_CLASSES
// A javac-compiled class of tests/classfile/java, e.g. "zvtest/Flow".
inline Bytes SampleClass(const std::string &name) {
    return ReadBytes(std::string(ZV_SAMPLE_CLASSES) + "/" + name + ".class");
}
#endif

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

// An attribute on the agent heap named by pool entry `nameIndex`, holding `info`.
inline JCRAttribute *MakeAttribute(uint16_t nameIndex, const Bytes &info) {
    auto *attribute = static_cast<JCRAttribute *>(sMalloc(static_cast<int>(sizeof(JCRAttribute) + info.size())));
    attribute->name_index = nameIndex;
    attribute->length = static_cast<uint32_t>(info.size());
    if (!info.empty()) std::memcpy(attribute->info, info.data(), info.size());
    return attribute;
}

// Appends an attribute named `name` holding `info` to a class's or member's attributes.
template <typename Owner>
void AddAttribute(JCRClass *jclass, Owner *owner, const char *name, const Bytes &info = {}) {
    auto **attributes =
        static_cast<JCRAttribute **>(sMalloc(static_cast<int>(sizeof(JCRAttribute *) * (owner->attributes_count + 1u))));
    for (int a = 0; a < owner->attributes_count; ++a) attributes[a] = owner->attributes[a];
    attributes[owner->attributes_count++] = MakeAttribute(static_cast<uint16_t>(JCRAddUtf8(jclass, name)), info);
    JCRRelease(&jclass->arena, owner->attributes);
    owner->attributes = attributes;
}

// A zeroed record of the agent heap with `count` copies of the items in *array.
template <typename T, typename Item>
T *HeapRecord(Item **array = nullptr, std::initializer_list<Item> items = {}) {
    auto *record = static_cast<T *>(sMalloc(sizeof(T)));
    std::memset(record, 0, sizeof(T));
    if (array != nullptr && items.size() > 0) {
        *array = static_cast<Item *>(sMalloc(static_cast<int>(items.size() * sizeof(Item))));
        std::copy(items.begin(), items.end(), *array);
    }
    return record;
}

// A Code record owning a copy of the bytes and of the exception entries.
inline CodePtr makeCode(const Bytes &bytes, std::initializer_list<JCRExceptionEntry> exceptions = {}) {
    JCRExceptionEntry *table = nullptr;
    auto *code = HeapRecord<JCRCode>(&table, exceptions);
    code->max_stack = code->max_locals = 10;
    code->exception_table = table;
    code->exception_table_length = static_cast<uint16_t>(exceptions.size());
    code->code_length = static_cast<uint32_t>(bytes.size());
    if (!bytes.empty()) {
        code->code = static_cast<uint8_t *>(sMalloc(static_cast<int>(bytes.size())));
        std::memcpy(code->code, bytes.data(), bytes.size());
    }
    return CodePtr(code);
}

inline LineTablePtr makeLineTable(std::initializer_list<JCRLineEntry> entries) {
    JCRLineEntry *copied = nullptr;
    auto *table = HeapRecord<JCRLineTable>(&copied, entries);
    table->entries = copied;
    table->count = static_cast<uint16_t>(entries.size());
    table->length = static_cast<uint16_t>(2 + 4 * entries.size());
    return LineTablePtr(table);
}

inline ListPtr decode(const JCRCode *code) { return ListPtr(JCRDecodeCode(code)); }

inline Bytes encode(const JCRInsnList *list) {
    int length = 0;
    uint8_t *bytes = JCREncodeCode(list, &length);
    Bytes result(bytes, bytes + length);
    sFree(bytes);
    return result;
}

// A class record with an empty constant pool, for the builders.
inline ClassPtr makeEmptyClass() {
    auto *jclass = HeapRecord<JCRClass, JCRConstant *>();
    jclass->magic = 0xCAFEBABE;
    jclass->major_version = 50;
    jclass->constant_pool_count = 1;
    jclass->constant_pool = static_cast<JCRConstant **>(sMalloc(sizeof(JCRConstant *)));
    jclass->constant_pool[0] = nullptr;
    return ClassPtr(jclass);
}

using NamedBytes = std::pair<std::string, Bytes>;

// The class files under each path (directories, jars), as (name, bytes).
inline std::vector<NamedBytes> loadClasses(const std::vector<std::string> &paths) {
    std::vector<LoadedClass> loaded;
    LoadClasses(paths, &loaded);
    std::vector<NamedBytes> classes;
    for (LoadedClass &c : loaded) classes.emplace_back(std::move(c.name), std::move(c.bytes));
    return classes;
}

inline const char *memberName(const JCRClass *jclass, const JCRMember *member) {
    const char *name = JCRUtf8At(jclass, member->name_index);
    return name == nullptr ? "?" : name;
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
