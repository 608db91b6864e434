// Decoding a method's code bytes into an instruction list whose operands
// point into those bytes.
#include <cstdio>

#include "classfile/bytecode.h"
#include "classfile/bytecode_list.h"
#include "classfile/bytecode_operands.h"
#include "support/heap.h"

namespace {

// Operand bytes of the variable-length instruction at pc, or -1 when its
// fixed part runs past the end, or -2 when its declared size is impossible.
int64_t variableOperandLength(const uint8_t *code, uint64_t length, uint64_t pc) {
    uint8_t opcode = code[pc];
    if (opcode == JCR_OP_WIDE) {
        if (pc + 1 >= length) return -1;
        return code[pc + 1] == JCR_OP_IINC ? 5 : 3;
    }
    uint64_t padding = jcr::switchPadding(static_cast<int64_t>(pc + 1));
    uint64_t fixed = padding + (opcode == JCR_OP_TABLESWITCH ? 12 : 8);
    if (pc + 1 + fixed > length) return -1;
    const uint8_t *p = code + pc + 1 + padding;
    if (opcode == JCR_OP_TABLESWITCH) {
        int64_t low = jcr::readS32(p + 4);
        int64_t high = jcr::readS32(p + 8);
        if (high < low) return -2;
        return static_cast<int64_t>(fixed) + 4 * (high - low + 1);
    }
    int64_t pairs = jcr::readS32(p + 4);
    if (pairs < 0) return -2;
    return static_cast<int64_t>(fixed) + 8 * pairs;
}

}  // namespace

JCRInsnList *JCRDecodeCode(const JCRCode *code) {
    if (code == nullptr || code->code == nullptr || code->code_length == 0) return JCRNewInsnList();
    // Compiled code averages more than two bytes an instruction: one array
    // of this size usually holds the whole method.
    uint32_t estimate = code->code_length / 2 + 8;
    JCRInsnList *list = jcr::newInsnList(static_cast<int>(estimate < (1u << 20) ? estimate : (1u << 20)));
    if (list == nullptr) return nullptr;
    uint8_t *bytes = code->code;
    uint64_t length = code->code_length;
    uint64_t pc = 0;
    while (pc < length) {
        uint8_t opcode = bytes[pc];
        const JCROpcodeInfo &info = JCROpcodeRow(opcode, code->major_version);
        int64_t operands = info.operand_length;
        if (operands < 0) operands = variableOperandLength(bytes, length, pc);
        if (operands == -2) {
            std::fprintf(stderr, "ZV encountered corrupt code, %s at offset %llu has an impossible size\n",
                         info.name, static_cast<unsigned long long>(pc));
            JCRFreeInsnList(list);
            return nullptr;
        }
        if (operands < 0 || pc + 1 + static_cast<uint64_t>(operands) > length) {
            std::fprintf(stderr, "ZV encountered corrupt code, %s at offset %llu runs past the end of the code\n",
                         info.name, static_cast<unsigned long long>(pc));
            JCRFreeInsnList(list);
            return nullptr;
        }
        if (JCRKindOf(opcode) == JCR_KIND_SWITCH) list->has_switch = 1;
        JCRInsn insn{opcode, static_cast<uint32_t>(operands), operands > 0 ? bytes + pc + 1 : nullptr};
        if (list->count >= list->capacity && !jcr::reserveInsns(list, 1)) {
            JCRFreeInsnList(list);
            return nullptr;
        }
        list->insns[list->count++] = insn;
        pc += 1 + static_cast<uint64_t>(operands);
    }
    return list;
}
