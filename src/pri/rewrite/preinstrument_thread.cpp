// Gives java/lang/Thread a field for the thread's profiler context and a
// static accessor that creates the context on first use, so the context is
// one field read away from any thread.
#include <cstring>

#include "classfile/bytecode.h"
#include "contract/java_contract.h"
#include "pri/filters/filters.h"
#include "pri/rewrite/instrument.h"

namespace {

namespace jc = java_contract;
constexpr const char *kThreadClass = jc::kThreadClass;
constexpr const char *kContextClass = jc::kContextClass;

constexpr int kPublicTransient = 0x0081;
constexpr int kPublicStaticTransient = 0x0089;
constexpr int kPublicStaticFinal = 0x0019;

// More than the rewrite ever adds to the constant pool; a pool closer to its
// limit is left alone so that no addition is refused halfway.
constexpr int kPoolEntriesNeeded = 40;

constexpr uint8_t kDup = 89;
constexpr uint8_t kNew = 187;
constexpr uint8_t kAReturn = 176;
constexpr int kGetContextCodeLength = 29;
constexpr int kFrameTableLength = 6;
constexpr uint8_t kSameLocalsOneStackItem = 64;  // plus the offset delta
constexpr uint8_t kObjectType = 7;

int findOrAddMethodref(JCRClass *jclass, const char *className, const char *name, const char *descriptor) {
    int index = JCRFindMethodref(jclass, className, name, descriptor);
    return index > 0 ? index : JCRAddMethodref(jclass, className, name, descriptor);
}

int findOrAddUtf8(JCRClass *jclass, const char *text) {
    int index = JCRFindUtf8(jclass, text);
    return index > 0 ? index : JCRAddUtf8(jclass, text);
}

uint8_t high(int index) { return static_cast<uint8_t>(index >> 8); }
uint8_t low(int index) { return static_cast<uint8_t>(index); }

}  // namespace

int PRIRewriteThreadClass(JCRClass *jclass) {
    const char *name = jclass != nullptr ? JCRClassName(jclass) : nullptr;
    if (name == nullptr || std::strcmp(name, kThreadClass) != 0 || PRIIsMarkedInstrumented(jclass)) return 0;
    if (jclass->constant_pool_count > JCR_MAX_CONSTANT_POOL_COUNT - kPoolEntriesNeeded) return 0;

    int threadClass = JCRAddClassRef(jclass, kThreadClass);
    int contextClass = JCRAddClassRef(jclass, kContextClass);
    int currentThread = findOrAddMethodref(jclass, kThreadClass, "currentThread", "()Ljava/lang/Thread;");
    int contextInit = findOrAddMethodref(jclass, kContextClass, jc::kContextConstructor.name, jc::kContextConstructor.descriptor);
    int getContext0 = findOrAddMethodref(jclass, kContextClass, jc::kGetContext0.name, jc::kGetContext0.descriptor);
    int contextField = JCRAddFieldref(jclass, kThreadClass, jc::kThreadContextField.name, jc::kContextType);
    int codeName = findOrAddUtf8(jclass, "Code");
    int frameTableName = findOrAddUtf8(jclass, "StackMapTable");
    if (threadClass <= 0 || contextClass <= 0 || currentThread <= 0 || contextInit <= 0 || getContext0 <= 0 ||
        contextField <= 0 || codeName <= 0 || frameTableName <= 0)
        return 0;

    if (JCRAddField(jclass, kPublicTransient, jc::kThreadContextField.name, jc::kContextType) == nullptr ||
        JCRAddField(jclass, kPublicStaticTransient, jc::kThreadPreInstrumented.name,
                    jc::kThreadPreInstrumented.descriptor) == nullptr)
        return 0;

    // Returns the current thread's context, creating and storing it first
    // when the field is still null.
    uint8_t bytes[kGetContextCodeLength] = {
        JCR_OP_INVOKESTATIC, high(currentThread), low(currentThread),  //  0
        JCR_OP_GETFIELD, high(contextField), low(contextField),        //  3
        kDup,                                                          //  6
        JCR_OP_IFNONNULL, 0, 21,                                       //  7: to 28
        JCR_OP_POP,                                                    // 10
        JCR_OP_INVOKESTATIC, high(currentThread), low(currentThread),  // 11
        kDup,                                                          // 14
        kNew, high(contextClass), low(contextClass),                   // 15
        kDup,                                                          // 18
        JCR_OP_INVOKESPECIAL, high(contextInit), low(contextInit),     // 19
        JCR_OP_PUTFIELD, high(contextField), low(contextField),        // 22
        JCR_OP_GETFIELD, high(contextField), low(contextField),        // 25
        kAReturn,                                                      // 28
    };
    // The one frame the split verifier needs: at the areturn (28), reached
    // from the branch and by falling through, the stack holds a context.
    alignas(JCRAttribute) uint8_t frameStorage[sizeof(JCRAttribute) + kFrameTableLength] = {};
    auto *frames = reinterpret_cast<JCRAttribute *>(frameStorage);
    frames->name_index = static_cast<uint16_t>(frameTableName);
    frames->length = kFrameTableLength;
    const uint8_t frameBytes[kFrameTableLength] = {0, 1, kSameLocalsOneStackItem + 28, kObjectType,
                                                   high(contextClass), low(contextClass)};
    std::memcpy(frames->info, frameBytes, kFrameTableLength);
    JCRAttribute *codeAttributes[1] = {frames};
    JCRCode code{};
    code.name_index = static_cast<uint16_t>(codeName);
    code.attributes_count = 1;
    code.attributes = codeAttributes;
    code.max_stack = 4;
    code.max_locals = 0;
    code.code_length = kGetContextCodeLength;
    code.code = bytes;
    if (JCRAddMethod(jclass, kPublicStaticFinal, jc::kThreadGetContext.name, jc::kThreadGetContext.descriptor, &code,
                     nullptr) == nullptr)
        return 0;

    PRIMarkInstrumented(jclass);
    return PRIIsMarkedInstrumented(jclass);
}
