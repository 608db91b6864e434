// Building the instructions that instrumentation inserts: constant pushes,
// local loads and stores, and opcodes with a 16-bit operand. Their operand
// bytes live in the class's operand pool, one 4-byte slot each.
#include "classfile/bytecode.h"
#include "classfile/bytecode_operands.h"
#include "support/heap.h"

namespace {

enum { kChunkBytes = 512, kSlotBytes = 4, kSlotsPerChunk = kChunkBytes / kSlotBytes };

int fail(JCRInsn *insn) {
    *insn = JCRInsn{JCR_OP_NOP, 0, nullptr};
    return 0;
}

int withOperands(JCRClass *jclass, JCRInsn *insn, int opcode, const uint8_t *bytes, uint32_t length) {
    uint8_t *slot = JCRAllocOperands(jclass);
    if (slot == nullptr) return fail(insn);
    for (uint32_t k = 0; k < length; k++) slot[k] = bytes[k];
    *insn = JCRInsn{static_cast<uint8_t>(opcode), length, slot};
    return 1 + static_cast<int>(length);
}

// The short form for 0-3, the one-byte-index form for 4-255, else wide.
int makeLocal(JCRClass *jclass, JCRInsn *insn, int shortBase, int plain, int index) {
    if (index < 0 || index > 0xffff) return fail(insn);
    if (index <= 3) return JCRMakeOp(insn, shortBase + index);
    if (index <= 255) {
        uint8_t operand = static_cast<uint8_t>(index);
        return withOperands(jclass, insn, plain, &operand, 1);
    }
    uint8_t operands[3] = {static_cast<uint8_t>(plain), static_cast<uint8_t>(index >> 8), static_cast<uint8_t>(index)};
    return withOperands(jclass, insn, JCR_OP_WIDE, operands, 3);
}

// ldc for pool indexes below 256, else ldc_w.
int makeLdc(JCRClass *jclass, JCRInsn *insn, int index) {
    if (index <= 0 || index > 0xffff) return fail(insn);
    if (index < 256) {
        uint8_t operand = static_cast<uint8_t>(index);
        return withOperands(jclass, insn, JCR_OP_LDC, &operand, 1);
    }
    return JCRMakeOpU16(jclass, insn, JCR_OP_LDC_W, index);
}

int localIndex(const JCRInsn *insn, int shortBase, int plain) {
    if (insn->opcode >= shortBase && insn->opcode <= shortBase + 3) return insn->opcode - shortBase;
    if (insn->opcode == plain && insn->operand_length >= 1 && insn->operands != nullptr) return insn->operands[0];
    return -1;
}

}  // namespace

uint8_t *JCRAllocOperands(JCRClass *jclass) {
    if (jclass == nullptr) return nullptr;
    if (jclass->operand_chunks == nullptr) {
        jclass->operand_chunks = static_cast<uint8_t **>(sMalloc(sizeof(uint8_t *)));
        if (jclass->operand_chunks == nullptr) return nullptr;
        jclass->operand_chunks[0] = nullptr;
        jclass->operand_chunk_capacity = 1;
        jclass->operand_chunk_index = 0;
        jclass->operand_slots_used = 0;
    }
    if (jclass->operand_chunks[jclass->operand_chunk_index] != nullptr &&
        jclass->operand_slots_used >= kSlotsPerChunk) {
        if (jclass->operand_chunk_index + 1 >= jclass->operand_chunk_capacity) {
            int capacity = 2 * jclass->operand_chunk_capacity;
            auto *chunks = static_cast<uint8_t **>(sMalloc(static_cast<int>(capacity * sizeof(uint8_t *))));
            if (chunks == nullptr) return nullptr;
            for (int i = 0; i < capacity; i++)
                chunks[i] = i < jclass->operand_chunk_capacity ? jclass->operand_chunks[i] : nullptr;
            sFree(jclass->operand_chunks);
            jclass->operand_chunks = chunks;
            jclass->operand_chunk_capacity = capacity;
        }
        jclass->operand_chunk_index++;
        jclass->operand_slots_used = 0;
    }
    uint8_t *&chunk = jclass->operand_chunks[jclass->operand_chunk_index];
    if (chunk == nullptr) {
        chunk = static_cast<uint8_t *>(sMalloc(kChunkBytes));
        if (chunk == nullptr) return nullptr;
        jclass->operand_slots_used = 0;
    }
    return chunk + kSlotBytes * jclass->operand_slots_used++;
}

int JCRMakeOp(JCRInsn *insn, int opcode) {
    *insn = JCRInsn{static_cast<uint8_t>(opcode), 0, nullptr};
    return 1;
}

int JCRMakeOpU16(JCRClass *jclass, JCRInsn *insn, int opcode, int value) {
    uint8_t operands[2];
    jcr::writeU16(operands, static_cast<uint32_t>(value));
    return withOperands(jclass, insn, opcode, operands, 2);
}

int JCRMakeOpU32(JCRClass *jclass, JCRInsn *insn, int opcode, int32_t value) {
    uint8_t operands[4];
    jcr::writeU32(operands, static_cast<uint32_t>(value));
    return withOperands(jclass, insn, opcode, operands, 4);
}

int JCRMakePushInt(JCRClass *jclass, JCRInsn *insn, int32_t value) {
    if (value >= -1 && value <= 5) return JCRMakeOp(insn, JCR_OP_ICONST_M1 + 1 + value);
    if (value >= -128 && value <= 127) {
        uint8_t operand = static_cast<uint8_t>(value);
        return withOperands(jclass, insn, JCR_OP_BIPUSH, &operand, 1);
    }
    if (value >= -32768 && value <= 32767) return JCRMakeOpU16(jclass, insn, JCR_OP_SIPUSH, value);
    int index = JCRFindInteger(jclass, value);
    if (index <= 0) index = JCRAddInteger(jclass, value);
    return makeLdc(jclass, insn, index);
}

int JCRMakePushString(JCRClass *jclass, JCRInsn *insn, const char *text) {
    if (text == nullptr) return fail(insn);
    int index = JCRFindString(jclass, text);
    if (index <= 0) index = JCRAddString(jclass, text);
    return makeLdc(jclass, insn, index);
}

int JCRMakeALoad(JCRClass *jclass, JCRInsn *insn, int index) {
    return makeLocal(jclass, insn, JCR_OP_ALOAD_0, JCR_OP_ALOAD, index);
}
int JCRMakeAStore(JCRClass *jclass, JCRInsn *insn, int index) {
    return makeLocal(jclass, insn, JCR_OP_ASTORE_0, JCR_OP_ASTORE, index);
}
int JCRMakeILoad(JCRClass *jclass, JCRInsn *insn, int index) {
    return makeLocal(jclass, insn, JCR_OP_ILOAD_0, JCR_OP_ILOAD, index);
}
int JCRMakeIStore(JCRClass *jclass, JCRInsn *insn, int index) {
    return makeLocal(jclass, insn, JCR_OP_ISTORE_0, JCR_OP_ISTORE, index);
}

int JCRALoadIndex(const JCRClass *, const JCRInsn *insn) { return localIndex(insn, JCR_OP_ALOAD_0, JCR_OP_ALOAD); }
int JCRAStoreIndex(const JCRClass *, const JCRInsn *insn) { return localIndex(insn, JCR_OP_ASTORE_0, JCR_OP_ASTORE); }
