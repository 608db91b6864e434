// Constant-pool lookups and additions.
#include <cstdio>

#include "classfile/classfile_internal.h"

namespace {

bool TextIs(const JCRClass *jclass, int index, const char *text) {
    const char *entry = JCRUtf8At(jclass, index);
    return entry != nullptr && std::strcmp(entry, text) == 0;
}

// The Class entry at index names `name`.
bool ClassIs(const JCRClass *jclass, int index, const char *name) {
    const JCRConstant *entry = JCRConstantAt(jclass, index, JCR_CONSTANT_Class);
    return entry != nullptr && TextIs(jclass, entry->index1, name);
}

bool NameAndTypeIs(const JCRClass *jclass, int index, const char *name, const char *descriptor) {
    const JCRConstant *entry = JCRConstantAt(jclass, index, JCR_CONSTANT_NameAndType);
    return entry != nullptr && TextIs(jclass, entry->index1, name) && TextIs(jclass, entry->index2, descriptor);
}

int FindMemberRef(const JCRClass *jclass, int tag, const char *className, const char *name,
                  const char *descriptor) {
    for (int index = 1; index < jclass->constant_pool_count; index++) {
        const JCRConstant *entry = jclass->constant_pool[index];
        if (entry != nullptr && entry->tag == tag && ClassIs(jclass, entry->index1, className) &&
            NameAndTypeIs(jclass, entry->index2, name, descriptor))
            return index;
    }
    return -1;
}

JCRConstant *NewConstant(int tag) {
    JCRConstant *entry = JCRAllocateArray<JCRConstant>(1);
    if (entry != nullptr) entry->tag = static_cast<uint8_t>(tag);
    return entry;
}

int AddIndexed(JCRClass *jclass, int tag, int index1, int index2) {
    if (index1 <= 0 || index2 < 0) return 0;
    JCRConstant *entry = NewConstant(tag);
    if (entry == nullptr) return 0;
    entry->index1 = static_cast<uint16_t>(index1);
    entry->index2 = static_cast<uint16_t>(index2);
    return JCRAppendConstant(jclass, entry);
}

int FindOrAddUtf8(JCRClass *jclass, const char *text) {
    int index = JCRFindUtf8(jclass, text);
    return index > 0 ? index : JCRAddUtf8(jclass, text);
}

int AddMemberRef(JCRClass *jclass, int tag, const char *className, const char *name, const char *descriptor) {
    int classIndex = JCRFindClassRef(jclass, className);
    if (classIndex <= 0) classIndex = JCRAddClassRef(jclass, className);
    int nameAndType = JCRFindNameAndType(jclass, name, descriptor);
    if (nameAndType <= 0) nameAndType = JCRAddNameAndType(jclass, name, descriptor);
    if (classIndex <= 0 || nameAndType <= 0) return 0;
    return AddIndexed(jclass, tag, classIndex, nameAndType);
}

}  // namespace

const JCRConstant *JCRConstantAt(const JCRClass *jclass, int index, int tag) {
    if (jclass->constant_pool == nullptr || index <= 0 || index >= jclass->constant_pool_count) return nullptr;
    const JCRConstant *entry = jclass->constant_pool[index];
    if (entry == nullptr || (tag != 0 && entry->tag != tag)) return nullptr;
    return entry;
}

const char *JCRUtf8At(const JCRClass *jclass, int index) {
    const JCRConstant *entry = JCRConstantAt(jclass, index, JCR_CONSTANT_Utf8);
    return entry == nullptr ? nullptr : entry->text;
}

int JCRFindUtf8(const JCRClass *jclass, const char *text) {
    for (int index = 1; index < jclass->constant_pool_count; index++) {
        const JCRConstant *entry = jclass->constant_pool[index];
        if (entry != nullptr && entry->tag == JCR_CONSTANT_Utf8 && std::strcmp(entry->text, text) == 0)
            return index;
    }
    return -1;
}

int JCRFindInteger(const JCRClass *jclass, int32_t value) {
    for (int index = 1; index < jclass->constant_pool_count; index++) {
        const JCRConstant *entry = jclass->constant_pool[index];
        if (entry != nullptr && entry->tag == JCR_CONSTANT_Integer && entry->value == static_cast<uint32_t>(value))
            return index;
    }
    return -1;
}

int JCRFindClassRef(const JCRClass *jclass, const char *name) {
    for (int index = 1; index < jclass->constant_pool_count; index++) {
        const JCRConstant *entry = jclass->constant_pool[index];
        if (entry != nullptr && entry->tag == JCR_CONSTANT_Class && TextIs(jclass, entry->index1, name))
            return index;
    }
    return -1;
}

int JCRFindString(const JCRClass *jclass, const char *text) {
    for (int index = 1; index < jclass->constant_pool_count; index++) {
        const JCRConstant *entry = jclass->constant_pool[index];
        if (entry != nullptr && entry->tag == JCR_CONSTANT_String && TextIs(jclass, entry->index1, text))
            return index;
    }
    return -1;
}

int JCRFindNameAndType(const JCRClass *jclass, const char *name, const char *descriptor) {
    for (int index = 1; index < jclass->constant_pool_count; index++) {
        if (NameAndTypeIs(jclass, index, name, descriptor)) return index;
    }
    return -1;
}

int JCRFindMethodref(const JCRClass *jclass, const char *className, const char *name, const char *descriptor) {
    return FindMemberRef(jclass, JCR_CONSTANT_Methodref, className, name, descriptor);
}

int JCRFindFieldref(const JCRClass *jclass, const char *className, const char *name, const char *descriptor) {
    return FindMemberRef(jclass, JCR_CONSTANT_Fieldref, className, name, descriptor);
}

int JCRAppendConstant(JCRClass *jclass, JCRConstant *entry) {
    if (jclass->constant_pool_count >= JCR_MAX_CONSTANT_POOL_COUNT) {
        const char *name = JCRClassName(jclass);
        std::fprintf(stderr, "\n\nWARNING WARNING -- ConstantPool too large! -- <%s>\n\n", name ? name : "");
        sFree(entry);
        return 0;
    }
    // Slot 0 stays unused even in a pool that starts empty.
    int oldCount = jclass->constant_pool_count == 0 ? 1 : jclass->constant_pool_count;
    JCRConstant **pool = JCRAllocateArray<JCRConstant *>(oldCount + 1);
    if (pool == nullptr) {
        sFree(entry);
        return 0;
    }
    if (jclass->constant_pool != nullptr)
        std::memcpy(pool, jclass->constant_pool, jclass->constant_pool_count * sizeof(JCRConstant *));
    pool[oldCount] = entry;
    sFree(jclass->constant_pool);
    jclass->constant_pool = pool;
    jclass->constant_pool_count = static_cast<uint16_t>(oldCount + 1);
    return oldCount;
}

int JCRAddUtf8(JCRClass *jclass, const char *text) {
    size_t length = std::strlen(text);
    if (length > 0xFFFF) return 0;
    auto *entry = static_cast<JCRConstant *>(JCRAllocateZeroed(sizeof(JCRConstant) + length + 1));
    if (entry == nullptr) return 0;
    entry->tag = JCR_CONSTANT_Utf8;
    entry->length = static_cast<uint16_t>(length);
    std::memcpy(entry->text, text, length + 1);
    return JCRAppendConstant(jclass, entry);
}

int JCRAddInteger(JCRClass *jclass, int32_t value) {
    JCRConstant *entry = NewConstant(JCR_CONSTANT_Integer);
    if (entry == nullptr) return 0;
    entry->value = static_cast<uint32_t>(value);
    return JCRAppendConstant(jclass, entry);
}

int JCRAddString(JCRClass *jclass, const char *text) {
    return AddIndexed(jclass, JCR_CONSTANT_String, JCRAddUtf8(jclass, text), 0);
}

int JCRAddClassRef(JCRClass *jclass, const char *name) {
    int existing = JCRFindClassRef(jclass, name);
    if (existing > 0) return existing;
    return AddIndexed(jclass, JCR_CONSTANT_Class, FindOrAddUtf8(jclass, name), 0);
}

int JCRAddNameAndType(JCRClass *jclass, const char *name, const char *descriptor) {
    int nameIndex = FindOrAddUtf8(jclass, name);
    int descriptorIndex = FindOrAddUtf8(jclass, descriptor);
    if (descriptorIndex <= 0) return 0;
    return AddIndexed(jclass, JCR_CONSTANT_NameAndType, nameIndex, descriptorIndex);
}

int JCRAddMethodref(JCRClass *jclass, const char *className, const char *name, const char *descriptor) {
    return AddMemberRef(jclass, JCR_CONSTANT_Methodref, className, name, descriptor);
}

int JCRAddFieldref(JCRClass *jclass, const char *className, const char *name, const char *descriptor) {
    return AddMemberRef(jclass, JCR_CONSTANT_Fieldref, className, name, descriptor);
}
