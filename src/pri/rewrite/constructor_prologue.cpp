// Where a constructor initialises `this`. No one exception handler can cover
// code on both sides of that call (its frame would need `this` both
// uninitialised and initialised), so a constructor's catch-all is split there.
#include "pri/rewrite/constructor_prologue.h"

#include <span>
#include <string_view>

#include "classfile/bytecode.h"

namespace {

constexpr int kDup = 89;  // dup, dup_x1, dup_x2, dup2, dup2_x1, dup2_x2, swap follow

bool isStore(int opcode) { return JCRKindOf(opcode) == JCR_KIND_LOCAL_STORE; }

int aloadSlot(const JCRInsn &insn) {
    if (insn.opcode >= JCR_OP_ALOAD_0 && insn.opcode <= JCR_OP_ALOAD_0 + 3) return insn.opcode - JCR_OP_ALOAD_0;
    if (insn.opcode == JCR_OP_ALOAD && insn.operand_length >= 1) return insn.operands[0];
    return -1;
}

bool isConditional(int opcode) { return JCRKindOf(opcode) == JCR_KIND_CONDITIONAL; }

// Marks of `this` per word, for a list of verification types.
void markWords(std::span<const JCRVerificationType> types, std::vector<char> *words) {
    words->clear();
    for (const JCRVerificationType &t : types) {
        words->push_back(t.tag == JCR_ITEM_UninitializedThis);
        if (t.wide()) words->push_back(false);
    }
}

// The dup and swap family, on words: [.. c b a] with a on top.
bool shuffle(int opcode, std::vector<char> &s) {
    static const int needed[] = {1, 2, 3, 2, 3, 4, 2};
    size_t n = s.size();
    if (n < static_cast<size_t>(needed[opcode - kDup])) return false;
    char a = s[n - 1];
    char b = n >= 2 ? s[n - 2] : 0;
    switch (opcode - kDup) {
    case 0: s.push_back(a); break;                          // dup
    case 1: s.insert(s.end() - 2, a); break;                // dup_x1
    case 2: s.insert(s.end() - 3, a); break;                // dup_x2
    case 3: s.insert(s.end(), {b, a}); break;               // dup2
    case 4: s.insert(s.end() - 3, {b, a}); break;           // dup2_x1
    case 5: s.insert(s.end() - 4, {b, a}); break;           // dup2_x2
    default: s[n - 1] = b, s[n - 2] = a; break;             // swap
    }
    return true;
}

bool initializesThis(const JCRClass *jclass, const JCRInsn &insn, const char **descriptor) {
    if (insn.opcode != JCR_OP_INVOKESPECIAL || insn.operand_length < 2) return false;
    const JCRConstant *ref = JCRConstantAt(jclass, jcr::readU16(insn.operands), 0);
    if (ref == nullptr || ref->tag < JCR_CONSTANT_Methodref || ref->tag > JCR_CONSTANT_InterfaceMethodref) return false;
    const JCRConstant *nameAndType = JCRConstantAt(jclass, ref->index2, JCR_CONSTANT_NameAndType);
    const char *name = nameAndType != nullptr ? JCRUtf8At(jclass, nameAndType->index1) : nullptr;
    *descriptor = nameAndType != nullptr ? JCRUtf8At(jclass, nameAndType->index2) : nullptr;
    return name != nullptr && *descriptor != nullptr && std::string_view(name) == "<init>";
}

}  // namespace

bool PRIFindThisInitialization(const JCRClass *jclass, const JCRCode *code, const JCRInsnList *list,
                               const PRIMethodFrames &frames, PRIConstructorPrologue *prologue) {
    JCRTypeList locals = frames.initial().locals;
    std::vector<char> stack;
    std::vector<char> thisSlots;
    markWords(locals, &thisSlots);
    std::vector<int> targets;
    size_t nextFrame = 0;
    bool fallsThrough = true;
    for (int i = 0, offset = 0; i < list->count; offset += JCRInsnSize(&list->insns[i]), ++i) {
        const JCRInsn &insn = list->insns[i];
        const auto &own = frames.own();
        while (nextFrame < own.size() && own[nextFrame].offset < offset) ++nextFrame;
        if (nextFrame < own.size() && own[nextFrame].offset == offset) {
            locals = own[nextFrame].locals;
            markWords(locals, &thisSlots);
            markWords(own[nextFrame].stack, &stack);
        } else if (!fallsThrough) {
            return false;  // unreachable without a frame: nothing to follow
        }
        fallsThrough = true;
        int op = insn.opcode;
        const char *descriptor = nullptr;
        int slot = aloadSlot(insn);
        if (slot >= 0) {
            stack.push_back(slot < static_cast<int>(thisSlots.size()) && thisSlots[slot]);
        } else if (isStore(op) || op == JCR_OP_WIDE || JCRKindOf(op) == JCR_KIND_JSR || JCRKindOf(op) == JCR_KIND_RET ||
                   JCRKindOf(op) == JCR_KIND_SWITCH) {
            return false;  // the prologue is not plain enough to follow
        } else if (op >= kDup && op <= kDup + 6) {
            if (!shuffle(op, stack)) return false;
        } else if (initializesThis(jclass, insn, &descriptor) &&
                   stack.size() > static_cast<size_t>(JCRArgumentWords(descriptor)) &&
                   stack[stack.size() - JCRArgumentWords(descriptor) - 1]) {
            // `this` must be the only thing left on the stack, and nothing
            // before may branch past the call or be covered by a handler.
            if (stack.size() != static_cast<size_t>(JCRArgumentWords(descriptor)) + 1) return false;
            for (int target : targets) {
                if (target > offset) return false;
            }
            for (int e = 0; e < code->exception_table_length; ++e) {
                if (code->exception_table[e].start_pc <= offset) return false;
            }
            prologue->callIndex = i;
            prologue->afterCall = offset + JCRInsnSize(&insn);
            return true;
        } else {
            if (isConditional(op) || JCRKindOf(op) == JCR_KIND_GOTO) {
                if (insn.operand_length < 2) return false;
                int delta = op == JCR_OP_GOTO_W ? (insn.operand_length >= 4 ? jcr::readS32(insn.operands) : 0)
                                                : jcr::readS16(insn.operands);
                targets.push_back(offset + delta);
                fallsThrough = isConditional(op);
            }
            if (JCRKindOf(op) == JCR_KIND_THROW || JCRKindOf(op) == JCR_KIND_RETURN) return false;
            int effect = JCRStackEffect(jclass, &insn);
            if (effect < 0 && static_cast<size_t>(-effect) > stack.size()) return false;
            if (effect < 0) stack.erase(stack.end() + effect, stack.end());
            for (int k = 0; k < effect; ++k) stack.push_back(false);
        }
    }
    return false;
}
