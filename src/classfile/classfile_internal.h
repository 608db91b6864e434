// Helpers shared by the class-file reader, writer and editor sources: the
// bounded byte reader, checked allocation, attribute records and pool growth.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <unordered_map>

#include "classfile/classfile.h"
#include "support/heap.h"

// sMalloc memory (at least one byte), or null when the size does not fit
// sMalloc's int.
inline void *JCRAllocate(size_t size) {
    if (size > 0x7fffffff) return nullptr;
    return sMalloc(static_cast<int>(size == 0 ? 1 : size));
}

// The same, zero-filled.
inline void *JCRAllocateZeroed(size_t size) {
    void *memory = JCRAllocate(size);
    if (memory != nullptr) std::memset(memory, 0, size == 0 ? 1 : size);
    return memory;
}

template <typename T>
T *JCRAllocateArray(size_t count) {
    return static_cast<T *>(JCRAllocateZeroed(count * sizeof(T)));
}

// size bytes from the arena's rest, 8-byte aligned and not cleared; when they
// do not fit, a heap block of their own (which JCRRelease frees).
inline void *JCRArenaAllocate(JCRArena *arena, size_t size) {
    size = (size + 7) & ~size_t{7};
    if (arena->base != nullptr && arena->size - arena->used >= size) {
        void *memory = arena->base + arena->used;
        arena->used += static_cast<uint32_t>(size);
        return memory;
    }
    return JCRAllocate(size);
}

inline void *JCRArenaAllocateZeroed(JCRArena *arena, size_t size) {
    void *memory = JCRArenaAllocate(arena, size);
    if (memory != nullptr) std::memset(memory, 0, size);
    return memory;
}

template <typename T>
T *JCRArenaArray(JCRArena *arena, size_t count) {  // zeroed
    return static_cast<T *>(JCRArenaAllocateZeroed(arena, count * sizeof(T)));
}

// Reads big-endian values. A read past the end gives 0, leaves the cursor
// where it is and keeps the remaining count negative, so every later read
// also gives 0: a short input never makes the reader touch foreign memory.
struct JCRReader {
    const uint8_t *cursor;
    int64_t remaining;

    JCRReader(const uint8_t *bytes, int64_t length) : cursor(bytes), remaining(length) {}

    bool exhausted() const { return remaining < 0; }

    uint8_t u8() {
        if (!take(1)) return 0;
        return *cursor++;
    }
    uint16_t u16() {
        if (!take(2)) return 0;
        uint16_t value = static_cast<uint16_t>(cursor[0] << 8 | cursor[1]);
        cursor += 2;
        return value;
    }
    uint32_t u32() {
        if (!take(4)) return 0;
        uint32_t value = static_cast<uint32_t>(cursor[0]) << 24 | static_cast<uint32_t>(cursor[1]) << 16 |
                         static_cast<uint32_t>(cursor[2]) << 8 | cursor[3];
        cursor += 4;
        return value;
    }
    // Copies count bytes; false (destination untouched) when they are not there.
    bool bytes(uint8_t *destination, int64_t count);

private:
    // Counts the bytes off even when they are not there, so that the
    // remaining count stays negative once the end has been passed.
    bool take(int64_t count) {
        remaining -= count;
        return remaining >= 0;
    }
};

// The JCRBufferAppend functions without a call when the buffer has room
// (the writers' hot path: their buffers are mostly sized ahead).
inline bool JCRBufferHasRoom(const JCRByteBuffer *buffer, uint32_t count) {
    return buffer->capacity - buffer->length >= count && !buffer->failed;
}

inline void JCRPutU8(JCRByteBuffer *buffer, uint32_t value) {
    if (!JCRBufferHasRoom(buffer, 1)) {
        JCRBufferAppendU8(buffer, value);
        return;
    }
    buffer->data[buffer->length++] = static_cast<uint8_t>(value);
}

inline void JCRPutU16(JCRByteBuffer *buffer, uint32_t value) {
    if (!JCRBufferHasRoom(buffer, 2)) {
        JCRBufferAppendU16(buffer, value);
        return;
    }
    buffer->data[buffer->length] = static_cast<uint8_t>(value >> 8);
    buffer->data[buffer->length + 1] = static_cast<uint8_t>(value);
    buffer->length += 2;
}

inline void JCRPutU32(JCRByteBuffer *buffer, uint32_t value) {
    if (!JCRBufferHasRoom(buffer, 4)) {
        JCRBufferAppendU32(buffer, value);
        return;
    }
    uint8_t *out = buffer->data + buffer->length;
    out[0] = static_cast<uint8_t>(value >> 24);
    out[1] = static_cast<uint8_t>(value >> 16);
    out[2] = static_cast<uint8_t>(value >> 8);
    out[3] = static_cast<uint8_t>(value);
    buffer->length += 4;
}

inline void JCRPutBytes(JCRByteBuffer *buffer, const uint8_t *bytes, uint32_t count) {
    if (!JCRBufferHasRoom(buffer, count)) {
        JCRBufferAppendBytes(buffer, bytes, count);
        return;
    }
    if (count > 0) std::memcpy(buffer->data + buffer->length, bytes, count);
    buffer->length += count;
}

// One attribute at the reader (name_index, length, info). Null after the
// "skipping attribute_info" message when its length runs past the end.
JCRAttribute *JCRReadAttribute(JCRReader &reader, JCRArena *arena);
// count attributes into a new array (null for 0); false when one fails, with
// everything read so far released.
bool JCRReadAttributes(JCRReader &reader, uint16_t count, JCRAttribute ***attributes, JCRArena *arena);
void JCRFreeAttributes(const JCRArena *arena, JCRAttribute **attributes, uint16_t count);
void JCRWriteAttributes(JCRByteBuffer *buffer, JCRAttribute *const *attributes, uint16_t count);
// A new attribute record holding a copy of the buffer; null when refused.
JCRAttribute *JCRAttributeFromBuffer(uint16_t nameIndex, const JCRByteBuffer *buffer);
// Room for extra more bytes, in one allocation when the size is known ahead;
// false (the buffer failed) when refused.
bool JCRBufferReserve(JCRByteBuffer *buffer, uint64_t extra);
// An attribute written in place: JCRBeginAttribute leaves room for the
// record's header before the bytes (size: the expected length), and
// JCRFinishAttribute turns the buffer's block into the record, without a
// copy; the buffer is empty afterwards. Null when the buffer failed.
void JCRBeginAttribute(JCRByteBuffer *buffer, uint64_t size);
JCRAttribute *JCRFinishAttribute(uint16_t nameIndex, JCRByteBuffer *buffer);

void JCRFreeConstantPool(const JCRClass *jclass, JCRConstant **pool, uint16_t count);
void JCRFreeMember(const JCRClass *jclass, JCRMember *member);

// Appends an entry as the last slot of the pool and returns its index; 0 (the
// entry freed) when the pool is full or memory runs out.
int JCRAppendConstant(JCRClass *jclass, JCRConstant *entry);
// JCRAddClassRef for a name that no Class entry names, as the caller knows:
// only its Utf8 is looked for.
int JCRAddNewClassRef(JCRClass *jclass, const char *name);

// The first slot of each Integer value of a class's pool (JCRFindInteger).
struct JCRIntegerIndex {
    std::unordered_map<uint32_t, int> first;
};
