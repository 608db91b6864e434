// The final check of an edited instruction list before it is encoded.
#include <cstdio>

#include "classfile/bytecode.h"
#include "classfile/bytecode_operands.h"
#include "support/heap.h"
#include "support/inline_vector.h"

namespace {

enum { kMaxCode = 65536 };

// Branch targets must land on an instruction start inside the code, and a
// switch's operands must still be 4-byte aligned; otherwise the encoded
// method would not mean what the original meant. Returns the offset of the
// first offending instruction and whether it is a switch, or -1.
int64_t findBadTarget(const JCRInsnList *list, int64_t total, bool *isSwitch) {
    // Most methods are short: their map lives on the stack, and only long
    // methods cost an allocation.
    uint8_t local[4096];
    uint8_t *starts = total <= static_cast<int64_t>(sizeof local)
                          ? local
                          : static_cast<uint8_t *>(sMalloc(static_cast<int>(total)));
    if (starts == nullptr) return 0;
    for (int64_t k = 0; k < total; k++) starts[k] = 0;
    // The starts, and the branches and switches: checked once every start is known.
    struct Branch {
        const JCRInsn *insn;
        int64_t offset;
    };
    ZVInlineVector<Branch, 64> branches;
    int64_t offset = 0;
    for (int i = 0; i < list->count; i++) {
        const JCRInsn &insn = list->insns[i];
        starts[offset] = 1;
        if (JCROpcodes[insn.opcode].branch_kind != JCR_BRANCH_NONE) branches.push_back({&insn, offset});
        offset += JCRInsnSize(&insn);
    }
    auto valid = [&](int64_t target) { return target >= 0 && target < total && starts[target] != 0; };
    int64_t bad = -1;
    for (size_t b = 0; b < branches.size() && bad < 0; b++) {
        const JCRInsn &insn = *branches[b].insn;
        offset = branches[b].offset;
        const uint8_t *ops = insn.operands;
        switch (JCROpcodes[insn.opcode].branch_kind) {
        case JCR_BRANCH_16:
            if (insn.operand_length < 2 || ops == nullptr || !valid(offset + jcr::readS16(ops))) bad = offset;
            break;
        case JCR_BRANCH_32:
            if (insn.operand_length < 4 || ops == nullptr || !valid(offset + jcr::readS32(ops))) bad = offset;
            break;
        case JCR_BRANCH_SWITCH: {
            jcr::SwitchLayout layout;
            bool ok = jcr::switchLayout(insn, &layout) &&
                      jcr::switchPadding(offset + 1) == static_cast<int>(layout.padding) &&
                      valid(offset + jcr::readS32(ops + layout.padding));
            for (uint32_t k = 0; ok && k < layout.count; k++)
                ok = valid(offset + jcr::readS32(ops + layout.first + k * layout.stride));
            if (!ok) {
                bad = offset;
                *isSwitch = true;
            }
            break;
        }
        default: break;
        }
    }
    if (starts != local) sFree(starts);
    return bad;
}

}  // namespace

int JCRCheckCode(const JCRInsnList *list, int report, int *length) {
    if (list->branch_overflow) {
        if (report) {
            std::fprintf(stderr, "Detected branch error during instrumentation\n");
            std::fflush(stderr);
        }
        return 1;
    }
    int64_t total = 0;
    for (int i = 0; i < list->count; i++) total += JCRInsnSize(&list->insns[i]);
    if (total >= kMaxCode) {
        if (report)
            std::fprintf(stderr, "Detected size error during instrumentation <%d>\n",
                         static_cast<int>(total > 0x7fffffff ? 0x7fffffff : total));
        return 1;
    }
    bool isSwitch = false;
    int64_t bad = findBadTarget(list, total, &isSwitch);
    if (bad >= 0) {
        if (report)
            std::fprintf(stderr, "Detected %s error during instrumentation <%d>\n",
                         isSwitch ? "switch" : "branch target", static_cast<int>(bad));
        return 1;
    }
    if (length != nullptr) *length = static_cast<int>(total);
    return 0;
}
