// Helpers of the bytecode editor tests: code records from byte vectors,
// encoded lists as vectors, empty class records, classes from directories and jars.
#pragma once

#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "classfile/bytecode.h"
#include "zvtool/class_sources.h"
#include "support/heap.h"

namespace editor_test {

using Bytes = std::vector<uint8_t>;

struct FreeCode {
    void operator()(JCRCode *code) const { JCRFreeCode(code); }
};
struct FreeList {
    void operator()(JCRInsnList *list) const { JCRFreeInsnList(list); }
};
struct FreeClass {
    void operator()(JCRClass *jclass) const { JCRFreeClass(jclass); }
};
struct FreeLineTable {
    void operator()(JCRLineTable *table) const { JCRFreeLineTable(table); }
};
using CodePtr = std::unique_ptr<JCRCode, FreeCode>;
using ListPtr = std::unique_ptr<JCRInsnList, FreeList>;
using ClassPtr = std::unique_ptr<JCRClass, FreeClass>;
using LineTablePtr = std::unique_ptr<JCRLineTable, FreeLineTable>;

// A Code record owning a copy of the bytes and of the exception entries.
inline CodePtr makeCode(const Bytes &bytes, std::initializer_list<JCRExceptionEntry> exceptions = {}) {
    auto *code = static_cast<JCRCode *>(sMalloc(sizeof(JCRCode)));
    std::memset(code, 0, sizeof(JCRCode));
    code->max_stack = 10;
    code->max_locals = 10;
    code->code_length = static_cast<uint32_t>(bytes.size());
    if (!bytes.empty()) {
        code->code = static_cast<uint8_t *>(sMalloc(static_cast<int>(bytes.size())));
        std::memcpy(code->code, bytes.data(), bytes.size());
    }
    if (exceptions.size() > 0) {
        code->exception_table_length = static_cast<uint16_t>(exceptions.size());
        code->exception_table =
            static_cast<JCRExceptionEntry *>(sMalloc(static_cast<int>(exceptions.size() * sizeof(JCRExceptionEntry))));
        std::copy(exceptions.begin(), exceptions.end(), code->exception_table);
    }
    return CodePtr(code);
}

inline LineTablePtr makeLineTable(std::initializer_list<JCRLineEntry> entries) {
    auto *table = static_cast<JCRLineTable *>(sMalloc(sizeof(JCRLineTable)));
    std::memset(table, 0, sizeof(JCRLineTable));
    table->count = static_cast<uint16_t>(entries.size());
    table->length = static_cast<uint16_t>(2 + 4 * entries.size());
    if (entries.size() > 0) {
        table->entries = static_cast<JCRLineEntry *>(sMalloc(static_cast<int>(entries.size() * sizeof(JCRLineEntry))));
        std::copy(entries.begin(), entries.end(), table->entries);
    }
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
    auto *jclass = static_cast<JCRClass *>(sMalloc(sizeof(JCRClass)));
    std::memset(jclass, 0, sizeof(JCRClass));
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

}  // namespace editor_test
