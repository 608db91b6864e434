// Fuzz target of the class-file model: parse, write back, parse and write
// every method's Code attribute and line tables, decode each method's code
// and size its stack against the input's own pool, and dump it all.
#include <cstddef>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "classfile/bytecode.h"
#include "classfile/classfile.h"
#include "support/heap.h"

namespace {

// Step 2: what is written parses again and writes the same bytes.
void CheckWriteBack(const JCRClass *jclass) {
    int length = 0;
    uint8_t *written = JCRWriteClass(jclass, &length);
    if (written == nullptr) std::abort();
    JCRClass *again = JCRParseClass(written, length);
    if (again == nullptr) std::abort();
    int length2 = 0;
    uint8_t *rewritten = JCRWriteClass(again, &length2);
    if (rewritten == nullptr || length2 != length || std::memcmp(written, rewritten, length) != 0) std::abort();
    sFree(rewritten);
    JCRFreeClass(again);
    sFree(written);
}

// Step 4: the line tables of one parsed Code attribute.
void CheckLineTables(const JCRClass *jclass, const JCRCode *code) {
    for (int a = 0; a < code->attributes_count; a++) {
        const char *name = JCRUtf8At(jclass, code->attributes[a]->name_index);
        if (name == nullptr || std::strcmp(name, "LineNumberTable") != 0) continue;
        JCRLineTable *table = JCRParseLineTable(jclass, code->attributes[a]);
        if (table == nullptr) continue;
        JCRAttribute *written = JCRWriteLineTable(jclass, table);
        sFree(written);
        JCRFreeLineTable(table);
    }
}

// Step 3: every method's Code attribute parses (or is refused) and writes back.
void CheckMethods(const JCRClass *jclass) {
    for (int m = 0; m < jclass->methods_count; m++) {
        JCRAttribute *attribute = JCRFindMemberAttribute(jclass, jclass->methods[m], "Code");
        JCRCode *code = JCRParseCode(jclass, attribute);
        if (code == nullptr) continue;
        JCRAttribute *written = JCRWriteCode(jclass, code);
        // Bytes after the Code attribute's own attributes are not kept.
        if (written == nullptr || written->length > attribute->length ||
            std::memcmp(written->info, attribute->info, written->length) != 0)
            std::abort();
        sFree(written);
        CheckLineTables(jclass, code);
        // Operands index the input's pool, whatever it holds.
        if (JCRInsnList *list = JCRDecodeCode(code)) {
            JCRComputeMaxStack(jclass, code, list);
            JCRDumpCode(jclass, list, nullptr);
            JCRFreeInsnList(list);
        }
        JCRFreeCode(code);
    }
}

// Step 5: a dump, lookups and additions on whatever indexes the input holds.
void CheckEdits(JCRClass *jclass) {
    JCRDumpClass(jclass);
    JCRClassNameIs(jclass, "a.B");
    JCRFindString(jclass, "x");
    JCRFindMethodref(jclass, "java/lang/Object", "<init>", "()V");
    JCRAddMethodref(jclass, "zv/Probe", "enter", "(I)V");
    JCRAddMethod(jclass, JCR_ACC_STATIC, "<clinit>", "()V", nullptr, nullptr);
    CheckWriteBack(jclass);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 1 << 20) return 0;
    // The dumps are read by nobody here.
    static const bool quiet = std::freopen("/dev/null", "w", stdout) != nullptr;
    (void)quiet;
    // Step 1: parse.
    JCRClass *jclass = JCRParseClass(data, static_cast<int>(size));
    if (jclass == nullptr) return 0;
    CheckWriteBack(jclass);
    CheckMethods(jclass);
    CheckEdits(jclass);
    JCRFreeClass(jclass);
    return 0;
}
