// Rewrites JUnit's reloading class loader so that isExcluded answers true for
// the agent's own classes (package "meridyn.") before its own list is read:
// they must come from the system class loader only, so that the VM holds one
// ZVContext class and one set of audit classes.
#include "pri/rewrite/instrument.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "classfile/bytecode.h"
#include "classfile/stackmap.h"
#include "pri/rewrite/instrumented_frames.h"
#include "support/heap.h"

namespace {

constexpr char kLoaderClass[] = "junit/runner/TestCaseClassLoader";

int attributeSlot(const JCRClass *jclass, JCRAttribute *const *attributes, int count, const char *name) {
    for (int i = 0; i < count; i++) {
        const char *text = JCRUtf8At(jclass, attributes[i]->name_index);
        if (text != nullptr && std::strcmp(text, name) == 0) return i;
    }
    return -1;
}

void replace(const JCRArena *arena, JCRAttribute **attributes, int slot, JCRAttribute *attribute) {
    JCRRelease(arena, attributes[slot]);
    attributes[slot] = attribute;
}

void shift(JCRTypeList &types, int bytes) {
    for (JCRVerificationType &t : types) {
        if (t.tag == JCR_ITEM_Uninitialized) t.data = static_cast<uint16_t>(t.data + bytes);
    }
}

// The method's frames after `bytes` went in at offset 0, plus the frame that
// the inserted test's branch to the former body needs at target (unless one
// of the method's own frames already lands there). Null when the table is
// malformed or cannot be written.
JCRAttribute *movedFrames(JCRClass *jclass, const JCRMember *method, const JCRAttribute *stackMap, int bytes,
                          int target) {
    JCRClassIndex classes;
    JCRFrame initial;
    std::vector<JCRFrame> frames;
    if (!JCRInitialFrame(jclass, method, classes, &initial)) return nullptr;
    if (stackMap != nullptr && !JCRDecodeStackMap(stackMap, initial, &frames)) return nullptr;
    for (JCRFrame &frame : frames) {
        frame.offset += bytes;
        shift(frame.locals, bytes);
        shift(frame.stack, bytes);
    }
    if (frames.empty() || frames.front().offset != target) frames.insert(frames.begin(), {target, initial.locals, {}});
    return JCREncodeStackMap(jclass, classes, initial, frames);
}

// isExcluded's code while it is edited; freed whatever the outcome.
struct MethodCode {
    JCRCode *code = nullptr;
    JCRLineTable *table = nullptr;
    JCRInsnList *list = nullptr;
    ~MethodCode() {
        JCRFreeInsnList(list);
        JCRFreeLineTable(table);
        JCRFreeCode(code);
    }
};

// if (name.startsWith("meridyn.")) return true; -- the branch skips the
// return and lands on the former first instruction.
bool buildTest(JCRClass *jclass, int startsWith, JCRInsn insns[6]) {
    return JCRMakeALoad(jclass, &insns[0], 1) != 0 && JCRMakePushString(jclass, &insns[1], "meridyn.") != 0 &&
           JCRMakeOpU16(jclass, &insns[2], JCR_OP_INVOKEVIRTUAL, startsWith) != 0 &&
           JCRMakeOpU16(jclass, &insns[3], JCR_OP_IFEQ, 5) != 0 && JCRMakeOp(&insns[4], JCR_OP_ICONST_1) != 0 &&
           JCRMakeOp(&insns[5], JCR_OP_IRETURN) != 0;
}

int unchanged(const char *why) {
    std::fprintf(stderr, "Zentrova Warning: %s in JUnit class loader; it is left unchanged\n", why);
    return 0;
}

}  // namespace

int PRIAdjustJUnitClassLoader(JCRClass *jclass) {
    if (jclass == nullptr) return 0;
    const char *name = JCRClassName(jclass);
    if (name == nullptr || std::strcmp(name, kLoaderClass) != 0) return 0;
    JCRMember *method = JCRFindMethod(jclass, "isExcluded", "(Ljava/lang/String;)Z");
    if (method == nullptr) {
        std::fputs("Zentrova Warning: isExcluded method not found in JUnit class loader\n", stderr);
        return 0;
    }
    int startsWith = JCRFindMethodref(jclass, "java/lang/String", "startsWith", "(Ljava/lang/String;)Z");
    if (startsWith <= 0) startsWith = JCRAddMethodref(jclass, "java/lang/String", "startsWith", "(Ljava/lang/String;)Z");
    int codeSlot = attributeSlot(jclass, method->attributes, method->attributes_count, "Code");
    if (codeSlot < 0) return 0;  // abstract or native: nothing to rewrite

    MethodCode m;
    m.code = JCRParseCode(jclass, method->attributes[codeSlot]);
    if (m.code == nullptr) return unchanged("unreadable isExcluded code");
    int tableSlot = attributeSlot(jclass, m.code->attributes, m.code->attributes_count, "LineNumberTable");
    if (tableSlot >= 0) m.table = JCRParseLineTable(jclass, m.code->attributes[tableSlot]);
    m.list = JCRDecodeCode(m.code);
    JCRInsn insns[6];
    if (m.list == nullptr || startsWith <= 0 || !buildTest(jclass, startsWith, insns))
        return unchanged("no room for the isExcluded test");

    int before = JCRInsnOffset(m.list, m.list->count);
    if (JCRInsertAt(m.list, insns, 6, 0, m.code, m.table, JCR_INSERT_SKIP_INSERTED) == 0)
        return unchanged("no room for the isExcluded test");
    // A method near the 64 KB limit could be pushed past it.
    if (JCRCheckCode(m.list, 1) != 0) return unchanged("isExcluded too large for the test");
    int bytes = JCRInsnOffset(m.list, m.list->count) - before;
    int target = JCRInsnOffset(m.list, 6);

    // Class files from version 50 carry frames that the verifier checks.
    int mapSlot = attributeSlot(jclass, m.code->attributes, m.code->attributes_count, "StackMapTable");
    JCRAttribute *frames = nullptr;
    if (mapSlot >= 0 || jclass->major_version >= 50) {
        frames = movedFrames(jclass, method, mapSlot >= 0 ? m.code->attributes[mapSlot] : nullptr, bytes, target);
        if (frames == nullptr) return unchanged("unusable isExcluded frames");
    }
    JCRAttribute *lines = m.table != nullptr ? JCRWriteLineTable(jclass, m.table) : nullptr;

    int maxStack = JCRComputeMaxStack(jclass, m.code, m.list);
    int length = 0;
    uint8_t *encoded = JCREncodeCode(m.list, &length);
    // The list's operands point into the old code bytes: it is done with.
    JCRFreeInsnList(m.list);
    m.list = nullptr;
    if (encoded == nullptr || (m.table != nullptr && lines == nullptr)) {
        sFree(encoded);
        sFree(frames);
        sFree(lines);
        return unchanged("out of memory rewriting isExcluded");
    }
    JCRRelease(&m.code->arena, m.code->code);
    m.code->code = encoded;
    m.code->code_length = static_cast<uint32_t>(length);
    m.code->max_stack = static_cast<uint16_t>(maxStack);
    if (lines != nullptr) replace(&m.code->arena, m.code->attributes, tableSlot, lines);
    if (frames != nullptr) {
        if (mapSlot >= 0) {
            replace(&m.code->arena, m.code->attributes, mapSlot, frames);
        } else {
            auto **attributes = static_cast<JCRAttribute **>(
                sMalloc(static_cast<int>((m.code->attributes_count + 1) * sizeof(JCRAttribute *))));
            if (attributes == nullptr) {
                sFree(frames);
                return unchanged("out of memory rewriting isExcluded");
            }
            for (int i = 0; i < m.code->attributes_count; i++) attributes[i] = m.code->attributes[i];
            attributes[m.code->attributes_count++] = frames;
            JCRRelease(&m.code->arena, m.code->attributes);
            m.code->attributes = attributes;
        }
    }
    PRIInsertionLog log;
    log.add(0, bytes, true);
    PRIRelocateLocalVariables(jclass, m.code, log);
    JCRAttribute *written = JCRWriteCode(jclass, m.code);
    if (written == nullptr) return unchanged("out of memory rewriting isExcluded");
    replace(&jclass->arena, method->attributes, codeSlot, written);
    return 1;
}
