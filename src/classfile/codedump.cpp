// Debug printing of instructions and whole instruction lists to standard
// output, with constant-pool references resolved to names.
#include <cstdio>

#include "classfile/bytecode.h"
#include "classfile/bytecode_operands.h"

namespace {

// Fields and methods resolved through a Fieldref/Methodref entry.
struct MemberNames {
    const char *owner = nullptr;
    const char *name = nullptr;
    const char *descriptor = nullptr;
};

MemberNames resolve(const JCRClass *jclass, const JCRInsn &insn) {
    MemberNames names;
    if (jclass == nullptr || insn.operand_length < 2 || insn.operands == nullptr) return names;
    const JCRConstant *ref = JCRConstantAt(jclass, jcr::readU16(insn.operands), 0);
    if (ref == nullptr || ref->tag < JCR_CONSTANT_Fieldref || ref->tag > JCR_CONSTANT_InterfaceMethodref)
        return names;
    const JCRConstant *owner = JCRConstantAt(jclass, ref->index1, JCR_CONSTANT_Class);
    if (owner != nullptr) names.owner = JCRUtf8At(jclass, owner->index1);
    const JCRConstant *nameAndType = JCRConstantAt(jclass, ref->index2, JCR_CONSTANT_NameAndType);
    if (nameAndType != nullptr) {
        names.name = JCRUtf8At(jclass, nameAndType->index1);
        names.descriptor = JCRUtf8At(jclass, nameAndType->index2);
    }
    if (names.name == nullptr || names.descriptor == nullptr) names.name = names.descriptor = nullptr;
    return names;
}

void dumpTableSwitch(const JCRInsn &insn) {
    jcr::SwitchLayout layout;
    if (!jcr::switchLayout(insn, &layout)) {
        std::printf("\n");
        return;
    }
    const uint8_t *p = insn.operands + layout.padding;
    std::printf("Default=%d low=%d high=%d size=%d\n", jcr::readS32(p), jcr::readS32(p + 4), jcr::readS32(p + 8),
                static_cast<int>(layout.count));
    for (uint32_t k = 0; k < layout.count; k++) {
        int target = jcr::readS32(insn.operands + layout.first + 4 * k);
        std::printf("%d (0x%x)\n", target, static_cast<unsigned>(target));
    }
}

bool has(const JCRInsn &insn, uint32_t bytes) { return insn.operand_length >= bytes && insn.operands != nullptr; }

// The call site of an invokedynamic: name, descriptor and bootstrap method
// index, each absent (null or -1) when it does not resolve.
struct CallSite {
    const char *name = nullptr;
    const char *descriptor = nullptr;
    int bootstrap = -1;
};

CallSite resolveSite(const JCRClass *jclass, const JCRInsn &insn) {
    CallSite site;
    if (jclass == nullptr || !has(insn, 2)) return site;
    const JCRConstant *entry = JCRConstantAt(jclass, jcr::readU16(insn.operands), JCR_CONSTANT_InvokeDynamic);
    if (entry == nullptr) return site;
    site.bootstrap = entry->index1;
    const JCRConstant *nameAndType = JCRConstantAt(jclass, entry->index2, JCR_CONSTANT_NameAndType);
    if (nameAndType != nullptr) {
        site.name = JCRUtf8At(jclass, nameAndType->index1);
        site.descriptor = JCRUtf8At(jclass, nameAndType->index2);
    }
    return site;
}

}  // namespace

void JCRDumpInsn(const JCRClass *jclass, const JCRInsnList *list, int index) {
    if (list == nullptr || index < 0 || index >= list->count) return;
    const JCRInsn &insn = list->insns[index];
    const JCROpcodeInfo &info = JCROpcodeRow(insn.opcode, jclass == nullptr ? 0 : jclass->major_version);
    std::printf("%s\t", info.name);
    int opcode = insn.opcode;
    if ((opcode == JCR_OP_LDC && has(insn, 1)) || (opcode == JCR_OP_LDC_W && has(insn, 2))) {
        int constant = opcode == JCR_OP_LDC ? insn.operands[0] : jcr::readU16(insn.operands);
        std::printf("0x%x\t", constant);
        JCRDumpConstant(jclass, constant);
    } else if (info.kind == JCR_KIND_FIELD) {
        MemberNames names = resolve(jclass, insn);
        std::printf("%s.%s\n", names.name != nullptr ? names.name : "<Unknown fieldREF?>",
                    names.descriptor != nullptr ? names.descriptor : "");
    } else if (info.kind == JCR_KIND_INVOKE && opcode != JCR_OP_INVOKEDYNAMIC) {
        MemberNames names = resolve(jclass, insn);
        std::printf("%s.%s.%s\n", names.owner != nullptr ? names.owner : "<Unknown methodRef.Class>",
                    names.name != nullptr ? names.name : "<Unknown methodREF?>",
                    names.descriptor != nullptr ? names.descriptor : "");
    } else if (opcode == JCR_OP_INVOKEDYNAMIC && info.operand_length == 4) {
        CallSite site = resolveSite(jclass, insn);
        std::printf("%s.%s bootstrap %d\n", site.name != nullptr ? site.name : "<Unknown callSite?>",
                    site.descriptor != nullptr ? site.descriptor : "", site.bootstrap);
    } else if (info.branch_kind == JCR_BRANCH_16 && has(insn, 2)) {
        int offset = jcr::readS16(insn.operands);
        std::printf("%d 0x%x\n", offset, static_cast<unsigned>(offset));
    } else if (info.branch_kind == JCR_BRANCH_32 && has(insn, 4)) {
        int offset = jcr::readS32(insn.operands);
        std::printf("%d 0x%x\n", offset, static_cast<unsigned>(offset));
    } else if (opcode == JCR_OP_TABLESWITCH) {
        dumpTableSwitch(insn);
    } else {
        for (uint32_t k = 0; k < insn.operand_length && insn.operands != nullptr; k++)
            std::printf("0x%x ", insn.operands[k]);
        std::printf("\n");
    }
}

void JCRDumpCode(const JCRClass *jclass, const JCRInsnList *list, const JCRLineTable *table) {
    if (list == nullptr) return;
    int64_t offset = 0;
    for (int i = 0; i < list->count; i++) {
        if (table != nullptr) {
            // The line of the last entry that starts at or before this instruction.
            int line = 0;
            for (int e = 0; e < table->count && table->entries != nullptr; e++)
                if (table->entries[e].start_pc <= offset) line = table->entries[e].line_number;
            std::printf("[%d] ", line);
        }
        std::printf("%d(0x%x)\t", static_cast<int>(offset), static_cast<unsigned>(offset));
        JCRDumpInsn(jclass, list, i);
        offset += JCRInsnSize(&list->insns[i]);
    }
}
