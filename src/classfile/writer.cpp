// JCRWriteClass: a JCRClass record back into class-file bytes.
#include <cstdio>

#include "classfile/classfile_internal.h"

namespace {

void WriteConstant(JCRByteBuffer *buffer, const JCRConstant *entry) {
    JCRPutU8(buffer, entry->tag);
    switch (entry->tag) {
    case JCR_CONSTANT_Utf8:
        JCRPutU16(buffer, entry->length);
        JCRPutBytes(buffer, reinterpret_cast<const uint8_t *>(entry->text), entry->length);
        break;
    case JCR_CONSTANT_Integer:
    case JCR_CONSTANT_Float:
        JCRPutU32(buffer, entry->value);
        break;
    case JCR_CONSTANT_Long:
    case JCR_CONSTANT_Double:
        JCRPutU32(buffer, entry->high);
        JCRPutU32(buffer, entry->low);
        break;
    case JCR_CONSTANT_Class:
    case JCR_CONSTANT_String:
    case JCR_CONSTANT_MethodType:
    case JCR_CONSTANT_Module:
    case JCR_CONSTANT_Package:
        JCRPutU16(buffer, entry->index1);
        break;
    case JCR_CONSTANT_Fieldref:
    case JCR_CONSTANT_Methodref:
    case JCR_CONSTANT_InterfaceMethodref:
    case JCR_CONSTANT_NameAndType:
    case JCR_CONSTANT_Dynamic:
    case JCR_CONSTANT_InvokeDynamic:
        JCRPutU16(buffer, entry->index1);
        JCRPutU16(buffer, entry->index2);
        break;
    case JCR_CONSTANT_MethodHandle:
        JCRPutU8(buffer, entry->kind);
        JCRPutU16(buffer, entry->index1);
        break;
    default:
        std::printf("Unknown tag!\n");
        break;
    }
}

uint64_t ConstantSize(const JCRConstant *entry) {
    switch (entry->tag) {
    case JCR_CONSTANT_Utf8: return 3 + uint64_t{entry->length};
    case JCR_CONSTANT_Class:
    case JCR_CONSTANT_String:
    case JCR_CONSTANT_MethodType:
    case JCR_CONSTANT_Module:
    case JCR_CONSTANT_Package: return 3;
    case JCR_CONSTANT_MethodHandle: return 4;
    case JCR_CONSTANT_Long:
    case JCR_CONSTANT_Double: return 9;
    default: return 5;
    }
}

uint64_t AttributesSize(JCRAttribute *const *attributes, uint16_t count) {
    uint64_t size = 2;
    for (int i = 0; i < count; i++) size += 6 + uint64_t{attributes[i]->length};
    return size;
}

uint64_t MembersSize(JCRMember *const *members, uint16_t count) {
    uint64_t size = 2;
    for (int i = 0; i < count; i++) size += 6 + AttributesSize(members[i]->attributes, members[i]->attributes_count);
    return size;
}

// The size of the class file, for one allocation of the output (a guess
// only: the writer still grows the buffer should it be short).
uint64_t ClassSize(const JCRClass *jclass) {
    uint64_t size = 10 + 8 + 2 * uint64_t{jclass->interfaces_count};
    for (int index = 1; index < jclass->constant_pool_count; index++) {
        if (jclass->constant_pool[index] != nullptr) size += ConstantSize(jclass->constant_pool[index]);
    }
    size += MembersSize(jclass->fields, jclass->fields_count) + MembersSize(jclass->methods, jclass->methods_count);
    return size + AttributesSize(jclass->attributes, jclass->attributes_count);
}

void WriteMembers(JCRByteBuffer *buffer, JCRMember *const *members, uint16_t count) {
    JCRPutU16(buffer, count);
    for (int i = 0; i < count; i++) {
        const JCRMember *member = members[i];
        JCRPutU16(buffer, member->access_flags);
        JCRPutU16(buffer, member->name_index);
        JCRPutU16(buffer, member->descriptor_index);
        JCRPutU16(buffer, member->attributes_count);
        JCRWriteAttributes(buffer, member->attributes, member->attributes_count);
    }
}

}  // namespace

uint8_t *JCRWriteClass(const JCRClass *jclass, int *outLength) {
    *outLength = 0;
    JCRByteBuffer buffer{};
    JCRBufferReserve(&buffer, ClassSize(jclass));
    JCRPutU32(&buffer, jclass->magic);
    JCRPutU16(&buffer, jclass->minor_version);
    JCRPutU16(&buffer, jclass->major_version);
    JCRPutU16(&buffer, jclass->constant_pool_count);
    for (int index = 1; index < jclass->constant_pool_count; index++) {
        // Null slots are the second halves of Long and Double entries.
        const JCRConstant *entry = jclass->constant_pool[index];
        if (entry != nullptr) WriteConstant(&buffer, entry);
    }
    JCRPutU16(&buffer, jclass->access_flags);
    JCRPutU16(&buffer, jclass->this_class);
    JCRPutU16(&buffer, jclass->super_class);
    JCRPutU16(&buffer, jclass->interfaces_count);
    for (int i = 0; i < jclass->interfaces_count; i++) JCRPutU16(&buffer, jclass->interfaces[i]);
    WriteMembers(&buffer, jclass->fields, jclass->fields_count);
    WriteMembers(&buffer, jclass->methods, jclass->methods_count);
    JCRPutU16(&buffer, jclass->attributes_count);
    JCRWriteAttributes(&buffer, jclass->attributes, jclass->attributes_count);

    // The buffer's block is the result (sMalloc'ed, perhaps a little longer).
    if (buffer.failed || buffer.length == 0) {
        JCRBufferFree(&buffer);
        return nullptr;
    }
    *outLength = static_cast<int>(buffer.length);
    return buffer.data;
}
