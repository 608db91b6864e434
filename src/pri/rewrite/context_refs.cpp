// The constant-pool references that inserted code makes to the context
// class, found or added once per class.
#include <cstdio>

#include "classfile/classfile.h"
#include "contract/java_contract.h"
#include "pri/rewrite/instrument_internal.h"
#include "pri/runtime/runtime.h"

namespace {

namespace jc = java_contract;

struct RefSpec {
    PRIContextRef slot;
    const jc::JavaMember &member;
    const char *message;
};

}  // namespace

void PRIAddContextRefs(JCRClass *jclass, PRIContextRefs *refs, uint32_t wanted) {
    bool full = PRIIsBootstrapDone() != 0;
    const RefSpec specs[] = {
        {PRI_REF_DID_ENTER, full ? jc::kDidEnterMethod : jc::kDidEnterMethodPreInit,
         "Could not add call to didEnterMethod in class %s\n"},
        {PRI_REF_WILL_EXIT, jc::kWillExitMethod, "Could not add call to willExitMethod in class %s\n"},
        {PRI_REF_ENTER_EXIT_QUICK, jc::kEnterExitQuick, "Could not add call to enterExitQuick in class %s\n"},
        {PRI_REF_GET_CONTEXT_FAST, jc::kGetContextFast, "Could not add call to getContext in class %s\n"},
        {PRI_REF_CALL_STACK, jc::kCallStack, "Could not add call to callStack in class %s\n"},
        {PRI_REF_STACK_POINTER, jc::kStackPointer, "Could not add call to callStackPtr in class %s\n"},
        {PRI_REF_EXIT_FRAME, jc::kExitFrame, "Could not add call to exitFrame in class %s\n"},
        {PRI_REF_RESUME_FRAME, jc::kResumeFrame, "Could not add call to resumeFrame in class %s\n"},
    };
    // The wanted references still missing, found or added in one go.
    JCRMemberRefSpec missing[PRI_REF_COUNT];
    const RefSpec *of[PRI_REF_COUNT];
    int count = 0;
    for (const RefSpec &spec : specs) {
        if (refs->index[spec.slot] != -1 || (wanted & PRIRefBit(spec.slot)) == 0) continue;
        const jc::JavaMember &m = spec.member;
        missing[count] = {m.descriptor[0] == '(', m.name, m.descriptor};  // a method, else a field
        of[count++] = &spec;
    }
    if (count == 0) return;
    int32_t found[PRI_REF_COUNT];
    JCRFindOrAddMemberRefs(jclass, jc::kContextClass, missing, count, found);  // every member is the context's
    for (int i = 0; i < count; ++i) {
        const RefSpec &spec = *of[i];
        if (found[i] > 0) {
            refs->index[spec.slot] = found[i];
        } else {
            fprintf(stderr, spec.message, JCRClassName(jclass));
        }
    }
}
