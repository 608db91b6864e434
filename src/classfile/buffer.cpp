// JCRByteBuffer: the growable big-endian output buffer of every writer.
#include "classfile/classfile_internal.h"

namespace {

// Grows by the 2 x capacity + 16 rule until `extra` more bytes fit.
bool Reserve(JCRByteBuffer *buffer, uint64_t extra) {
    if (buffer->failed) return false;
    uint64_t needed = static_cast<uint64_t>(buffer->length) + extra;
    if (needed <= buffer->capacity) return true;
    uint64_t capacity = buffer->capacity;
    while (capacity < needed) capacity = 2 * capacity + 16;
    uint8_t *data = capacity > 0x7fffffff ? nullptr : static_cast<uint8_t *>(sMalloc(static_cast<int>(capacity)));
    if (data == nullptr) {
        buffer->failed = 1;
        return false;
    }
    if (buffer->length > 0) std::memcpy(data, buffer->data, buffer->length);
    sFree(buffer->data);
    buffer->data = data;
    buffer->capacity = static_cast<uint32_t>(capacity);
    return true;
}

}  // namespace

void JCRBufferAppendU8(JCRByteBuffer *buffer, uint32_t value) {
    if (!Reserve(buffer, 1)) return;
    buffer->data[buffer->length++] = static_cast<uint8_t>(value);
}

void JCRBufferAppendU16(JCRByteBuffer *buffer, uint32_t value) {
    if (!Reserve(buffer, 2)) return;
    uint8_t *out = buffer->data + buffer->length;
    out[0] = static_cast<uint8_t>(value >> 8);
    out[1] = static_cast<uint8_t>(value);
    buffer->length += 2;
}

void JCRBufferAppendU32(JCRByteBuffer *buffer, uint32_t value) {
    if (Reserve(buffer, 4)) JCRPutU32(buffer, value);  // with room now, written inline
}

void JCRBufferAppendBytes(JCRByteBuffer *buffer, const uint8_t *bytes, uint32_t count) {
    if (count == 0 || !Reserve(buffer, count)) return;
    std::memcpy(buffer->data + buffer->length, bytes, count);
    buffer->length += count;
}

bool JCRBufferReserve(JCRByteBuffer *buffer, uint64_t extra) {
    if (buffer->failed) return false;
    uint64_t needed = static_cast<uint64_t>(buffer->length) + extra;
    if (needed <= buffer->capacity) return true;
    if (buffer->capacity > 0) return Reserve(buffer, extra);
    // An empty buffer gets exactly what is asked for.
    uint8_t *data = needed > 0x7fffffff ? nullptr : static_cast<uint8_t *>(sMalloc(static_cast<int>(needed)));
    if (data == nullptr) {
        buffer->failed = 1;
        return false;
    }
    sFree(buffer->data);
    buffer->data = data;
    buffer->capacity = static_cast<uint32_t>(needed);
    return true;
}

static_assert(offsetof(JCRAttribute, info) == sizeof(JCRAttribute), "the bytes follow the header");

void JCRBeginAttribute(JCRByteBuffer *buffer, uint64_t size) {
    JCRBufferReserve(buffer, sizeof(JCRAttribute) + size);
    if (!buffer->failed) buffer->length = sizeof(JCRAttribute);
}

JCRAttribute *JCRFinishAttribute(uint16_t nameIndex, JCRByteBuffer *buffer) {
    if (buffer->failed || buffer->length < sizeof(JCRAttribute)) {
        JCRBufferFree(buffer);
        return nullptr;
    }
    auto *attribute = reinterpret_cast<JCRAttribute *>(buffer->data);
    attribute->name_index = nameIndex;
    attribute->length = static_cast<uint32_t>(buffer->length - sizeof(JCRAttribute));
    *buffer = JCRByteBuffer{};
    return attribute;
}

void JCRBufferFree(JCRByteBuffer *buffer) {
    sFree(buffer->data);
    *buffer = JCRByteBuffer{};
}
