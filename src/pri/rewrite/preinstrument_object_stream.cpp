// Rewrites java/io/ObjectStreamClass so that the declared methods, the
// interfaces and the static-initializer flag that its default serial UID is
// computed from pass through the context class's filters, which remove what
// instrumentation added. Instrumented classes then keep the UID they have
// without the agent.
#include <cstdio>
#include <cstring>

#include "classfile/bytecode.h"
#include "contract/java_contract.h"
#include "pri/rewrite/instrumented_frames.h"
#include "pri/rewrite/instrument.h"
#include "support/heap.h"

namespace {

namespace jc = java_contract;
constexpr char kUIDDescriptor[] = "(Ljava/lang/Class;)J";
constexpr char kHasClinitDescriptor[] = "(Ljava/lang/Class;)Z";

// The UID method's code, parsed, with its line table and instruction list;
// the method keeps its attributes until Commit replaces them.
class UIDMethodEdit {
public:
    UIDMethodEdit(JCRClass *jclass, JCRMember *method) : jclass_(jclass), method_(method) {}
    ~UIDMethodEdit() {
        JCRFreeInsnList(list_);
        JCRFreeLineTable(table_);
        JCRFreeCode(code_);
    }
    UIDMethodEdit(const UIDMethodEdit &) = delete;
    UIDMethodEdit &operator=(const UIDMethodEdit &) = delete;

    // False when the method has no Code attribute or its code is unreadable.
    bool Open() {
        codeSlot_ = attributeSlot(method_->attributes, method_->attributes_count, "Code");
        if (codeSlot_ < 0) return false;
        code_ = JCRParseCode(jclass_, method_->attributes[codeSlot_]);
        if (code_ == nullptr) return false;
        tableSlot_ = attributeSlot(code_->attributes, code_->attributes_count, "LineNumberTable");
        if (tableSlot_ >= 0) {
            table_ = JCRParseLineTable(jclass_, code_->attributes[tableSlot_]);
            if (table_ == nullptr) return false;
        }
        list_ = JCRDecodeCode(code_);
        if (list_ == nullptr) return false;
        // Its frames only move: the inserted calls leave every type as it was.
        mapSlot_ = attributeSlot(code_->attributes, code_->attributes_count, "StackMapTable");
        const JCRAttribute *map = mapSlot_ >= 0 ? code_->attributes[mapSlot_] : nullptr;
        return jclass_->major_version < 50 || frames_.read(jclass_, method_, map, classes_);
    }

    // Index of the last `opcode` instruction whose constant operand is ref, or -1.
    int LastCall(int opcode, int ref) const {
        if (ref <= 0) return -1;
        for (int i = list_->count - 1; i >= 0; i--) {
            const JCRInsn &insn = list_->insns[i];
            if (insn.opcode == opcode && insn.operand_length >= 2 &&
                ((insn.operands[0] << 8) | insn.operands[1]) == ref)
                return i;
        }
        return -1;
    }
    const JCRInsn *At(int index) const {
        return index >= 0 && index < list_->count ? &list_->insns[index] : nullptr;
    }

    // Inserts before instruction index; branches to that point skip the new code.
    void Insert(const JCRInsn *insns, int count, int index) {
        int at = JCRInsnOffset(list_, index);
        int before = JCRInsnOffset(list_, list_->count);
        if (JCRInsertAt(list_, insns, count, index, code_, table_, JCR_INSERT_SKIP_INSERTED) > 0) {
            log_.add(at, JCRInsnOffset(list_, list_->count) - before, true);
        }
    }

    // Writes the edited code and line table into the method. An edit that
    // overflowed a branch or the code limit leaves the method as it was.
    void Commit() {
        if (JCRCheckCode(list_, 1) != 0) return;
        int maxStack = JCRComputeMaxStack(jclass_, code_, list_);
        int length = 0;
        uint8_t *bytes = JCREncodeCode(list_, &length);
        if (bytes == nullptr) return;
        // The list's operands point into the old code bytes: it is done with.
        JCRFreeInsnList(list_);
        list_ = nullptr;
        JCRRelease(&code_->arena, code_->code);
        code_->code = bytes;
        code_->code_length = static_cast<uint32_t>(length);
        code_->max_stack = static_cast<uint16_t>(maxStack);
        if (code_->max_locals < 0xFFFF) code_->max_locals++;
        if (mapSlot_ >= 0 && !replace(&code_->arena, code_->attributes, mapSlot_, frames_.write(jclass_, classes_, log_, code_->max_locals, {}))) {
            return;
        }
        if (table_ != nullptr && !replace(&code_->arena, code_->attributes, tableSlot_, JCRWriteLineTable(jclass_, table_))) return;
        // Last: it may drop attributes, which moves the slots above.
        PRIRelocateLocalVariables(jclass_, code_, log_);
        replace(&jclass_->arena, method_->attributes, codeSlot_, JCRWriteCode(jclass_, code_));
    }

private:
    int attributeSlot(JCRAttribute **attributes, int count, const char *name) const {
        for (int i = 0; i < count; i++) {
            const char *text = JCRUtf8At(jclass_, attributes[i]->name_index);
            if (text != nullptr && std::strcmp(text, name) == 0) return i;
        }
        return -1;
    }
    static bool replace(const JCRArena *arena, JCRAttribute **attributes, int slot, JCRAttribute *attribute) {
        if (attribute == nullptr) return false;
        JCRRelease(arena, attributes[slot]);
        attributes[slot] = attribute;
        return true;
    }

    JCRClass *jclass_;
    JCRMember *method_;
    int codeSlot_ = -1;
    int tableSlot_ = -1;
    JCRCode *code_ = nullptr;
    JCRLineTable *table_ = nullptr;
    JCRInsnList *list_ = nullptr;
    int mapSlot_ = -1;
    PRIMethodFrames frames_;
    JCRClassIndex classes_;
    PRIInsertionLog log_;
};

// The index of the context class's filter method, found or added; 0 after a message.
int filterRef(JCRClass *jclass, const jc::JavaMember &filter) {
    int index = JCRFindMethodref(jclass, filter.owner, filter.name, filter.descriptor);
    if (index <= 0) index = JCRAddMethodref(jclass, filter.owner, filter.name, filter.descriptor);
    if (index > 0) return index;
    const char *className = JCRClassName(jclass);
    fprintf(stderr, "Could not add needed method ref to class %s\n", className != nullptr ? className : "");
    return 0;
}

void reportMissingCall(const char *method) {
    fprintf(stderr, "Zentrova Pre-Instrumentation error: Could not find call to %s in ObjectStreamClass.\n", method);
}

// After the last `array = cl.getter()`: array = ZVContext.filter(array).
void filterArrayResult(JCRClass *jclass, UIDMethodEdit &edit, const char *getter, const char *getterDescriptor,
                       const jc::JavaMember &filter) {
    int call = edit.LastCall(JCR_OP_INVOKEVIRTUAL,
                             JCRFindMethodref(jclass, "java/lang/Class", getter, getterDescriptor));
    const JCRInsn *store = edit.At(call + 1);
    int local = call >= 0 && store != nullptr ? JCRAStoreIndex(jclass, store) : -1;
    if (local < 0) {
        reportMissingCall(getter);
        return;
    }
    int ref = filterRef(jclass, filter);
    if (ref == 0) return;
    JCRInsn insns[3];
    if (JCRMakeALoad(jclass, &insns[0], local) == 0 ||
        JCRMakeOpU16(jclass, &insns[1], JCR_OP_INVOKESTATIC, ref) == 0 ||
        JCRMakeAStore(jclass, &insns[2], local) == 0)
        return;
    edit.Insert(insns, 3, call + 2);
}

// After the last `hasStaticInitializer(cl)`: ZVContext.filterHasClassInit(result, cl).
void filterClassInit(JCRClass *jclass, UIDMethodEdit &edit) {
    static const char *const kCandidates[][2] = {
        {"java/io/ObjectStreamClass", "hasStaticInitializer"},
        {"COM/jrockit/vm/Reflect", "checkClassHasClinit"},
        {"jrockit/vm/Reflect$IClass", "hasClinit"},
    };
    int target = -1;
    for (const auto &candidate : kCandidates) {
        target = JCRFindMethodref(jclass, candidate[0], candidate[1], kHasClinitDescriptor);
        if (target > 0) break;
    }
    int call = edit.LastCall(JCR_OP_INVOKESTATIC, target);
    const JCRInsn *load = edit.At(call - 1);
    int local = call >= 0 && load != nullptr ? JCRALoadIndex(jclass, load) : -1;
    if (local < 0) {
        reportMissingCall("hasStaticInitializer");
        return;
    }
    int ref = filterRef(jclass, jc::kFilterHasClassInit);
    if (ref == 0) return;
    JCRInsn insns[2];
    if (JCRMakeALoad(jclass, &insns[0], local) == 0 ||
        JCRMakeOpU16(jclass, &insns[1], JCR_OP_INVOKESTATIC, ref) == 0)
        return;
    edit.Insert(insns, 2, call + 1);
}

}  // namespace

int PRIRewriteObjectStreamClass(JCRClass *jclass) {
    if (jclass == nullptr) return 0;
    JCRMember *method = JCRFindStaticMethod(jclass, "computeDefaultSUID", kUIDDescriptor);
    if (method == nullptr) method = JCRFindStaticMethod(jclass, "computeSerialVersionUID", kUIDDescriptor);
    if (method == nullptr) {
        fprintf(stderr, "Could not find the serialization method within the ObjectStreamClass\n");
        return 0;
    }
    UIDMethodEdit edit(jclass, method);
    if (!edit.Open()) return 0;
    filterArrayResult(jclass, edit, "getDeclaredMethods", "()[Ljava/lang/reflect/Method;", jc::kFilterMethods);
    filterArrayResult(jclass, edit, "getInterfaces", "()[Ljava/lang/Class;", jc::kFilterInterfaces);
    filterClassInit(jclass, edit);
    edit.Commit();
    return 1;
}
