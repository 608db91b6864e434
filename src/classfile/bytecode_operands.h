// Private helpers of the bytecode editor: switch padding and the layout of a
// switch's operands.
#pragma once

#include <cstdint>

#include "classfile/bytecode.h"

namespace jcr {

// Padding bytes after a switch opcode whose first operand byte is at offset,
// so that the operands start on a multiple of 4.
inline int switchPadding(int64_t firstOperandOffset) {
    static const int table[4] = {0, 3, 2, 1};
    return table[firstOperandOffset & 3];
}

// Where a switch's 32-bit offsets lie in its operand bytes: the default at
// `padding`, then `count` targets from `first`, `stride` bytes apart.
struct SwitchLayout {
    uint32_t padding;
    uint32_t count;
    uint32_t first;
    uint32_t stride;
};

// The layout of a tableswitch or lookupswitch, or false when the operand
// bytes cannot hold what the switch declares. The operand bytes start with
// the padding and the rest is a multiple of 4, so the padding is the operand
// length mod 4 wherever the switch now stands.
inline bool switchLayout(const JCRInsn &insn, SwitchLayout *layout) {
    if (insn.operands == nullptr) return false;
    uint64_t length = insn.operand_length;
    uint32_t padding = insn.operand_length & 3;
    const uint8_t *p = insn.operands + padding;
    if (insn.opcode == JCR_OP_TABLESWITCH) {
        if (length < padding + 12) return false;
        int64_t count = int64_t{readS32(p + 8)} - readS32(p + 4) + 1;
        if (count < 0 || padding + 12 + 4 * static_cast<uint64_t>(count) > length) return false;
        *layout = {padding, static_cast<uint32_t>(count), padding + 12, 4};
        return true;
    }
    if (insn.opcode == JCR_OP_LOOKUPSWITCH) {
        if (length < padding + 8) return false;
        int64_t count = readS32(p + 4);
        if (count < 0 || padding + 8 + 8 * static_cast<uint64_t>(count) > length) return false;
        *layout = {padding, static_cast<uint32_t>(count), padding + 12, 8};
        return true;
    }
    return false;
}

}  // namespace jcr
