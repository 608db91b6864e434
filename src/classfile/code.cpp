// The Code and LineNumberTable attributes: parsed on demand into JCRCode and
// JCRLineTable records and written back into fresh attribute records.
#include <cstdio>

#include "classfile/bytecode.h"
#include "classfile/classfile_internal.h"

namespace {

const char kCorruptCode[] = "ZV Encountered corrupt class, skipping code\n";

// The block of a parsed Code attribute: the record and its parts, each
// rounded up to 8 bytes (an attribute's record and array slot take 17 bytes
// more than its 6-byte header and info at most), and room for the exception
// table grown by one entry and the attribute array by one slot (the handler
// and the StackMapTable that instrumentation adds). Counts past the end of
// the bytes count as 0; attributes as many as the bytes can hold at most.
uint64_t ArenaSize(const JCRAttribute *attribute) {
    const uint8_t *info = attribute->info;
    uint64_t length = attribute->length;
    uint64_t size = ((sizeof(JCRCode) + 7) & ~size_t{7}) + length + 16;
    if (length < 8) return size;
    uint64_t at = 8 + (uint64_t{info[4]} << 24 | uint64_t{info[5]} << 16 | uint64_t{info[6]} << 8 | info[7]);
    if (at + 2 > length) return size;
    uint64_t exceptions = info[at] << 8 | info[at + 1];
    at += 2 + 8 * exceptions;
    if (at + 2 > length) return size;
    uint64_t attributes = info[at] << 8 | info[at + 1];
    if (attributes > length / 6) attributes = length / 6;
    return size + 8 * (exceptions + 1) + 17 * attributes + 8 * (attributes + 1);
}

bool ReadCode(JCRReader &reader, JCRCode *code) {
    code->max_stack = reader.u16();
    code->max_locals = reader.u16();
    code->code_length = reader.u32();
    if (static_cast<int64_t>(code->code_length) > reader.remaining) return false;
    if (code->code_length > 0) {
        code->code = static_cast<uint8_t *>(JCRArenaAllocate(&code->arena, code->code_length));
        if (code->code == nullptr) return false;
        reader.bytes(code->code, code->code_length);
    }
    code->exception_table_length = reader.u16();
    // Each entry takes 8 bytes; a table longer than what is left is corrupt.
    if (static_cast<int64_t>(code->exception_table_length) * 8 > reader.remaining) return false;
    if (code->exception_table_length > 0) {
        code->exception_table = JCRArenaArray<JCRExceptionEntry>(&code->arena, code->exception_table_length);
        if (code->exception_table == nullptr) return false;
        for (int i = 0; i < code->exception_table_length; i++) {
            JCRExceptionEntry &entry = code->exception_table[i];
            entry.start_pc = reader.u16();
            entry.end_pc = reader.u16();
            entry.handler_pc = reader.u16();
            entry.catch_type = reader.u16();
        }
    }
    code->attributes_count = reader.u16();
    if (reader.exhausted()) return false;
    if (!JCRReadAttributes(reader, code->attributes_count, &code->attributes, &code->arena)) {
        code->attributes_count = 0;
        return false;
    }
    return true;
}

}  // namespace

JCRCode *JCRParseCode(const JCRClass *jclass, const JCRAttribute *attribute) {
    if (attribute == nullptr) return nullptr;
    uint64_t size = ArenaSize(attribute);
    auto *block = static_cast<uint8_t *>(JCRAllocate(size));
    if (block == nullptr) return nullptr;
    JCRArena arena{block, static_cast<uint32_t>(size), 0};
    JCRCode *code = JCRArenaArray<JCRCode>(&arena, 1);
    code->arena = arena;
    code->major_version = jclass == nullptr ? 0 : jclass->major_version;
    code->name_index = attribute->name_index;
    code->attribute_length = attribute->length;
    JCRReader reader(attribute->info, attribute->length);
    if (!ReadCode(reader, code)) {
        JCRFreeCode(code);
        std::fprintf(stderr, kCorruptCode);
        return nullptr;
    }
    return code;
}

void JCRFreeCode(JCRCode *code) {
    if (code == nullptr) return;
    JCRRelease(&code->arena, code->code);
    JCRRelease(&code->arena, code->exception_table);
    JCRFreeAttributes(&code->arena, code->attributes, code->attributes_count);
    sFree(code);  // with the arena, which starts at the record when parsed
}

JCRAttribute *JCRWriteCode(const JCRClass *, const JCRCode *code, const JCRInsnList *list) {
    uint64_t size = 12 + uint64_t{code->code_length} + 8 * uint64_t{code->exception_table_length};
    for (int i = 0; i < code->attributes_count; i++) size += 6 + uint64_t{code->attributes[i]->length};
    JCRByteBuffer buffer{};
    JCRBeginAttribute(&buffer, size);
    JCRPutU16(&buffer, code->max_stack);
    JCRPutU16(&buffer, code->max_locals);
    JCRPutU32(&buffer, code->code_length);
    if (list == nullptr) {
        JCRPutBytes(&buffer, code->code, code->code_length);
    } else if (JCRBufferReserve(&buffer, code->code_length)) {
        JCREncodeCodeInto(list, buffer.data + buffer.length);
        buffer.length += code->code_length;
    }
    JCRPutU16(&buffer, code->exception_table_length);
    for (int i = 0; i < code->exception_table_length; i++) {
        const JCRExceptionEntry &entry = code->exception_table[i];
        JCRPutU16(&buffer, entry.start_pc);
        JCRPutU16(&buffer, entry.end_pc);
        JCRPutU16(&buffer, entry.handler_pc);
        JCRPutU16(&buffer, entry.catch_type);
    }
    JCRPutU16(&buffer, code->attributes_count);
    JCRWriteAttributes(&buffer, code->attributes, code->attributes_count);
    return JCRFinishAttribute(code->name_index, &buffer);
}

void JCRAddExceptionEntry(JCRCode *code, int start_pc, int end_pc, int handler_pc, int catch_type) {
    // The table length is a u16: a full table takes no more entries.
    if (code->exception_table_length == 0xFFFF) return;
    int length = code->exception_table_length;
    JCRExceptionEntry *table = JCRArenaArray<JCRExceptionEntry>(&code->arena, length + 1);
    if (table == nullptr) return;
    if (length > 0) std::memcpy(table, code->exception_table, length * sizeof(JCRExceptionEntry));
    table[length] = JCRExceptionEntry{static_cast<uint16_t>(start_pc), static_cast<uint16_t>(end_pc),
                                      static_cast<uint16_t>(handler_pc), static_cast<uint16_t>(catch_type)};
    JCRRelease(&code->arena, code->exception_table);
    code->exception_table = table;
    code->exception_table_length = static_cast<uint16_t>(length + 1);
}

bool JCRAddCodeAttribute(JCRCode *code, JCRAttribute *attribute) {
    int count = code->attributes_count;
    auto **grown = count < 0xFFFF ? JCRArenaArray<JCRAttribute *>(&code->arena, count + 1) : nullptr;
    if (grown == nullptr) {
        sFree(attribute);
        return false;
    }
    if (count > 0) std::memcpy(grown, code->attributes, count * sizeof(JCRAttribute *));
    grown[count] = attribute;
    JCRRelease(&code->arena, code->attributes);
    code->attributes = grown;
    code->attributes_count = static_cast<uint16_t>(count + 1);
    return true;
}

JCRLineTable *JCRParseLineTable(const JCRClass *, const JCRAttribute *attribute) {
    if (attribute == nullptr) return nullptr;
    // The entries follow the record in its block.
    auto *table = static_cast<JCRLineTable *>(
        JCRAllocate(sizeof(JCRLineTable) + JCRLineTableCount(attribute) * sizeof(JCRLineEntry)));
    if (table == nullptr) return nullptr;
    JCRReadLineTable(attribute, table, reinterpret_cast<JCRLineEntry *>(table + 1));
    return table;
}

uint16_t JCRLineTableCount(const JCRAttribute *attribute) {
    return attribute->length >= 2 ? static_cast<uint16_t>(attribute->info[0] << 8 | attribute->info[1]) : 0;
}

void JCRReadLineTable(const JCRAttribute *attribute, JCRLineTable *table, JCRLineEntry *entries) {
    JCRReader reader(attribute->info, attribute->length);
    table->name_index = attribute->name_index;
    table->length = static_cast<uint16_t>(attribute->length);
    table->count = reader.u16();
    table->entries = table->count > 0 ? entries : nullptr;
    for (int i = 0; i < table->count; i++) {
        entries[i].start_pc = reader.u16();
        entries[i].line_number = reader.u16();
    }
}

void JCRFreeLineTable(JCRLineTable *table) {
    if (table == nullptr) return;
    if (table->entries != reinterpret_cast<JCRLineEntry *>(table + 1)) sFree(table->entries);
    sFree(table);
}

bool JCRStoreLineTable(const JCRLineTable *table, JCRAttribute *attribute) {
    uint32_t length = 2 + 4 * uint32_t{table->count};
    if (attribute->length < length) return false;
    uint8_t *out = attribute->info;
    *out++ = static_cast<uint8_t>(table->count >> 8);
    *out++ = static_cast<uint8_t>(table->count);
    for (int i = 0; i < table->count; i++) {
        const JCRLineEntry &entry = table->entries[i];
        out[0] = static_cast<uint8_t>(entry.start_pc >> 8);
        out[1] = static_cast<uint8_t>(entry.start_pc);
        out[2] = static_cast<uint8_t>(entry.line_number >> 8);
        out[3] = static_cast<uint8_t>(entry.line_number);
        out += 4;
    }
    attribute->name_index = table->name_index;
    attribute->length = length;
    return true;
}

JCRAttribute *JCRWriteLineTable(const JCRClass *, const JCRLineTable *table) {
    JCRByteBuffer buffer{};
    JCRBeginAttribute(&buffer, 2 + 4 * uint64_t{table->count});
    JCRPutU16(&buffer, table->count);
    for (int i = 0; i < table->count; i++) {
        JCRPutU16(&buffer, table->entries[i].start_pc);
        JCRPutU16(&buffer, table->entries[i].line_number);
    }
    return JCRFinishAttribute(table->name_index, &buffer);
}
