// Encoding an instruction list back into code bytes.
#include <cstring>

#include "classfile/bytecode.h"
#include "support/heap.h"

uint8_t *JCREncodeCode(const JCRInsnList *list, int *outLength) {
    if (outLength != nullptr) *outLength = 0;
    if (list == nullptr) return nullptr;
    int64_t total = 0;
    for (int i = 0; i < list->count; i++) total += JCRInsnSize(&list->insns[i]);
    if (total > 0x7fffffff - 1) return nullptr;
    // At least one byte, so that empty code is still a valid allocation.
    auto *bytes = static_cast<uint8_t *>(sMalloc(static_cast<int>(total > 0 ? total : 1)));
    if (bytes == nullptr) return nullptr;
    JCREncodeCodeInto(list, bytes);
    if (outLength != nullptr) *outLength = static_cast<int>(total);
    return bytes;
}

void JCREncodeCodeInto(const JCRInsnList *list, uint8_t *out) {
    for (int i = 0; i < list->count; i++) {
        const JCRInsn &insn = list->insns[i];
        *out++ = insn.opcode;
        if (insn.operand_length > 0 && insn.operands != nullptr) std::memcpy(out, insn.operands, insn.operand_length);
        else if (insn.operand_length > 0) std::memset(out, 0, insn.operand_length);
        out += insn.operand_length;
    }
}
