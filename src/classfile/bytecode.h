// The bytecode editor: a method's code as a list of instructions that the
// instrumentation inserts into, with branch, switch, exception-table and
// line-table relocation, stack depth, final checks, builders and dumps.
#pragma once

#include <cstdint>

#include "classfile/classfile.h"

// ------------------------------------------------------------ opcode table

enum {
    JCR_BRANCH_NONE = 0,
    JCR_BRANCH_16 = 1,      // signed 16-bit offset relative to the opcode
    JCR_BRANCH_32 = 2,      // signed 32-bit offset relative to the opcode
    JCR_BRANCH_SWITCH = 3,  // tableswitch, lookupswitch
};

// What an instruction does, as far as the editor and the rewriting ask.
enum JCROpKind : uint8_t {
    JCR_KIND_OTHER = 0,
    JCR_KIND_LOCAL_STORE,  // istore .. astore_3
    JCR_KIND_CONDITIONAL,  // the if* branches
    JCR_KIND_GOTO,         // goto, goto_w
    JCR_KIND_JSR,          // jsr, jsr_w
    JCR_KIND_RET,
    JCR_KIND_SWITCH,       // tableswitch, lookupswitch
    JCR_KIND_RETURN,       // ireturn .. return
    JCR_KIND_THROW,        // athrow
    JCR_KIND_FIELD,        // getstatic, putstatic, getfield, putfield
    JCR_KIND_INVOKE,       // invokevirtual .. invokeinterface, invokedynamic
};

struct JCROpcodeInfo {
    const char *name;
    int8_t operand_length;  // bytes after the opcode; -1 when variable
    uint8_t branch_kind;    // JCR_BRANCH_*
    int8_t popped;          // operand-stack words taken; -1 when it depends on the operand
    int8_t pushed;          // words left; -1 when it depends on the operand
    uint8_t kind;           // JCR_KIND_*
};

// Rows 0..255, indexed by opcode, as in class files before major version 51.
extern const JCROpcodeInfo JCROpcodes[256];

// The row of opcode in the code of a class of majorVersion: from version 51
// on, 186 is invokedynamic (u2 index into an InvokeDynamic entry, then two
// zero bytes); every other row is the same in all versions.
const JCROpcodeInfo &JCROpcodeRow(int opcode, int majorVersion);

// The kind of opcode (its row before version 51: 186 is then no invoke).
inline JCROpKind JCRKindOf(int opcode) { return static_cast<JCROpKind>(JCROpcodes[opcode & 0xff].kind); }

// Whether control never goes on to the next instruction: returns, athrow,
// ret, goto and the switches.
inline bool JCREndsFallThrough(int opcode) {
    switch (JCRKindOf(opcode)) {
        case JCR_KIND_RETURN: case JCR_KIND_THROW: case JCR_KIND_RET: case JCR_KIND_GOTO: case JCR_KIND_SWITCH:
            return true;
        default:
            return false;
    }
}

// The opcodes the editor itself names.
enum {
    JCR_OP_NOP = 0,
    JCR_OP_ICONST_M1 = 2,
    JCR_OP_ICONST_1 = 4,
    JCR_OP_ICONST_5 = 8,
    JCR_OP_BIPUSH = 16,
    JCR_OP_SIPUSH = 17,
    JCR_OP_LDC = 18,
    JCR_OP_LDC_W = 19,
    JCR_OP_ILOAD = 21,
    JCR_OP_ALOAD = 25,
    JCR_OP_ILOAD_0 = 26,
    JCR_OP_ALOAD_0 = 42,
    JCR_OP_ALOAD_3 = 45,
    JCR_OP_ISTORE = 54,
    JCR_OP_ASTORE = 58,
    JCR_OP_ISTORE_0 = 59,
    JCR_OP_ASTORE_0 = 75,
    JCR_OP_ASTORE_3 = 78,
    JCR_OP_POP = 87,
    JCR_OP_IINC = 132,
    JCR_OP_IFEQ = 153,
    JCR_OP_IFNE = 154,
    JCR_OP_IF_ACMPNE = 166,
    JCR_OP_GOTO = 167,
    JCR_OP_JSR = 168,
    JCR_OP_RET = 169,
    JCR_OP_TABLESWITCH = 170,
    JCR_OP_LOOKUPSWITCH = 171,
    JCR_OP_IRETURN = 172,
    JCR_OP_RETURN = 177,
    JCR_OP_GETSTATIC = 178,
    JCR_OP_PUTSTATIC = 179,
    JCR_OP_GETFIELD = 180,
    JCR_OP_PUTFIELD = 181,
    JCR_OP_INVOKEVIRTUAL = 182,
    JCR_OP_INVOKESPECIAL = 183,
    JCR_OP_INVOKESTATIC = 184,
    JCR_OP_INVOKEINTERFACE = 185,
    JCR_OP_INVOKEDYNAMIC = 186,
    JCR_OP_ATHROW = 191,
    JCR_OP_WIDE = 196,
    JCR_OP_MULTIANEWARRAY = 197,
    JCR_OP_IFNULL = 198,
    JCR_OP_IFNONNULL = 199,
    JCR_OP_GOTO_W = 200,
    JCR_OP_JSR_W = 201,
};

// ------------------------------------------------------ instruction list

// One instruction. The operand bytes are not owned: they point into the
// method's code bytes (decoded instructions) or into the class's operand pool
// (built instructions). A decoded switch's operands include its padding.
struct JCRInsn {
    uint8_t opcode;
    uint32_t operand_length;
    uint8_t *operands;  // null when operand_length is 0
};

struct JCRInsnList {
    int32_t capacity;
    int32_t count;
    JCRInsn *insns;           // owned
    int32_t branch_overflow;  // a relocated 16-bit offset no longer fits
    int32_t has_switch;       // decoding met a tableswitch or lookupswitch
};

// Flags of the insertions.
enum {
    // Branches, handlers and try ends at the insertion point skip the inserted
    // code (entry code); without it they run it (code before a return).
    JCR_INSERT_SKIP_INSERTED = 1,
    // Trace every relocation on standard output.
    JCR_INSERT_TRACE = 2,
};

// An empty list of capacity 8; null when memory runs out.
JCRInsnList *JCRNewInsnList();
void JCRFreeInsnList(JCRInsnList *list);  // null accepted

inline int JCRInsnSize(const JCRInsn *insn) { return 1 + static_cast<int>(insn->operand_length); }

// The code's instructions, whose operands point into code->code (which must
// outlive the list and is rewritten in place by relocation), decoded with the
// rows of code->major_version. Null, after a message on standard error, when
// an instruction runs past the end of the code or a switch has an impossible
// size.
JCRInsnList *JCRDecodeCode(const JCRCode *code);
// New sMalloc'ed code bytes (opcode then operands, as they stand); null when
// memory runs out or the code would exceed 2 GB.
uint8_t *JCREncodeCode(const JCRInsnList *list, int *outLength);
// The same into out, which has room for the list's size (JCRInsnOffset of count).
void JCREncodeCodeInto(const JCRInsnList *list, uint8_t *out);

// Offset of instruction index (the total size for index == count).
int JCRInsnOffset(const JCRInsnList *list, int index);
// Index of the instruction starting exactly at offset, or -1.
int JCRInsnAtOffset(const JCRInsnList *list, int offset);

// Inserts n instructions before instruction index (0 <= index <= count) and
// relocates branches, switches, the code's exception table and the line table
// (may be null). Returns the number of instructions inserted: n plus the nops
// that keep switches aligned; 0 when index is out of range. The code record
// and the code bytes are changed in place: a caller that rejects the edited
// list must discard the code record too.
int JCRInsertAt(JCRInsnList *list, const JCRInsn *insns, int n, int index, JCRCode *code,
                JCRLineTable *table, int flags);
// Inserts before the instruction at offset (1), or when none starts there,
// before the nearest one starting below it (0).
int JCRInsertAtOffset(JCRClass *jclass, JCRInsnList *list, const JCRInsn *insns, int n,
                      int offset, JCRCode *code, JCRLineTable *table, int flags);
// One block of instructions for JCRInsertBatch.
struct JCRInsertion {
    int index;             // before this instruction of the list as it is; count: after the last
    const JCRInsn *insns;  // the block, left as it is: the list copies the records
    int n;
    int flags;             // JCR_INSERT_*
    int at;                // set by the batch: the old offset of instruction index
    int bytes;             // set by the batch: the block's size with its padding nops
};
// Inserts every block in one pass over the list, the exception table and the
// line table: for each block, the same as JCRInsertAt at its index, but
// branches and table entries are moved once. Blocks come sorted by index;
// those at one index go in the order given. A branch, handler or try end
// that led to instruction index then leads past the blocks there that skip
// the inserted code (flag JCR_INSERT_SKIP_INSERTED) and come before the
// first one that does not; a try start or line start (other than pc 0) moves
// past all of them. Blocks at the end relocate nothing and get no padding.
// Returns the instructions inserted (padding included); 0, with nothing
// changed, when a block is out of order or out of range or memory runs out.
int JCRInsertBatch(JCRInsnList *list, JCRInsertion *blocks, int count, JCRCode *code, JCRLineTable *table);
// The new relative offset of a branch at offset b (in the edited numbering)
// whose old target is b + off, after nl bytes were inserted at NO.
int relocateJump(int NO, int nl, int b, int off, int flags);
// The nops needed after byteCount inserted bytes: 0 without switches.
int JCRSwitchPadding(const JCRInsnList *list, int byteCount);
// How many insertions of size bytes still fit below the 64 KB code limit.
int JCRRoomFor(const JCRInsnList *list, int size);

// max_stack for the list (at most 65535). Control flow is followed from
// instruction 0 and from every exception handler; a target that is not an
// instruction start ends its path.
int JCRComputeMaxStack(const JCRClass *jclass, const JCRCode *code, const JCRInsnList *list);
// The change of the operand-stack depth (in words) that one instruction makes.
int JCRStackEffect(const JCRClass *jclass, const JCRInsn *insn);
// Words taken by the arguments of a method descriptor.
int JCRArgumentWords(const char *descriptor);

// 0 when the list may be encoded; 1 (with a message on standard error when
// report is set) after a branch overflow, for code of 64 KB or more, for a
// branch or switch target that is not an instruction start, or for a switch
// whose operands are no longer 4-byte aligned. length (may be null) receives
// the code's size when it passes.
int JCRCheckCode(const JCRInsnList *list, int report, int *length = nullptr);

// ------------------------------------------------------------- builders
// Each fills one instruction and returns its size in bytes. Operand bytes
// come from the class's operand pool. A builder that cannot build (operand
// pool or constant pool refused, index out of range) returns 0 and leaves a
// nop behind.

// A 4-byte slot of the class's operand pool, or null when memory runs out.
uint8_t *JCRAllocOperands(JCRClass *jclass);

int JCRMakeOp(JCRInsn *insn, int opcode);
int JCRMakeOpU16(JCRClass *jclass, JCRInsn *insn, int opcode, int value);
int JCRMakeOpU32(JCRClass *jclass, JCRInsn *insn, int opcode, int32_t value);  // goto_w, jsr_w
int JCRMakePushInt(JCRClass *jclass, JCRInsn *insn, int32_t value);
int JCRMakePushString(JCRClass *jclass, JCRInsn *insn, const char *text);
int JCRMakeALoad(JCRClass *jclass, JCRInsn *insn, int index);
int JCRMakeAStore(JCRClass *jclass, JCRInsn *insn, int index);
int JCRMakeILoad(JCRClass *jclass, JCRInsn *insn, int index);
int JCRMakeIStore(JCRClass *jclass, JCRInsn *insn, int index);
// The local index of an aload/astore (not the wide form), else -1.
int JCRALoadIndex(const JCRClass *jclass, const JCRInsn *insn);
int JCRAStoreIndex(const JCRClass *jclass, const JCRInsn *insn);

// ------------------------------------------------------------ debug dumps
// Written to standard output.

void JCRDumpInsn(const JCRClass *jclass, const JCRInsnList *list, int index);
void JCRDumpCode(const JCRClass *jclass, const JCRInsnList *list, const JCRLineTable *table);

// ------------------------------------------------------------ operand bytes
// An instruction's operands as the class file holds them: big-endian.

namespace jcr {

inline int32_t readS32(const uint8_t *p) {
    return static_cast<int32_t>((uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) |
                                uint32_t{p[3]});
}
inline int16_t readS16(const uint8_t *p) { return static_cast<int16_t>((p[0] << 8) | p[1]); }
inline uint16_t readU16(const uint8_t *p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }

inline void writeU16(uint8_t *p, uint32_t value) {
    p[0] = static_cast<uint8_t>(value >> 8);
    p[1] = static_cast<uint8_t>(value);
}
inline void writeU32(uint8_t *p, uint32_t value) {
    p[0] = static_cast<uint8_t>(value >> 24);
    p[1] = static_cast<uint8_t>(value >> 16);
    p[2] = static_cast<uint8_t>(value >> 8);
    p[3] = static_cast<uint8_t>(value);
}

}  // namespace jcr
