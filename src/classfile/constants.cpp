// Constant-pool lookups and additions.
#include <cstdio>
#include <new>
#include <vector>

#include "classfile/classfile_internal.h"

namespace {

bool TextIs(const JCRClass *jclass, int index, const char *text) {
    const char *entry = JCRUtf8At(jclass, index);
    return entry != nullptr && std::strcmp(entry, text) == 0;
}

// The same with the text's length known: most entries differ in length.
bool TextIs(const JCRClass *jclass, int index, const char *text, size_t length) {
    const JCRConstant *entry = JCRConstantAt(jclass, index, JCR_CONSTANT_Utf8);
    return entry != nullptr && entry->length == length && std::memcmp(entry->text, text, length) == 0;
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

JCRConstant *NewConstant(JCRClass *jclass, int tag) {
    JCRConstant *entry = JCRArenaArray<JCRConstant>(&jclass->arena, 1);
    if (entry != nullptr) entry->tag = static_cast<uint8_t>(tag);
    return entry;
}

int AddIndexed(JCRClass *jclass, int tag, int index1, int index2) {
    if (index1 <= 0 || index2 < 0) return 0;
    JCRConstant *entry = NewConstant(jclass, tag);
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
    size_t length = std::strlen(text);
    if (length > 0xFFFF) return -1;
    for (int index = 1; index < jclass->constant_pool_count; index++) {
        const JCRConstant *entry = jclass->constant_pool[index];
        if (entry != nullptr && entry->tag == JCR_CONSTANT_Utf8 && entry->length == length &&
            std::memcmp(entry->text, text, length) == 0)
            return index;
    }
    return -1;
}

int JCRFindInteger(const JCRClass *jclass, int32_t value) {
    // Every instrumented method pushes its id, past 32767 an Integer
    // constant: the pool's Integers are indexed once, and the index follows
    // the entries added at the end since. The index is a cache of the record.
    auto *self = const_cast<JCRClass *>(jclass);
    if (self->integer_index == nullptr) {
        self->integer_index = new (std::nothrow) JCRIntegerIndex;
        self->integers_indexed = 1;
    }
    JCRIntegerIndex *index = self->integer_index;
    if (index == nullptr) return -1;
    if (self->integers_indexed > jclass->constant_pool_count) {  // a pool replaced by a shorter one
        index->first.clear();
        self->integers_indexed = 1;
    }
    for (int slot = self->integers_indexed; slot < jclass->constant_pool_count; slot++) {
        const JCRConstant *entry = jclass->constant_pool[slot];
        if (entry != nullptr && entry->tag == JCR_CONSTANT_Integer) index->first.emplace(entry->value, slot);
    }
    self->integers_indexed = jclass->constant_pool_count;
    auto found = index->first.find(static_cast<uint32_t>(value));
    return found != index->first.end() ? found->second : -1;
}

int JCRFindClassRef(const JCRClass *jclass, const char *name) {
    size_t length = std::strlen(name);
    for (int index = 1; index < jclass->constant_pool_count; index++) {
        const JCRConstant *entry = jclass->constant_pool[index];
        if (entry != nullptr && entry->tag == JCR_CONSTANT_Class && TextIs(jclass, entry->index1, name, length))
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
        JCRRelease(&jclass->arena, entry);
        return 0;
    }
    // Slot 0 stays unused even in a pool that starts empty. The array grows
    // by half and more at a time, so that the references an instrumented
    // class gains cost no copy of the pool each.
    int oldCount = jclass->constant_pool_count == 0 ? 1 : jclass->constant_pool_count;
    int room = jclass->constant_pool_room > 0 ? jclass->constant_pool_room : jclass->constant_pool_count;
    if (jclass->constant_pool == nullptr || oldCount >= room) {
        int grown = oldCount + oldCount / 2 + 16;
        if (grown > JCR_MAX_CONSTANT_POOL_COUNT) grown = JCR_MAX_CONSTANT_POOL_COUNT;
        JCRConstant **pool = JCRArenaArray<JCRConstant *>(&jclass->arena, grown);
        if (pool == nullptr) {
            JCRRelease(&jclass->arena, entry);
            return 0;
        }
        if (jclass->constant_pool != nullptr)
            std::memcpy(pool, jclass->constant_pool, jclass->constant_pool_count * sizeof(JCRConstant *));
        JCRRelease(&jclass->arena, jclass->constant_pool);
        jclass->constant_pool = pool;
        jclass->constant_pool_room = grown;
    }
    jclass->constant_pool[oldCount] = entry;
    jclass->constant_pool_count = static_cast<uint16_t>(oldCount + 1);
    return oldCount;
}

int JCRAddUtf8(JCRClass *jclass, const char *text) {
    size_t length = std::strlen(text);
    if (length > 0xFFFF) return 0;
    auto *entry = static_cast<JCRConstant *>(JCRArenaAllocateZeroed(&jclass->arena, sizeof(JCRConstant) + length + 1));
    if (entry == nullptr) return 0;
    entry->tag = JCR_CONSTANT_Utf8;
    entry->length = static_cast<uint16_t>(length);
    std::memcpy(entry->text, text, length + 1);
    return JCRAppendConstant(jclass, entry);
}

int JCRAddInteger(JCRClass *jclass, int32_t value) {
    JCRConstant *entry = NewConstant(jclass, JCR_CONSTANT_Integer);
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
    return JCRAddNewClassRef(jclass, name);
}

int JCRAddNewClassRef(JCRClass *jclass, const char *name) {
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

void JCRFindOrAddMemberRefs(JCRClass *jclass, const char *className, const JCRMemberRefSpec *specs, int count,
                            int32_t *indexes) {
    // The texts: 0 is the class name, 1 + 2i spec i's name, 2 + 2i its
    // descriptor; equal texts share the lowest number.
    constexpr int kMaxSpecs = 16;
    constexpr int kMaxTexts = 1 + 2 * kMaxSpecs;
    if (count > kMaxSpecs) count = kMaxSpecs;
    const char *texts[kMaxTexts];
    size_t lengths[kMaxTexts];
    int same[kMaxTexts];
    int ntexts = 1 + 2 * count;
    texts[0] = className;
    for (int i = 0; i < count; i++) {
        texts[1 + 2 * i] = specs[i].name;
        texts[2 + 2 * i] = specs[i].descriptor;
    }
    for (int t = 0; t < ntexts; t++) {
        lengths[t] = std::strlen(texts[t]);
        same[t] = t;
        for (int u = 0; u < t; u++) {
            if (lengths[u] == lengths[t] && std::memcmp(texts[u], texts[t], lengths[t]) == 0) {
                same[t] = same[u];
                break;
            }
        }
    }
    // One pass: which pool slots hold which text (-1: none of them), and
    // the first slot of each text.
    int poolCount = jclass->constant_pool_count;
    static thread_local std::vector<int8_t> textAt;  // kept from call to call: no allocation once grown
    textAt.assign(static_cast<size_t>(poolCount > 0 ? poolCount : 1), -1);
    int utf8[kMaxTexts];
    uint64_t lengthBits = 0;  // bit length % 64 of each text: most entries fail this test alone
    for (int t = 0; t < ntexts; t++) {
        utf8[t] = -1;
        lengthBits |= uint64_t{1} << (lengths[t] % 64);
    }
    for (int index = 1; index < poolCount; index++) {
        const JCRConstant *entry = jclass->constant_pool[index];
        if (entry == nullptr || entry->tag != JCR_CONSTANT_Utf8 || (lengthBits >> (entry->length % 64) & 1) == 0) continue;
        for (int t = 0; t < ntexts; t++) {
            if (same[t] != t || lengths[t] != entry->length || std::strcmp(entry->text, texts[t]) != 0) continue;
            textAt[index] = static_cast<int8_t>(t);
            if (utf8[t] < 0) utf8[t] = index;
            break;
        }
    }
    auto textOf = [&](int index) { return index > 0 && index < poolCount ? textAt[index] : -1; };
    // Second pass: the first Class entry of the class, the first NameAndType
    // and member reference of each spec (only possible where the texts exist).
    int classRef = -1;
    int nameAndType[kMaxSpecs];
    for (int i = 0; i < count; i++) {
        indexes[i] = -1;
        nameAndType[i] = -1;
    }
    bool anyNameAndType = false;
    for (int i = 0; i < count && !anyNameAndType; i++) {
        anyNameAndType = utf8[same[1 + 2 * i]] > 0 && utf8[same[2 + 2 * i]] > 0;
    }
    if (utf8[0] > 0 || anyNameAndType) {
        auto specOf = [&](int natIndex, int tag) {
            const JCRConstant *nat = JCRConstantAt(jclass, natIndex, JCR_CONSTANT_NameAndType);
            if (nat == nullptr) return -1;
            int name = textOf(nat->index1), descriptor = textOf(nat->index2);
            if (name < 0 || descriptor < 0) return -1;
            for (int i = 0; i < count; i++) {
                bool kind = tag == 0 || (tag == JCR_CONSTANT_Methodref) == specs[i].method;
                if (kind && same[1 + 2 * i] == name && same[2 + 2 * i] == descriptor &&
                    (tag == 0 ? nameAndType[i] < 0 : indexes[i] < 0)) {
                    return i;
                }
            }
            return -1;
        };
        for (int index = 1; index < poolCount; index++) {
            const JCRConstant *entry = jclass->constant_pool[index];
            if (entry == nullptr) continue;
            if (entry->tag == JCR_CONSTANT_Class) {
                if (classRef < 0 && textOf(entry->index1) == 0) classRef = index;
            } else if (entry->tag == JCR_CONSTANT_NameAndType) {
                // Several specs may share one: fill each that has none yet.
                for (int i = specOf(index, 0); i >= 0; i = specOf(index, 0)) nameAndType[i] = index;
            } else if (entry->tag == JCR_CONSTANT_Methodref || entry->tag == JCR_CONSTANT_Fieldref) {
                const JCRConstant *owner = JCRConstantAt(jclass, entry->index1, JCR_CONSTANT_Class);
                if (owner == nullptr || textOf(owner->index1) != 0) continue;
                for (int i = specOf(entry->index2, entry->tag); i >= 0; i = specOf(entry->index2, entry->tag)) {
                    indexes[i] = index;
                }
            }
        }
    }
    // The additions, in the order the one-by-one calls make them.
    auto text = [&](int t) {
        t = same[t];
        if (utf8[t] <= 0) utf8[t] = JCRAddUtf8(jclass, texts[t]);
        return utf8[t];
    };
    for (int i = 0; i < count; i++) {
        if (indexes[i] > 0) continue;
        if (classRef <= 0) classRef = AddIndexed(jclass, JCR_CONSTANT_Class, text(0), 0);
        if (nameAndType[i] <= 0) {
            int name = text(1 + 2 * i);
            int descriptor = text(2 + 2 * i);
            nameAndType[i] = descriptor > 0 ? AddIndexed(jclass, JCR_CONSTANT_NameAndType, name, descriptor) : 0;
            for (int k = i + 1; k < count; k++) {
                if (nameAndType[k] <= 0 && same[1 + 2 * k] == same[1 + 2 * i] && same[2 + 2 * k] == same[2 + 2 * i]) {
                    nameAndType[k] = nameAndType[i];
                }
            }
        }
        int tag = specs[i].method ? JCR_CONSTANT_Methodref : JCR_CONSTANT_Fieldref;
        indexes[i] = classRef > 0 && nameAndType[i] > 0 ? AddIndexed(jclass, tag, classRef, nameAndType[i]) : 0;
        for (int k = i + 1; k < count; k++) {
            if (indexes[k] <= 0 && specs[k].method == specs[i].method && same[1 + 2 * k] == same[1 + 2 * i] &&
                same[2 + 2 * k] == same[2 + 2 * i]) {
                indexes[k] = indexes[i];
            }
        }
    }
}
