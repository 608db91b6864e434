// Attribute records: read from class-file bytes, written back, freed.
#include <cstdio>

#include "classfile/classfile_internal.h"

JCRAttribute *JCRReadAttribute(JCRReader &reader, JCRArena *arena) {
    uint16_t nameIndex = reader.u16();
    uint32_t length = reader.u32();
    if (static_cast<int64_t>(length) > reader.remaining) {
        std::fprintf(stderr, "ZV encountered corrupt class, skipping attribute_info.\n");
        return nullptr;
    }
    // Not cleared: the info bytes are copied over right away.
    auto *attribute = static_cast<JCRAttribute *>(JCRArenaAllocate(arena, sizeof(JCRAttribute) + length));
    if (attribute == nullptr) return nullptr;
    attribute->name_index = nameIndex;
    attribute->length = length;
    reader.bytes(attribute->info, length);
    return attribute;
}

bool JCRReadAttributes(JCRReader &reader, uint16_t count, JCRAttribute ***attributes, JCRArena *arena) {
    *attributes = nullptr;
    if (count == 0) return true;
    JCRAttribute **array = JCRArenaArray<JCRAttribute *>(arena, count);
    if (array == nullptr) return false;
    for (int i = 0; i < count; i++) {
        array[i] = JCRReadAttribute(reader, arena);
        if (array[i] == nullptr) {
            JCRFreeAttributes(arena, array, static_cast<uint16_t>(i));
            return false;
        }
    }
    *attributes = array;
    return true;
}

void JCRFreeAttributes(const JCRArena *arena, JCRAttribute **attributes, uint16_t count) {
    if (attributes == nullptr) return;
    for (int i = 0; i < count; i++) JCRRelease(arena, attributes[i]);
    JCRRelease(arena, attributes);
}

void JCRWriteAttributes(JCRByteBuffer *buffer, JCRAttribute *const *attributes, uint16_t count) {
    for (int i = 0; i < count; i++) {
        const JCRAttribute *attribute = attributes[i];
        JCRPutU16(buffer, attribute->name_index);
        JCRPutU32(buffer, attribute->length);
        JCRPutBytes(buffer, attribute->info, attribute->length);
    }
}

JCRAttribute *JCRAttributeFromBuffer(uint16_t nameIndex, const JCRByteBuffer *buffer) {
    if (buffer->failed) return nullptr;
    auto *attribute = static_cast<JCRAttribute *>(JCRAllocateZeroed(sizeof(JCRAttribute) + buffer->length));
    if (attribute == nullptr) return nullptr;
    attribute->name_index = nameIndex;
    attribute->length = buffer->length;
    if (buffer->length > 0) std::memcpy(attribute->info, buffer->data, buffer->length);
    return attribute;
}
