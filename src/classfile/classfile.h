// The class-file model: parse class-file bytes into an editable record, look
// things up and add constants, members and attributes, and write it back.
#pragma once

#include <cstdint>

#include "support/containers.h"

struct JCRInsnList;  // bytecode.h

// Constant-pool tags understood by the model; any other tag is unknown, and
// so is a tag that the class's major version does not allow yet (see
// JCRConstantTagAllowed).
enum {
    JCR_CONSTANT_Utf8 = 1,
    JCR_CONSTANT_Integer = 3,
    JCR_CONSTANT_Float = 4,
    JCR_CONSTANT_Long = 5,
    JCR_CONSTANT_Double = 6,
    JCR_CONSTANT_Class = 7,
    JCR_CONSTANT_String = 8,
    JCR_CONSTANT_Fieldref = 9,
    JCR_CONSTANT_Methodref = 10,
    JCR_CONSTANT_InterfaceMethodref = 11,
    JCR_CONSTANT_NameAndType = 12,
    JCR_CONSTANT_MethodHandle = 15,   // from major version 51
    JCR_CONSTANT_MethodType = 16,     // from 51
    JCR_CONSTANT_Dynamic = 17,        // from 55
    JCR_CONSTANT_InvokeDynamic = 18,  // from 51
    JCR_CONSTANT_Module = 19,         // from 53
    JCR_CONSTANT_Package = 20,        // from 53
};

// 1 when a class file of majorVersion may hold constants with the tag.
int JCRConstantTagAllowed(int tag, int majorVersion);

enum { JCR_ACC_STATIC = 0x0008 };

// The largest constant_pool_count a class file can carry.
enum { JCR_MAX_CONSTANT_POOL_COUNT = 65535 };

// One constant-pool entry. Which fields are meaningful depends on the tag:
//   Utf8                       length, text (length bytes + NUL, inline)
//   Integer, Float             value (the four bytes as read)
//   Long, Double               high, low
//   Class                      index1 = name_index
//   String                     index1 = string_index
//   Fieldref, Methodref,
//   InterfaceMethodref         index1 = class_index, index2 = name_and_type_index
//   NameAndType                index1 = name_index, index2 = descriptor_index
//   MethodHandle               kind = reference_kind, index1 = reference_index
//   MethodType                 index1 = descriptor_index
//   Dynamic, InvokeDynamic     index1 = bootstrap_method_attr_index,
//                              index2 = name_and_type_index
//   Module, Package            index1 = name_index
// Non-Utf8 entries are allocated as sizeof(JCRConstant); Utf8 entries carry
// their text behind the record in the same allocation.
struct JCRConstant {
    uint8_t tag;
    uint8_t kind;
    uint16_t length;
    uint16_t index1;
    uint16_t index2;
    uint32_t value;
    uint32_t high;
    uint32_t low;
    char text[];
};

// One block that a parsed record's parts are bump-allocated from, freed at
// once with the record; the parts that do not fit are heap blocks of their
// own, and JCRRelease tells the two apart. The block never grows: a part
// replaced in it stays until the record is freed. Empty (null base) in
// records built by hand.
struct JCRArena {
    uint8_t *base;
    uint32_t size;
    uint32_t used;  // from base on
};

// Frees a block that a record held (an attribute, an array, a member, the code
// bytes...) unless it lies in the record's arena, which goes with the record.
// Null accepted.
inline void JCRRelease(const JCRArena *arena, void *block) {
    auto at = reinterpret_cast<uintptr_t>(block);
    auto base = reinterpret_cast<uintptr_t>(arena->base);
    if (base == 0 || at - base >= arena->size) sFree(block);
}

// An attribute with its info bytes inline (one allocation).
struct JCRAttribute {
    uint16_t name_index;
    uint32_t length;
    uint8_t info[];
};

// A field or a method.
struct JCRMember {
    uint16_t access_flags;
    uint16_t name_index;
    uint16_t descriptor_index;
    uint16_t attributes_count;
    JCRAttribute **attributes;  // null when attributes_count is 0
};

struct JCRClass {
    uint32_t magic;
    uint16_t minor_version;
    uint16_t major_version;
    uint16_t constant_pool_count;   // slots + 1; slot 0 unused
    JCRConstant **constant_pool;    // slot 0 and the slot after Long/Double are null
    uint16_t access_flags;
    uint16_t this_class;
    uint16_t super_class;
    uint16_t interfaces_count;
    uint16_t *interfaces;           // null when interfaces_count is 0
    uint16_t fields_count;
    JCRMember **fields;             // null when fields_count is 0
    uint16_t methods_count;
    JCRMember **methods;            // null when methods_count is 0
    uint16_t attributes_count;
    JCRAttribute **attributes;      // null when attributes_count is 0
    int32_t constant_pool_room;     // slots allocated for constant_pool; 0: constant_pool_count
    // What the parser made (the pool's entries and its slot array, the
    // interfaces, the members, the attributes and their arrays) lies in this
    // block, and as much of what is added later as fits in its rest;
    // JCRFreeClass frees it, replaced parts are freed by JCRRelease.
    JCRArena arena;

    // Operand pool of the bytecode editor: 4-byte slots in chunks of 512 bytes.
    // Table entries that hold no chunk are null; JCRFreeClass frees every
    // non-null chunk and the table.
    uint8_t **operand_chunks;
    int32_t operand_slots_used;      // in the current chunk
    int32_t operand_chunk_index;     // the current chunk
    int32_t operand_chunk_capacity;  // entries of operand_chunks

    // Line-table scratch vectors, created on first use and reused for every
    // method of the class; freed (when non-null) by JCRFreeClass.
    ZVVector *line_numbers;
    ZVVector *line_start_pcs;

    // JCRFindInteger's index of the pool's Integer entries up to slot
    // integers_indexed (the pool only grows at its end); freed by JCRFreeClass.
    struct JCRIntegerIndex *integer_index;
    int32_t integers_indexed;
};

struct JCRExceptionEntry {
    uint16_t start_pc;
    uint16_t end_pc;
    uint16_t handler_pc;
    uint16_t catch_type;
};

// A parsed Code attribute. The parser puts the record, the code bytes (aligned
// in memory), the exception table and the attributes in one block, the
// record's arena; parts that replace them are sMalloc'ed blocks of their own,
// owned by the record, and the replaced parts are freed with JCRRelease.
struct JCRCode {
    uint16_t name_index;        // the "Code" Utf8
    uint32_t attribute_length;  // as read; not used when writing
    uint16_t max_stack;
    uint16_t max_locals;
    uint32_t code_length;
    uint8_t *code;                        // null when code_length is 0
    uint16_t exception_table_length;
    JCRExceptionEntry *exception_table;   // null when the length is 0
    uint16_t attributes_count;
    JCRAttribute **attributes;            // null when attributes_count is 0
    // Of the class the code was parsed from (0 in records built by hand): the
    // decoder picks the opcode rows by it.
    uint16_t major_version;
    JCRArena arena;  // starts at the record itself when parsed
};

struct JCRLineEntry {
    uint16_t start_pc;
    uint16_t line_number;
};

// A parsed LineNumberTable attribute (its entries follow it in the same block
// when parsed).
struct JCRLineTable {
    uint16_t name_index;
    uint16_t length;  // low 16 bits of the attribute length
    uint16_t count;
    JCRLineEntry *entries;  // null when count is 0
};

// Growable output buffer of every writer. Starts zero-filled (capacity 0).
// When memory runs out or the data would pass 2 GB, failed is set and later
// appends are dropped; writers then return null.
struct JCRByteBuffer {
    uint32_t capacity;
    uint32_t length;
    uint8_t *data;
    int32_t failed;
};

void JCRBufferAppendU8(JCRByteBuffer *buffer, uint32_t value);
void JCRBufferAppendU16(JCRByteBuffer *buffer, uint32_t value);  // high byte first
void JCRBufferAppendU32(JCRByteBuffer *buffer, uint32_t value);  // most significant first
void JCRBufferAppendBytes(JCRByteBuffer *buffer, const uint8_t *bytes, uint32_t count);
void JCRBufferFree(JCRByteBuffer *buffer);  // frees the data, leaves the buffer empty

// ------------------------------------------------------- reading and writing

// Null (after a message on standard error) when the bytes are not a parsable
// class. Never reads outside bytes[0, length).
JCRClass *JCRParseClass(const uint8_t *bytes, int length);
// A new sMalloc'ed array with the class file; *outLength receives its length.
// Null (and *outLength 0) when the class is too large or memory runs out.
uint8_t *JCRWriteClass(const JCRClass *jclass, int *outLength);
void JCRFreeClass(JCRClass *jclass);  // null accepted

// Null (after a message) when the attribute is not a well-formed Code attribute.
JCRCode *JCRParseCode(const JCRClass *jclass, const JCRAttribute *attribute);
void JCRFreeCode(JCRCode *code);  // null accepted
// A new attribute named by code->name_index. With a list, the code bytes are
// its instructions, encoded straight into the attribute (code->code_length
// must be their size; code->code is not read).
JCRAttribute *JCRWriteCode(const JCRClass *jclass, const JCRCode *code, const JCRInsnList *list = nullptr);
void JCRAddExceptionEntry(JCRCode *code, int start_pc, int end_pc, int handler_pc, int catch_type);
// Appends the attribute, which the code then owns; false (the attribute
// freed) when the array is full or memory runs out.
bool JCRAddCodeAttribute(JCRCode *code, JCRAttribute *attribute);

// Missing bytes read as 0 (a short attribute gives fewer or zero entries).
JCRLineTable *JCRParseLineTable(const JCRClass *jclass, const JCRAttribute *attribute);
void JCRFreeLineTable(JCRLineTable *table);  // null accepted
// The same without an allocation: the table into *table, its entries into
// entries, which has room for JCRLineTableCount of them (the table is the
// caller's, not for JCRFreeLineTable).
uint16_t JCRLineTableCount(const JCRAttribute *attribute);
void JCRReadLineTable(const JCRAttribute *attribute, JCRLineTable *table, JCRLineEntry *entries);
JCRAttribute *JCRWriteLineTable(const JCRClass *jclass, const JCRLineTable *table);
// The same written over the bytes of attribute (mostly the one the table was
// read from), without an allocation; false (attribute untouched) when they
// are too few.
bool JCRStoreLineTable(const JCRLineTable *table, JCRAttribute *attribute);

// ------------------------------------------------------------------ lookups
// Index lookups return -1 when nothing matches; record lookups return null.

// The entry at index when it exists and has the tag (0: any tag), else null.
const JCRConstant *JCRConstantAt(const JCRClass *jclass, int index, int tag);
// The text of the Utf8 entry at index, or null.
const char *JCRUtf8At(const JCRClass *jclass, int index);

// this_class's name in internal form, or null when this_class does not lead
// to a Class entry naming a Utf8 entry.
const char *JCRClassName(const JCRClass *jclass);
// '.' and '/' count as equal, so a dotted name matches the internal form.
int JCRClassNameIs(const JCRClass *jclass, const char *name);

int JCRFindUtf8(const JCRClass *jclass, const char *text);
int JCRFindInteger(const JCRClass *jclass, int32_t value);
int JCRFindClassRef(const JCRClass *jclass, const char *name);
int JCRFindString(const JCRClass *jclass, const char *text);
int JCRFindNameAndType(const JCRClass *jclass, const char *name, const char *descriptor);
int JCRFindMethodref(const JCRClass *jclass, const char *className, const char *name,
                     const char *descriptor);
int JCRFindFieldref(const JCRClass *jclass, const char *className, const char *name,
                    const char *descriptor);

// First method with the name and descriptor without / with ACC_STATIC.
JCRMember *JCRFindMethod(const JCRClass *jclass, const char *name, const char *descriptor);
JCRMember *JCRFindStaticMethod(const JCRClass *jclass, const char *name, const char *descriptor);
JCRAttribute *JCRFindClassAttribute(const JCRClass *jclass, const char *name);
JCRAttribute *JCRFindMemberAttribute(const JCRClass *jclass, const JCRMember *member,
                                     const char *name);
int JCRIsSynthetic(const JCRClass *jclass, const JCRMember *member);

// ---------------------------------------------------------------- additions
// Each returns the new (or found) constant-pool index. A class file holds at
// most 65535 - 1 entries: an addition that would take constant_pool_count past
// 65535 prints the "ConstantPool too large" warning and is refused, returning
// 0 (never a valid index) and leaving the class unchanged. 0 is also returned
// for a Utf8 text longer than 65535 bytes or when memory runs out. Composite
// additions return 0 when any step is refused (earlier steps may remain).

int JCRAddUtf8(JCRClass *jclass, const char *text);
int JCRAddInteger(JCRClass *jclass, int32_t value);
int JCRAddString(JCRClass *jclass, const char *text);
int JCRAddClassRef(JCRClass *jclass, const char *name);
int JCRAddNameAndType(JCRClass *jclass, const char *name, const char *descriptor);
int JCRAddMethodref(JCRClass *jclass, const char *className, const char *name,
                    const char *descriptor);
int JCRAddFieldref(JCRClass *jclass, const char *className, const char *name,
                   const char *descriptor);

// One member of a class that JCRFindOrAddMemberRefs finds or adds.
struct JCRMemberRefSpec {
    bool method;  // a Methodref, else a Fieldref
    const char *name;
    const char *descriptor;
};
// For each spec, in order, the index of the first matching member reference
// of className, added as JCRAddMethodref / JCRAddFieldref would add it when
// there is none (0 when refused); the same pool as calling those one by one,
// in a few passes over the pool instead of several per reference. At most
// 16 specs.
void JCRFindOrAddMemberRefs(JCRClass *jclass, const char *className, const JCRMemberRefSpec *specs, int count,
                            int32_t *indexes);

// The new method (owned by the class), or null when a constant could not be
// added. code (may be null) is written into a new Code attribute and stays the
// caller's; extra (may be null) is taken over by the method. "<clinit>" goes
// first and gets no Synthetic attribute; other methods are appended.
JCRMember *JCRAddMethod(JCRClass *jclass, int access_flags, const char *name,
                        const char *descriptor, const JCRCode *code, JCRAttribute *extra);
// A new field without attributes, appended; null when refused.
JCRMember *JCRAddField(JCRClass *jclass, int access_flags, const char *name,
                       const char *descriptor);
// A new zero-length "Synthetic" attribute (its Utf8 found or added); null when refused.
JCRAttribute *JCRMakeSynthetic(JCRClass *jclass);

// ------------------------------------------------------------ debug dumps
// Written to standard output.

void JCRDumpConstant(const JCRClass *jclass, int index);
void JCRDumpExceptionTable(const JCRCode *code);
void JCRDumpLineTable(const JCRLineTable *table);
// The whole class: header, pool, members and their attributes (zvtool dump).
void JCRDumpClass(const JCRClass *jclass);

// ------------------------------------------------------- class dump archive

// Writes the class to base/package/dirs/Name.class; failures go to stderr.
// A null or empty base means JCRDefaultArchiveDirectory(). Class names with
// empty, "." or ".." components and paths past 2047 bytes are refused.
void JCRArchiveClass(const JCRClass *jclass, const char *baseDirectory);
// Where changed classes are archived by default: $TMPDIR, else "/tmp".
const char *JCRDefaultArchiveDirectory();
// 1 when the path exists or was created (one level), else 0 with a message.
int JCRValidateDirectory(const char *path);
