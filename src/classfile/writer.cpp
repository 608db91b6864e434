// JCRWriteClass: a JCRClass record back into class-file bytes.
#include <cstdio>

#include "classfile/classfile_internal.h"

namespace {

void WriteConstant(JCRByteBuffer *buffer, const JCRConstant *entry) {
    JCRBufferAppendU8(buffer, entry->tag);
    switch (entry->tag) {
    case JCR_CONSTANT_Utf8:
        JCRPutU16(buffer, entry->length);
        JCRBufferAppendBytes(buffer, reinterpret_cast<const uint8_t *>(entry->text), entry->length);
        break;
    case JCR_CONSTANT_Integer:
    case JCR_CONSTANT_Float:
        JCRBufferAppendU32(buffer, entry->value);
        break;
    case JCR_CONSTANT_Long:
    case JCR_CONSTANT_Double:
        JCRBufferAppendU32(buffer, entry->high);
        JCRBufferAppendU32(buffer, entry->low);
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
        JCRBufferAppendU8(buffer, entry->kind);
        JCRPutU16(buffer, entry->index1);
        break;
    default:
        std::printf("Unknown tag!\n");
        break;
    }
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
    JCRBufferAppendU32(&buffer, jclass->magic);
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

    uint8_t *bytes = nullptr;
    if (!buffer.failed) bytes = static_cast<uint8_t *>(JCRAllocateZeroed(buffer.length));
    if (bytes != nullptr) {
        std::memcpy(bytes, buffer.data, buffer.length);
        *outLength = static_cast<int>(buffer.length);
    }
    JCRBufferFree(&buffer);
    return bytes;
}
