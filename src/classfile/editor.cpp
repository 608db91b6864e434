// Inserting instructions into a method's instruction list while keeping every
// branch, switch, exception-table and line-table entry on its instruction.
#include <cstdio>
#include <utility>

#include "classfile/bytecode.h"
#include "classfile/bytecode_list.h"
#include "classfile/bytecode_operands.h"
#include "support/heap.h"
#include "support/inline_vector.h"

namespace {

// The last freed list of the thread, handed to its next new list: a class
// load decodes, grows and frees one list per method, and reuse spares those
// allocations and the copies of growth. Arrays past kSpareMax instructions
// (16 KB; nearly every method is far smaller) are freed, so that a thread
// that once loaded a class keeps little for it.
enum { kSpareMax = 1024 };

struct SpareList {
    JCRInsnList *list = nullptr;
    ~SpareList() {
        if (list == nullptr) return;
        sFree(list->insns);
        sFree(list);
    }
};

SpareList &spare() {
    static thread_local SpareList kept;
    return kept;
}

}  // namespace

JCRInsnList *jcr::newInsnList(int capacity) {
    if (capacity < 1 || int64_t{capacity} * int64_t{sizeof(JCRInsn)} > 0x7fffffff) return nullptr;
    SpareList &kept = spare();
    if (kept.list != nullptr && kept.list->capacity >= capacity) {
        JCRInsnList *list = kept.list;
        kept.list = nullptr;
        JCRInsn *insns = list->insns;
        int32_t room = list->capacity;
        *list = JCRInsnList{};
        list->insns = insns;
        list->capacity = room;
        return list;
    }
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
    SpareList &kept = spare();
    if (list->capacity <= kSpareMax && (kept.list == nullptr || kept.list->capacity < list->capacity)) {
        std::swap(kept.list, list);  // keeps the larger array; frees the one it had, if any
        if (list == nullptr) return;
    }
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

    int NO = append ? 0 : JCRInsnOffset(list, index);  // an append moves nothing
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

namespace {

// Where a batch moves old offsets: at each old offset that gets blocks (in
// increasing order), all their bytes, those that a branch there skips, and
// the bytes of every earlier point.
struct BatchPoint {
    int64_t at;
    int64_t bytes;
    int64_t skipped;
    int64_t before;
};

class BatchShift {
public:
    explicit BatchShift(const ZVInlineVector<BatchPoint, 48> &points) : points_(points) {}
    // The new offset of what started at old offset t: past every block at or below it.
    int64_t instruction(int64_t t) const {
        const BatchPoint *p = last(t);
        return p == nullptr ? t : t + p->before + p->bytes;
    }
    // Where a jump to old offset t lands now: past the blocks below it and
    // the leading blocks at t that jumps skip.
    int64_t target(int64_t t) const {
        const BatchPoint *p = last(t);
        if (p == nullptr) return t;
        return t + p->before + (p->at == t ? p->skipped : p->bytes);
    }

private:
    // The last point at or below t, or null.
    const BatchPoint *last(int64_t t) const {
        size_t low = 0, high = points_.size();
        while (low < high) {
            size_t mid = (low + high) / 2;
            if (points_[mid].at <= t) low = mid + 1;
            else high = mid;
        }
        return low == 0 ? nullptr : &points_[low - 1];
    }
    const ZVInlineVector<BatchPoint, 48> &points_;
};

void batchRelocate16(JCRInsnList *list, JCRInsn &insn, int64_t oldAt, int64_t newAt, const BatchShift &shift) {
    if (insn.operand_length < 2 || insn.operands == nullptr) return;
    int old = jcr::readS16(insn.operands);
    int64_t moved = shift.target(oldAt + old) - newAt;
    if (moved < -32768 || moved > 32767) list->branch_overflow = 1;
    if (static_cast<uint16_t>(moved) != static_cast<uint16_t>(old))
        jcr::writeU16(insn.operands, static_cast<uint32_t>(moved));
}

void batchRelocate32(uint8_t *operand, int64_t oldAt, int64_t newAt, const BatchShift &shift) {
    int old = jcr::readS32(operand);
    // 32-bit offsets wrap like the operand they are written back to.
    auto moved = static_cast<uint32_t>(shift.target(oldAt + old) - newAt);
    if (moved != static_cast<uint32_t>(old)) jcr::writeU32(operand, moved);
}

void batchRelocate(JCRInsnList *list, JCRInsn &insn, int64_t oldAt, int64_t newAt, const BatchShift &shift) {
    switch (JCROpcodes[insn.opcode].branch_kind) {
    case JCR_BRANCH_16: batchRelocate16(list, insn, oldAt, newAt, shift); break;
    case JCR_BRANCH_32:
        if (insn.operand_length >= 4 && insn.operands != nullptr) batchRelocate32(insn.operands, oldAt, newAt, shift);
        break;
    case JCR_BRANCH_SWITCH: {
        jcr::SwitchLayout layout;
        if (!jcr::switchLayout(insn, &layout)) break;
        batchRelocate32(insn.operands + layout.padding, oldAt, newAt, shift);
        for (uint32_t k = 0; k < layout.count; k++)
            batchRelocate32(insn.operands + layout.first + k * layout.stride, oldAt, newAt, shift);
        break;
    }
    default: break;
    }
}

void batchMovePc(JCRInsnList *list, uint16_t &pc, int64_t moved) {
    if (moved > 0xffff) list->branch_overflow = 1;
    pc = static_cast<uint16_t>(moved);
}

}  // namespace

int JCRInsertBatch(JCRInsnList *list, JCRInsertion *blocks, int count, JCRCode *code, JCRLineTable *table) {
    if (list == nullptr || count < 0 || (count > 0 && blocks == nullptr)) return 0;
    // Sizes first, and nothing changes unless every block can go in.
    int64_t inserted = 0;
    for (int b = 0; b < count; b++) {
        JCRInsertion &block = blocks[b];
        if (block.index < 0 || block.index > list->count || block.n < 0 || (block.n > 0 && block.insns == nullptr) ||
            (b > 0 && block.index < blocks[b - 1].index)) {
            return 0;
        }
        int64_t size = 0;
        for (int i = 0; i < block.n; i++) size += JCRInsnSize(&block.insns[i]);
        if (size > 0x7fff0000) return 0;
        int padding = block.index == list->count || block.n == 0 ? 0 : JCRSwitchPadding(list, static_cast<int>(size));
        block.bytes = static_cast<int>(size) + padding;
        inserted += block.n + padding;
    }
    if (inserted == 0) return 0;
    if (inserted > 0x7fff0000 || !jcr::reserveInsns(list, static_cast<int>(inserted))) return 0;

    // The old offset of every block, and the points that move offsets
    // (blocks at the end move none).
    ZVInlineVector<BatchPoint, 48> points;
    int64_t offset = 0;
    int next = 0;
    int i = 0;
    for (; i <= list->count && next < count; i++) {
        bool pointStarted = false;
        for (; next < count && blocks[next].index == i; next++) {
            JCRInsertion &block = blocks[next];
            block.at = static_cast<int>(offset);
            if (block.flags & JCR_INSERT_TRACE) std::printf("NO=%d nl=%d\n", block.at, block.bytes);
            if (i == list->count || block.bytes == 0) continue;
            if (!pointStarted) {
                int64_t before = points.empty() ? 0 : points.back().before + points.back().bytes;
                points.push_back({offset, 0, 0, before});
                pointStarted = true;
            }
            BatchPoint &p = points.back();
            // Jumps skip the blocks that skip until the first that does not.
            if (p.skipped == p.bytes && (block.flags & JCR_INSERT_SKIP_INSERTED)) p.skipped += block.bytes;
            p.bytes += block.bytes;
        }
        if (i < list->count) offset += JCRInsnSize(&list->insns[i]);
    }
    for (; i < list->count; i++) offset += JCRInsnSize(&list->insns[i]);
    BatchShift shift(points);

    // From the end back, each instruction once: moved up to its place and
    // relocated, then the blocks that go before it.
    int64_t oldEnd = offset;
    int64_t newEnd = offset + (points.empty() ? 0 : points.back().before + points.back().bytes);
    int dst = list->count + static_cast<int>(inserted);
    int b = count - 1;
    auto placeBlocks = [&](int index) {
        for (; b >= 0 && blocks[b].index == index; b--) {
            const JCRInsertion &block = blocks[b];
            int padding = block.bytes;
            for (int k = 0; k < block.n; k++) padding -= JCRInsnSize(&block.insns[k]);
            for (int k = 0; k < padding; k++) list->insns[--dst] = JCRInsn{JCR_OP_NOP, 0, nullptr};
            for (int k = block.n - 1; k >= 0; k--) list->insns[--dst] = block.insns[k];
            if (index < list->count) newEnd -= block.bytes;
        }
    };
    placeBlocks(list->count);
    for (i = list->count - 1; i >= 0; i--) {
        JCRInsn insn = list->insns[i];
        int size = JCRInsnSize(&insn);
        oldEnd -= size;
        newEnd -= size;
        batchRelocate(list, insn, oldEnd, newEnd, shift);
        list->insns[--dst] = insn;
        placeBlocks(i);
    }
    list->count += static_cast<int>(inserted);

    if (code != nullptr && code->exception_table != nullptr) {
        for (int e = 0; e < code->exception_table_length; e++) {
            JCRExceptionEntry &entry = code->exception_table[e];
            batchMovePc(list, entry.start_pc, shift.instruction(entry.start_pc));
            batchMovePc(list, entry.end_pc, shift.target(entry.end_pc));
            batchMovePc(list, entry.handler_pc, shift.target(entry.handler_pc));
        }
    }
    if (table != nullptr && table->entries != nullptr) {
        for (int e = 0; e < table->count; e++) {
            JCRLineEntry &entry = table->entries[e];
            if (entry.start_pc != 0) batchMovePc(list, entry.start_pc, shift.instruction(entry.start_pc));
        }
    }
    return static_cast<int>(inserted);
}
