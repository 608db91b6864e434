// JCRParseClass: class-file bytes into a JCRClass record, and the record's release.
#include <cstdio>

#include "classfile/classfile_internal.h"

namespace {

const char kCorruptItem[] = "ZV encountered Corrupt class, skipping constantPoolItem\n";

// Size of a Utf8 record: the header, the text and its NUL.
size_t Utf8Size(uint32_t length) { return sizeof(JCRConstant) + length + 1; }

// The parsed class lies in one block (its arena), freed with the class: one
// allocation instead of one per entry, member and attribute, and lookups that
// walk the pool walk neighbouring memory. The block is sized for a usual
// class; what does not fit gets memory of its own.
uint32_t ArenaSize(uint16_t count, int64_t remaining) {
    // A slot array, an entry record per slot (rounded up) and the rest of the
    // input twice over: as Utf8 text with NULs, and as the members and
    // attributes with their records and arrays.
    uint64_t size = uint64_t{count} * (sizeof(JCRConstant *) + ((sizeof(JCRConstant) + 1 + 7) & ~size_t{7})) +
                    2 * static_cast<uint64_t>(remaining) + 64;
    return size <= 0x7fffffff ? static_cast<uint32_t>(size) : 0;
}

JCRConstant *ReadConstant(JCRReader &reader, int majorVersion, JCRArena *arena) {
    uint8_t tag = reader.u8();
    if (reader.exhausted()) {
        // The pool is cut off: say so rather than report a tag of 0.
        std::fprintf(stderr, kCorruptItem);
        return nullptr;
    }
    // A kind newer than the class file is as unknown as one never defined.
    if (!JCRConstantTagAllowed(tag, majorVersion)) {
        std::fprintf(stderr, "Unknown Constant pool type %d\n", tag);
        return nullptr;
    }
    JCRConstant *entry = nullptr;
    switch (tag) {
    case JCR_CONSTANT_Utf8: {
        uint16_t length = reader.u16();
        if (length > reader.remaining) {
            std::fprintf(stderr, kCorruptItem);
            return nullptr;
        }
        // Only the header is cleared: the text is copied over right away.
        entry = static_cast<JCRConstant *>(JCRArenaAllocate(arena, Utf8Size(length)));
        if (entry == nullptr) return nullptr;
        std::memset(entry, 0, sizeof(JCRConstant));
        entry->length = length;
        reader.bytes(reinterpret_cast<uint8_t *>(entry->text), length);
        entry->text[length] = '\0';
        break;
    }
    case JCR_CONSTANT_Integer:
    case JCR_CONSTANT_Float:
        entry = JCRArenaArray<JCRConstant>(arena, 1);
        if (entry == nullptr) return nullptr;
        entry->value = reader.u32();
        break;
    case JCR_CONSTANT_Long:
    case JCR_CONSTANT_Double:
        entry = JCRArenaArray<JCRConstant>(arena, 1);
        if (entry == nullptr) return nullptr;
        entry->high = reader.u32();
        entry->low = reader.u32();
        break;
    case JCR_CONSTANT_Class:
    case JCR_CONSTANT_String:
    case JCR_CONSTANT_MethodType:
    case JCR_CONSTANT_Module:
    case JCR_CONSTANT_Package:
        entry = JCRArenaArray<JCRConstant>(arena, 1);
        if (entry == nullptr) return nullptr;
        entry->index1 = reader.u16();
        break;
    case JCR_CONSTANT_Fieldref:
    case JCR_CONSTANT_Methodref:
    case JCR_CONSTANT_InterfaceMethodref:
    case JCR_CONSTANT_NameAndType:
    case JCR_CONSTANT_Dynamic:
    case JCR_CONSTANT_InvokeDynamic:
        entry = JCRArenaArray<JCRConstant>(arena, 1);
        if (entry == nullptr) return nullptr;
        entry->index1 = reader.u16();
        entry->index2 = reader.u16();
        break;
    case JCR_CONSTANT_MethodHandle:
        entry = JCRArenaArray<JCRConstant>(arena, 1);
        if (entry == nullptr) return nullptr;
        entry->kind = reader.u8();
        entry->index1 = reader.u16();
        break;
    default:
        std::fprintf(stderr, "Unknown Constant pool type %d\n", tag);
        return nullptr;
    }
    entry->tag = tag;
    // A fixed-size entry cut off by the end of the input is as corrupt as a
    // Utf8 entry that runs past it.
    if (reader.exhausted()) {
        std::fprintf(stderr, kCorruptItem);
        JCRRelease(arena, entry);
        return nullptr;
    }
    return entry;
}

bool ReadConstantPool(JCRReader &reader, JCRClass *jclass) {
    uint16_t count = jclass->constant_pool_count;
    // Every slot takes 3 bytes at least (a Long or Double 9 for its two): a
    // count the input cannot hold gets no table of that size (up to 512 KB),
    // nor an arena, only the same walk to the entry that fails.
    bool fits = reader.remaining >= 3 * (int64_t{count} - 1);
    JCRArena *arena = &jclass->arena;
    if (fits) {
        uint32_t size = ArenaSize(count, reader.remaining);
        jclass->arena.base = size > 0 ? static_cast<uint8_t *>(JCRAllocate(size)) : nullptr;
        if (jclass->arena.base != nullptr) jclass->arena.size = size;
    }
    JCRConstant **pool = fits ? JCRArenaArray<JCRConstant *>(arena, count == 0 ? 1 : count) : nullptr;
    if (fits && pool == nullptr) return false;
    for (int index = 1; index < count; index++) {
        JCRConstant *entry = ReadConstant(reader, jclass->major_version, arena);
        bool wide = entry != nullptr && (entry->tag == JCR_CONSTANT_Long || entry->tag == JCR_CONSTANT_Double);
        if (wide && index + 1 >= count) {
            // The second slot of a Long or Double would lie outside the pool.
            std::fprintf(stderr, kCorruptItem);
            JCRRelease(arena, entry);
            entry = nullptr;
        }
        if (entry == nullptr) {
            JCRFreeConstantPool(jclass, pool, count);
            std::fprintf(stderr, "ZV encountered corrupt class, skipping constant-pool parse\n");
            return false;
        }
        if (pool != nullptr) pool[index] = entry;
        else JCRRelease(arena, entry);
        if (wide) index++;
    }
    if (pool == nullptr) {  // not reached: the input ran out before the last slot
        std::fprintf(stderr, "ZV encountered corrupt class, skipping constant-pool parse\n");
        return false;
    }
    jclass->constant_pool = pool;
    return true;
}

JCRMember *ReadMember(JCRReader &reader, JCRArena *arena) {
    JCRMember *member = JCRArenaArray<JCRMember>(arena, 1);
    if (member == nullptr) return nullptr;
    member->access_flags = reader.u16();
    member->name_index = reader.u16();
    member->descriptor_index = reader.u16();
    member->attributes_count = reader.u16();
    if (reader.exhausted() ||
        !JCRReadAttributes(reader, member->attributes_count, &member->attributes, arena)) {
        JCRRelease(arena, member);
        std::fprintf(stderr, "ZV encountered corrupt class, skipping field.\n");
        return nullptr;
    }
    return member;
}

bool ReadMembers(JCRReader &reader, JCRClass *jclass, uint16_t count, JCRMember ***members, const char *failure) {
    *members = nullptr;
    if (count == 0) return true;
    JCRMember **array = JCRArenaArray<JCRMember *>(&jclass->arena, count);
    if (array == nullptr) return false;
    for (int i = 0; i < count; i++) {
        array[i] = ReadMember(reader, &jclass->arena);
        if (array[i] == nullptr) {
            for (int j = 0; j < i; j++) JCRFreeMember(jclass, array[j]);
            JCRRelease(&jclass->arena, array);
            std::fprintf(stderr, "%s", failure);
            return false;
        }
    }
    *members = array;
    return true;
}

bool ReadClass(JCRReader &reader, JCRClass *jclass) {
    jclass->magic = reader.u32();
    if (jclass->magic != 0xCAFEBABE) {
        std::fprintf(stderr, "Bad Java Class magic number 0x%x\n", jclass->magic);
        return false;
    }
    jclass->minor_version = reader.u16();
    jclass->major_version = reader.u16();
    jclass->constant_pool_count = reader.u16();
    if (!ReadConstantPool(reader, jclass)) return false;

    jclass->access_flags = reader.u16();
    jclass->this_class = reader.u16();
    jclass->super_class = reader.u16();
    jclass->interfaces_count = reader.u16();
    if (jclass->interfaces_count > 0) {
        jclass->interfaces = JCRArenaArray<uint16_t>(&jclass->arena, jclass->interfaces_count);
        if (jclass->interfaces == nullptr) return false;
        for (int i = 0; i < jclass->interfaces_count; i++) jclass->interfaces[i] = reader.u16();
    }

    jclass->fields_count = reader.u16();
    if (!ReadMembers(reader, jclass, jclass->fields_count, &jclass->fields,
                     "ZV encountered corrupt class, skipping field parse\n")) {
        jclass->fields_count = 0;
        return false;
    }
    jclass->methods_count = reader.u16();
    if (!ReadMembers(reader, jclass, jclass->methods_count, &jclass->methods,
                     "ZV encountered corrupt class, skipping method parse\n")) {
        jclass->methods_count = 0;
        return false;
    }

    if (reader.remaining < 2) return false;
    jclass->attributes_count = reader.u16();
    if (!JCRReadAttributes(reader, jclass->attributes_count, &jclass->attributes, &jclass->arena)) {
        jclass->attributes_count = 0;
        std::fprintf(stderr, "ZV encountered corrupt class, skipping attribute parse\n");
        return false;
    }
    return true;
}

}  // namespace

int JCRConstantTagAllowed(int tag, int majorVersion) {
    switch (tag) {
    case JCR_CONSTANT_Utf8:
    case JCR_CONSTANT_Integer:
    case JCR_CONSTANT_Float:
    case JCR_CONSTANT_Long:
    case JCR_CONSTANT_Double:
    case JCR_CONSTANT_Class:
    case JCR_CONSTANT_String:
    case JCR_CONSTANT_Fieldref:
    case JCR_CONSTANT_Methodref:
    case JCR_CONSTANT_InterfaceMethodref:
    case JCR_CONSTANT_NameAndType: return 1;
    case JCR_CONSTANT_MethodHandle:
    case JCR_CONSTANT_MethodType:
    case JCR_CONSTANT_InvokeDynamic: return majorVersion >= 51;
    case JCR_CONSTANT_Module:
    case JCR_CONSTANT_Package: return majorVersion >= 53;
    case JCR_CONSTANT_Dynamic: return majorVersion >= 55;
    default: return 0;
    }
}

JCRClass *JCRParseClass(const uint8_t *bytes, int length) {
    JCRClass *jclass = JCRAllocateArray<JCRClass>(1);
    if (jclass == nullptr) return nullptr;
    JCRReader reader(bytes, bytes == nullptr || length < 0 ? 0 : length);
    if (!ReadClass(reader, jclass)) {
        JCRFreeClass(jclass);
        return nullptr;
    }
    return jclass;
}

void JCRFreeConstantPool(const JCRClass *jclass, JCRConstant **pool, uint16_t count) {
    if (pool == nullptr) return;
    for (int i = 0; i < count; i++) JCRRelease(&jclass->arena, pool[i]);
    JCRRelease(&jclass->arena, pool);
}

void JCRFreeMember(const JCRClass *jclass, JCRMember *member) {
    if (member == nullptr) return;
    JCRFreeAttributes(&jclass->arena, member->attributes, member->attributes_count);
    JCRRelease(&jclass->arena, member);
}

void JCRFreeClass(JCRClass *jclass) {
    if (jclass == nullptr) return;
    const JCRArena *arena = &jclass->arena;
    JCRFreeConstantPool(jclass, jclass->constant_pool, jclass->constant_pool_count);
    JCRRelease(arena, jclass->interfaces);
    for (int i = 0; i < jclass->fields_count; i++) JCRFreeMember(jclass, jclass->fields[i]);
    JCRRelease(arena, jclass->fields);
    for (int i = 0; i < jclass->methods_count; i++) JCRFreeMember(jclass, jclass->methods[i]);
    JCRRelease(arena, jclass->methods);
    JCRFreeAttributes(arena, jclass->attributes, jclass->attributes_count);
    sFree(jclass->arena.base);
    if (jclass->operand_chunks != nullptr) {
        for (int i = 0; i < jclass->operand_chunk_capacity; i++) sFree(jclass->operand_chunks[i]);
        sFree(jclass->operand_chunks);
    }
    if (jclass->line_numbers != nullptr) ZVFreeVector(jclass->line_numbers);
    if (jclass->line_start_pcs != nullptr) ZVFreeVector(jclass->line_start_pcs);
    delete jclass->integer_index;
    sFree(jclass);
}
