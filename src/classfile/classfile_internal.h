// Helpers shared by the class-file reader, writer and editor sources: the
// bounded byte reader, checked allocation, attribute records and pool growth.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "classfile/classfile.h"
#include "support/heap.h"

// Zero-filled sMalloc memory, or null when the size does not fit sMalloc's int.
inline void *JCRAllocateZeroed(size_t size) {
    if (size > 0x7fffffff) return nullptr;
    void *memory = sMalloc(static_cast<int>(size == 0 ? 1 : size));
    if (memory != nullptr) std::memset(memory, 0, size == 0 ? 1 : size);
    return memory;
}

template <typename T>
T *JCRAllocateArray(size_t count) {
    return static_cast<T *>(JCRAllocateZeroed(count * sizeof(T)));
}

// Reads big-endian values. A read past the end gives 0, leaves the cursor
// where it is and keeps the remaining count negative, so every later read
// also gives 0: a short input never makes the reader touch foreign memory.
struct JCRReader {
    const uint8_t *cursor;
    int64_t remaining;

    JCRReader(const uint8_t *bytes, int64_t length) : cursor(bytes), remaining(length) {}

    bool exhausted() const { return remaining < 0; }
    uint8_t u8();
    uint16_t u16();
    uint32_t u32();
    // Copies count bytes; false (destination untouched) when they are not there.
    bool bytes(uint8_t *destination, int64_t count);

private:
    bool take(int64_t count);
};

// One attribute at the reader (name_index, length, info). Null after the
// "skipping attribute_info" message when its length runs past the end.
JCRAttribute *JCRReadAttribute(JCRReader &reader);
// count attributes into a new array (null for 0); false when one fails, with
// everything read so far freed.
bool JCRReadAttributes(JCRReader &reader, uint16_t count, JCRAttribute ***attributes);
void JCRFreeAttributes(JCRAttribute **attributes, uint16_t count);
void JCRWriteAttributes(JCRByteBuffer *buffer, JCRAttribute *const *attributes, uint16_t count);
// A new attribute record holding a copy of the buffer; null when refused.
JCRAttribute *JCRAttributeFromBuffer(uint16_t nameIndex, const JCRByteBuffer *buffer);

void JCRFreeConstantPool(JCRConstant **pool, uint16_t count);
void JCRFreeMember(JCRMember *member);

// Appends an entry as the last slot of the pool and returns its index; 0 (the
// entry freed) when the pool is full or memory runs out.
int JCRAppendConstant(JCRClass *jclass, JCRConstant *entry);
