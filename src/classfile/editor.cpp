// Inserting instructions into a method's instruction list while keeping every
// branch, switch, exception-table and line-table entry on its instruction.
#include <cstdio>

#include "classfile/bytecode.h"
#include "classfile/bytecode_list.h"
#include "classfile/bytecode_operands.h"
#include "support/heap.h"

JCRInsnList *jcr::newInsnList(int capacity) {
    if (capacity < 1 || int64_t{capacity} * int64_t{sizeof(JCRInsn)} > 0x7fffffff) return nullptr;
    auto *list = static_cast<JCRInsnList *>(sMalloc(sizeof(JCRInsnList)));
    if (list == nullptr) return nullptr;
    *list = JCRInsnList{};
    list->insns = static_cast<JCRInsn *>(sMalloc(static_cast<int>(capacity * sizeof(JCRInsn))));
    if (list->insns == nullptr) {
        sFree(list);
        return nullptr;
    }
    list->capacity = capacity;
    return list;
}

bool jcr::reserveInsns(JCRInsnList *list, int extra) {
    int64_t needed = int64_t{list->count} + extra;
    int64_t capacity = list->capacity;
    while (needed >= capacity) capacity = extra + 2 * capacity + 8;
    if (capacity == list->capacity) return true;
    if (capacity * int64_t{sizeof(JCRInsn)} > 0x7fffffff) return false;
    auto *insns = static_cast<JCRInsn *>(sMalloc(static_cast<int>(capacity * sizeof(JCRInsn))));
    if (insns == nullptr) return false;
    for (int i = 0; i < list->count; i++) insns[i] = list->insns[i];
    sFree(list->insns);
    list->insns = insns;
    list->capacity = static_cast<int32_t>(capacity);
    return true;
}

JCRInsnList *JCRNewInsnList() { return jcr::newInsnList(8); }

void JCRFreeInsnList(JCRInsnList *list) {
    if (list == nullptr) return;
    sFree(list->insns);
    sFree(list);
}

int JCRInsnOffset(const JCRInsnList *list, int index) {
    if (index > list->count) index = list->count;
    int64_t offset = 0;
    for (int i = 0; i < index; i++) offset += JCRInsnSize(&list->insns[i]);
    return offset > 0x7fffffff ? 0x7fffffff : static_cast<int>(offset);
}

int JCRInsnAtOffset(const JCRInsnList *list, int offset) {
    int64_t at = 0;
    for (int i = 0; i < list->count && at <= offset; i++) {
        if (at == offset) return i;
        at += JCRInsnSize(&list->insns[i]);
    }
    return -1;
}

int relocateJump(int NO, int nl, int b, int off, int flags) {
    int64_t target = int64_t{b} + off;
    int64_t end = int64_t{NO} + nl;
    int64_t moved = off;
    if (flags & JCR_INSERT_SKIP_INSERTED) {
        if (b >= NO && target < end) moved = int64_t{off} - nl;
        else if (b < NO && target >= NO) moved = int64_t{off} + nl;
    } else {
        if (b >= NO && target <= end) moved = int64_t{off} - nl;
        else if (b < NO && target > NO) moved = int64_t{off} + nl;
    }
    // 32-bit offsets wrap like the operand they are written back to.
    return static_cast<int32_t>(static_cast<uint32_t>(moved));
}

int JCRSwitchPadding(const JCRInsnList *list, int byteCount) {
    if (!list->has_switch) return 0;
    return jcr::switchPadding(byteCount);
}

int JCRRoomFor(const JCRInsnList *list, int size) {
    if (size <= 0) return 0;
    int last = list->count > 0 ? JCRInsnOffset(list, list->count - 1) : 0;
    int room = 65535 - last;
    return room > 0 ? room / size : 0;
}

namespace {

struct Insertion {
    int NO;
    int nl;
    int flags;
};

void relocate16(JCRInsnList *list, JCRInsn &insn, int b, const Insertion &at) {
    if (insn.operand_length < 2 || insn.operands == nullptr) return;
    int old = jcr::readS16(insn.operands);
    int moved = relocateJump(at.NO, at.nl, b, old, at.flags);
    if (moved < -32768 || moved > 32767) list->branch_overflow = 1;
    if (at.flags & JCR_INSERT_TRACE)
        std::printf("relocateJump(%d, %d,%d,%d)=%d\n", at.NO, at.nl, b, old, static_cast<int16_t>(moved));
    if (static_cast<uint16_t>(moved) != static_cast<uint16_t>(old))
        jcr::writeU16(insn.operands, static_cast<uint32_t>(moved));
}

void relocate32(uint8_t *operand, int b, const Insertion &at) {
    int old = jcr::readS32(operand);
    int moved = relocateJump(at.NO, at.nl, b, old, at.flags);
    if (moved != old) jcr::writeU32(operand, static_cast<uint32_t>(moved));
}

void relocateSwitch(JCRInsn &insn, int b, const Insertion &at) {
    jcr::SwitchLayout layout;
    if (!jcr::switchLayout(insn, &layout)) return;
    relocate32(insn.operands + layout.padding, b, at);
    for (uint32_t k = 0; k < layout.count; k++) relocate32(insn.operands + layout.first + k * layout.stride, b, at);
}

// A pc that moves past 65535 cannot be stored: the list is marked so that
// the final check rejects it.
void movePc(JCRInsnList *list, uint16_t &pc, int nl) {
    int moved = pc + nl;
    if (moved > 0xffff) list->branch_overflow = 1;
    pc = static_cast<uint16_t>(moved);
}

}  // namespace

int JCRInsertAt(JCRInsnList *list, const JCRInsn *insns, int n, int index, JCRCode *code,
                JCRLineTable *table, int flags) {
    if (list == nullptr || n < 0 || index < 0 || index > list->count || (n > 0 && insns == nullptr)) return 0;
    int64_t newSize = 0;
    for (int i = 0; i < n; i++) newSize += JCRInsnSize(&insns[i]);
    if (newSize > 0x7fff0000) return 0;
    bool append = index == list->count;
    int padding = append ? 0 : JCRSwitchPadding(list, static_cast<int>(newSize));
    int inserted = n + padding;
    if (inserted == 0 || !jcr::reserveInsns(list, inserted)) return 0;

    int NO = JCRInsnOffset(list, index);
    for (int i = list->count - 1; i >= index; i--) list->insns[i + inserted] = list->insns[i];
    for (int i = 0; i < n; i++) list->insns[index + i] = insns[i];
    for (int i = 0; i < padding; i++) list->insns[index + n + i] = JCRInsn{JCR_OP_NOP, 0, nullptr};
    list->count += inserted;
    if (append) return inserted;

    Insertion at{NO, static_cast<int>(newSize) + padding, flags};
    if (flags & JCR_INSERT_TRACE) std::printf("NO=%d nl=%d\n", at.NO, at.nl);

    int64_t offset = 0;
    for (int i = 0; i < list->count; i++) {
        JCRInsn &insn = list->insns[i];
        int b = static_cast<int>(offset);
        offset += JCRInsnSize(&insn);
        if (i >= index && i < index + inserted) continue;
        switch (JCROpcodes[insn.opcode].branch_kind) {
        case JCR_BRANCH_16: relocate16(list, insn, b, at); break;
        case JCR_BRANCH_32:
            if (insn.operand_length >= 4 && insn.operands != nullptr) relocate32(insn.operands, b, at);
            break;
        case JCR_BRANCH_SWITCH: relocateSwitch(insn, b, at); break;
        default: break;
        }
    }

    bool skip = (flags & JCR_INSERT_SKIP_INSERTED) != 0;
    if (code != nullptr && code->exception_table != nullptr) {
        for (int e = 0; e < code->exception_table_length; e++) {
            JCRExceptionEntry &entry = code->exception_table[e];
            // Decide from the old values before moving any of them.
            bool start = entry.start_pc >= NO;
            bool end = entry.end_pc > NO || (entry.end_pc == NO && skip);
            bool handler = entry.handler_pc > NO || (entry.handler_pc == NO && skip);
            if (start) movePc(list, entry.start_pc, at.nl);
            if (end) movePc(list, entry.end_pc, at.nl);
            if (handler) movePc(list, entry.handler_pc, at.nl);
        }
    }
    // Code inserted at pc 0 belongs to the method's first line.
    if (table != nullptr && table->entries != nullptr) {
        for (int e = 0; e < table->count; e++) {
            JCRLineEntry &entry = table->entries[e];
            if (entry.start_pc >= NO && entry.start_pc != 0) movePc(list, entry.start_pc, at.nl);
        }
    }
    return inserted;
}

int JCRInsertAtOffset(JCRClass *, JCRInsnList *list, const JCRInsn *insns, int n, int offset,
                      JCRCode *code, JCRLineTable *table, int flags) {
    // The last instruction that starts at or below offset; one scan.
    int index = -1;
    int exact = 0;
    int64_t at = 0;
    for (int i = 0; i < list->count && at <= offset; i++) {
        index = i;
        exact = at == offset;
        at += JCRInsnSize(&list->insns[i]);
    }
    if (index < 0) index = 0;
    JCRInsertAt(list, insns, n, index, code, table, flags);
    return exact;
}
