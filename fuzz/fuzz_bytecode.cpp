// Fuzzes the bytecode editor with raw bytes as a method's code: decode,
// encode, stack depth and check, then insertions at entry and in the middle.
#include <cstdint>
#include <cstring>

#include "classfile/bytecode.h"
#include "support/heap.h"

namespace {

// A class whose first constants are a field and a method reference, so that
// some fuzzed operands resolve to descriptors.
JCRClass *sampleClass() {
    static JCRClass *jclass = [] {
        auto *c = static_cast<JCRClass *>(sMalloc(sizeof(JCRClass)));
        std::memset(c, 0, sizeof(JCRClass));
        c->constant_pool_count = 1;
        c->constant_pool = static_cast<JCRConstant **>(sMalloc(sizeof(JCRConstant *)));
        c->constant_pool[0] = nullptr;
        JCRAddFieldref(c, "A", "f", "J");
        JCRAddMethodref(c, "A", "m", "(J[[DLjava/lang/String;)D");
        return c;
    }();
    return jclass;
}

// A code record owning an exactly sized copy of the bytes, with one
// exception entry taken from the last bytes (its pcs need not be valid).
JCRCode *makeCode(const uint8_t *data, size_t size) {
    auto *code = static_cast<JCRCode *>(sMalloc(sizeof(JCRCode)));
    std::memset(code, 0, sizeof(JCRCode));
    code->code_length = static_cast<uint32_t>(size);
    code->code = static_cast<uint8_t *>(sMalloc(static_cast<int>(size)));
    std::memcpy(code->code, data, size);
    if (size >= 4) {
        code->exception_table_length = 1;
        code->exception_table = static_cast<JCRExceptionEntry *>(sMalloc(sizeof(JCRExceptionEntry)));
        uint16_t pc = static_cast<uint16_t>((data[size - 2] << 8 | data[size - 1]) % (size + 1));
        code->exception_table[0] = {0, pc, pc, 0};
    }
    return code;
}

void freeCode(JCRCode *code) {
    sFree(code->code);
    sFree(code->exception_table);
    sFree(code);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0 || size > 70000) return 0;
    JCRClass *jclass = sampleClass();
    JCRCode *code = makeCode(data, size);
    JCRInsnList *list = JCRDecodeCode(code);
    if (list == nullptr) {
        freeCode(code);
        return 0;
    }
    int length = 0;
    uint8_t *bytes = JCREncodeCode(list, &length);
    if (bytes == nullptr || static_cast<size_t>(length) != size || std::memcmp(bytes, data, size) != 0)
        __builtin_trap();  // decode + encode must give the bytes back
    sFree(bytes);
    JCRComputeMaxStack(jclass, code, list);
    int valid = JCRCheckCode(list, 0) == 0;

    uint8_t callOperands[2] = {0, 2};
    JCRInsn inserted[3] = {{JCR_OP_INVOKESTATIC, 2, callOperands}, {JCR_OP_NOP, 0, nullptr}, {JCR_OP_POP, 0, nullptr}};
    int n = 1 + data[0] % 3;
    JCRInsertAt(list, inserted, n, list->count / 2, code, nullptr, data[size - 1] & 1);
    JCRInsertAt(list, inserted, 1, 0, code, nullptr, JCR_INSERT_SKIP_INSERTED);
    JCRInsertAtOffset(jclass, list, inserted + 1, 1, data[size / 2], code, nullptr, 0);
    JCRComputeMaxStack(jclass, code, list);
    bytes = JCREncodeCode(list, &length);
    // Valid code stays valid where no branch overflowed, and re-decodes.
    if (JCRCheckCode(list, 0) == 0) {
        JCRCode *edited = makeCode(bytes, static_cast<size_t>(length));
        JCRInsnList *again = JCRDecodeCode(edited);
        if (again == nullptr) __builtin_trap();
        JCRFreeInsnList(again);
        freeCode(edited);
    } else if (valid && !list->branch_overflow && length < 65536) {
        __builtin_trap();
    }
    sFree(bytes);
    JCRFreeInsnList(list);
    freeCode(code);
    return 0;
}
