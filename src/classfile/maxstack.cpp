// The operand-stack depth of an instruction list, for a method's max_stack:
// a depth-first walk from the entry and from every exception handler.
#include <algorithm>

#include "classfile/bytecode.h"
#include "classfile/bytecode_operands.h"
#include "support/heap.h"

namespace {

// Words of a descriptor's arguments and of its return value.
struct DescriptorWords {
    int arguments = 0;
    int result = 0;
};

DescriptorWords countWords(const char *descriptor) {
    DescriptorWords words;
    if (descriptor == nullptr) return words;
    bool arguments = false;
    bool array = false;
    for (const char *p = descriptor; *p != '\0'; p++) {
        int size;
        switch (*p) {
        case '(': arguments = true; array = false; continue;
        case ')': arguments = false; array = false; continue;
        case '[': array = true; continue;
        case 'L':
            while (p[1] != '\0' && *p != ';') p++;
            size = 1;
            break;
        case 'J':
        case 'D': size = 2; break;
        case 'V': size = 0; break;
        default: size = 1; break;
        }
        if (array) size = 1;
        array = false;
        (arguments ? words.arguments : words.result) += size;
    }
    return words;
}

// The descriptor of the NameAndType entry at index, or null.
const char *nameAndTypeDescriptor(const JCRClass *jclass, int index) {
    const JCRConstant *nameAndType = JCRConstantAt(jclass, index, JCR_CONSTANT_NameAndType);
    return nameAndType == nullptr ? nullptr : JCRUtf8At(jclass, nameAndType->index2);
}

// The descriptor of a Fieldref, Methodref or InterfaceMethodref, or null.
const char *memberDescriptor(const JCRClass *jclass, const JCRInsn &insn) {
    if (jclass == nullptr || insn.operand_length < 2 || insn.operands == nullptr) return nullptr;
    const JCRConstant *ref = JCRConstantAt(jclass, jcr::readU16(insn.operands), 0);
    if (ref == nullptr || ref->tag < JCR_CONSTANT_Fieldref || ref->tag > JCR_CONSTANT_InterfaceMethodref)
        return nullptr;
    return nameAndTypeDescriptor(jclass, ref->index2);
}

// The call-site descriptor of an invokedynamic, or null.
const char *dynamicDescriptor(const JCRClass *jclass, const JCRInsn &insn) {
    if (jclass == nullptr || insn.operand_length < 2 || insn.operands == nullptr) return nullptr;
    const JCRConstant *site = JCRConstantAt(jclass, jcr::readU16(insn.operands), JCR_CONSTANT_InvokeDynamic);
    return site == nullptr ? nullptr : nameAndTypeDescriptor(jclass, site->index2);
}

int fieldWords(const JCRClass *jclass, const JCRInsn &insn) {
    const char *descriptor = memberDescriptor(jclass, insn);
    return descriptor != nullptr && (descriptor[0] == 'J' || descriptor[0] == 'D') ? 2 : 1;
}

// Depth change of one instruction.
int stackEffect(const JCRClass *jclass, const JCRInsn &insn) {
    const JCROpcodeInfo &info = JCROpcodeRow(insn.opcode, jclass == nullptr ? 0 : jclass->major_version);
    if (info.popped >= 0 && info.pushed >= 0) return info.pushed - info.popped;
    switch (insn.opcode) {
    case JCR_OP_GETSTATIC:
    case JCR_OP_GETFIELD: return fieldWords(jclass, insn) - (info.popped > 0 ? info.popped : 0);
    case JCR_OP_PUTSTATIC: return -fieldWords(jclass, insn);
    case JCR_OP_PUTFIELD: return -fieldWords(jclass, insn) - 1;
    case JCR_OP_INVOKEVIRTUAL:
    case JCR_OP_INVOKESPECIAL:
    case JCR_OP_INVOKESTATIC:
    case JCR_OP_INVOKEINTERFACE: {
        DescriptorWords words = countWords(memberDescriptor(jclass, insn));
        return words.result - words.arguments - (insn.opcode == JCR_OP_INVOKESTATIC ? 0 : 1);
    }
    case JCR_OP_INVOKEDYNAMIC: {
        // No receiver: the call site takes its arguments and leaves its result.
        DescriptorWords words = countWords(dynamicDescriptor(jclass, insn));
        return words.result - words.arguments;
    }
    case JCR_OP_WIDE: {
        if (insn.operand_length < 1 || insn.operands == nullptr) return 0;
        const JCROpcodeInfo &modified = JCROpcodes[insn.operands[0]];
        return modified.popped >= 0 && modified.pushed >= 0 ? modified.pushed - modified.popped : 0;
    }
    case JCR_OP_MULTIANEWARRAY:
        return insn.operand_length >= 3 && insn.operands != nullptr ? 1 - insn.operands[2] : 0;
    default: return 0;
    }
}

bool endsPath(int opcode) {
    JCROpKind kind = JCRKindOf(opcode);
    return kind == JCR_KIND_RET || kind == JCR_KIND_RETURN || kind == JCR_KIND_THROW;
}

struct Pending {
    int32_t depth;
    int32_t index;
};

// The walk's state: instruction offsets for target lookup, the visited
// marks, and an explicit stack of paths still to follow (no recursion, so
// hostile code cannot exhaust the thread's stack).
class Walker {
public:
    Walker(const JCRClass *jclass, const JCRInsnList *list) : jclass_(jclass), list_(list) {}
    ~Walker() { sFree(memory_); }

    bool prepare() {
        int count = list_->count;
        // One block: the offsets, the pending paths (at most one per
        // instruction and switch case, counted below) and the marks.
        int64_t cases = 0;
        for (int i = 0; i < count; i++) {
            const JCRInsn &insn = list_->insns[i];
            jcr::SwitchLayout layout;
            if (JCROpcodes[insn.opcode].branch_kind == JCR_BRANCH_SWITCH && jcr::switchLayout(insn, &layout))
                cases += layout.count;
        }
        int64_t bound = 1 + int64_t{count} + cases;
        int64_t size = int64_t{sizeof(int64_t)} * (count + 1) + bound * int64_t{sizeof(Pending)} + count + 1;
        if (size > 0x7fffffff) return false;
        memory_ = static_cast<uint8_t *>(sMalloc(static_cast<int>(size)));
        if (memory_ == nullptr) return false;
        offsets_ = reinterpret_cast<int64_t *>(memory_);
        pending_ = reinterpret_cast<Pending *>(memory_ + sizeof(int64_t) * (count + 1));
        visited_ = memory_ + sizeof(int64_t) * (count + 1) + bound * sizeof(Pending);
        // Every visit pushes at most its switch targets or one continuation,
        // and every top-level walk one start: bound above holds the pending stack.
        int64_t offset = 0;
        for (int i = 0; i < count; i++) {
            offsets_[i] = offset;
            visited_[i] = 0;
            offset += JCRInsnSize(&list_->insns[i]);
        }
        offsets_[count] = offset;
        return true;
    }

    // walk(depth, index) from the entry or a handler; folds into the maximum.
    void walk(int64_t depth, int start) {
        used_ = 0;
        push(depth, start);
        while (used_ > 0) {
            Pending next = pending_[--used_];
            follow(next.depth, next.index);
        }
    }

    int indexAtOffset(int64_t offset) const {
        const int64_t *begin = offsets_;
        const int64_t *end = offsets_ + list_->count;
        const int64_t *found = std::lower_bound(begin, end, offset);
        return found != end && *found == offset ? static_cast<int>(found - offsets_) : -1;
    }

    int64_t maximum() const { return maximum_; }

private:
    void push(int64_t depth, int index) {
        pending_[used_++] = Pending{static_cast<int32_t>(depth), index};
    }

    int target(int index, int64_t relative) const { return indexAtOffset(offsets_[index] + relative); }

    // The target of a 16- or 32-bit branch, or -1.
    int branchTarget(int index, const JCRInsn &insn) const {
        if (insn.operands == nullptr) return -1;
        if (JCROpcodes[insn.opcode].branch_kind == JCR_BRANCH_32)
            return insn.operand_length >= 4 ? target(index, jcr::readS32(insn.operands)) : -1;
        return insn.operand_length >= 2 ? target(index, jcr::readS16(insn.operands)) : -1;
    }

    // One path: runs until it ends, pushing the paths it branches to so that
    // they are followed in the order of a recursive walk.
    void follow(int64_t depth, int i) {
        // A path starts with its depth on the stack (a handler's exception, a
        // subroutine's return address) even if its first instruction pops it.
        maximum_ = std::max(maximum_, depth);
        while (i >= 0 && i < list_->count && !visited_[i]) {
            visited_[i] = 1;
            const JCRInsn &insn = list_->insns[i];
            depth += stackEffect(jclass_, insn);
            maximum_ = std::max(maximum_, depth);
            int opcode = insn.opcode;
            JCROpKind kind = JCRKindOf(opcode);
            if (kind == JCR_KIND_CONDITIONAL || kind == JCR_KIND_JSR) {
                // The branch is followed first, the next instruction afterwards.
                push(depth, i + 1);
                if (kind == JCR_KIND_JSR) maximum_ = std::max(maximum_, ++depth);
                i = branchTarget(i, insn);
            } else if (kind == JCR_KIND_GOTO) {
                i = branchTarget(i, insn);
            } else if (kind == JCR_KIND_SWITCH) {
                jcr::SwitchLayout layout;
                if (!jcr::switchLayout(insn, &layout)) return;
                // Cases pushed last to first, so the default is followed first.
                for (uint32_t k = layout.count; k-- > 0;)
                    push(depth, target(i, jcr::readS32(insn.operands + layout.first + k * layout.stride)));
                i = target(i, jcr::readS32(insn.operands + layout.padding));
            } else if (endsPath(opcode)) {
                return;
            } else {
                i++;
            }
        }
    }

    const JCRClass *jclass_;
    const JCRInsnList *list_;
    uint8_t *memory_ = nullptr;
    int64_t *offsets_ = nullptr;
    uint8_t *visited_ = nullptr;
    Pending *pending_ = nullptr;
    int64_t used_ = 0;
    int64_t maximum_ = 0;
};

}  // namespace

int JCRComputeMaxStack(const JCRClass *jclass, const JCRCode *code, const JCRInsnList *list) {
    if (list == nullptr || list->count == 0) return 0;
    Walker walker(jclass, list);
    // Without the walk's memory the largest legal value is the safe answer.
    if (!walker.prepare()) return 65535;
    walker.walk(0, 0);
    if (code != nullptr && code->exception_table != nullptr) {
        for (int e = 0; e < code->exception_table_length; e++) {
            int handler = walker.indexAtOffset(code->exception_table[e].handler_pc);
            if (handler >= 0) walker.walk(1, handler);
        }
    }
    return static_cast<int>(std::min<int64_t>(walker.maximum(), 65535));
}

int JCRStackEffect(const JCRClass *jclass, const JCRInsn *insn) { return stackEffect(jclass, *insn); }

int JCRArgumentWords(const char *descriptor) { return countWords(descriptor).arguments; }
