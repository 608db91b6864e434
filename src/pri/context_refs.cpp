// The constant-pool references that inserted code makes to the context
// class, found or added once per class.
#include <cstdio>

#include "classfile/classfile.h"
#include "contract/java_contract.h"
#include "pri/instrument_internal.h"
#include "pri/runtime.h"

namespace {

namespace jc = java_contract;

struct RefSpec {
    PRIContextRef slot;
    const jc::JavaMember &member;
    const char *message;
};

int findOrAdd(JCRClass *jclass, const RefSpec &spec) {
    const jc::JavaMember &m = spec.member;
    if (m.descriptor[0] == '(') {  // a method; otherwise a field
        int index = JCRFindMethodref(jclass, m.owner, m.name, m.descriptor);
        return index > 0 ? index : JCRAddMethodref(jclass, m.owner, m.name, m.descriptor);
    }
    int index = JCRFindFieldref(jclass, m.owner, m.name, m.descriptor);
    return index > 0 ? index : JCRAddFieldref(jclass, m.owner, m.name, m.descriptor);
}

}  // namespace

void PRIAddContextRefs(JCRClass *jclass, PRIContextRefs *refs) {
    bool full = PRIIsBootstrapDone() != 0;
    const RefSpec specs[] = {
        {PRI_REF_UPDATE_LOCATION, jc::kUpdateLocation, "Could not add call to updateLocation in class %s\n"},
        {PRI_REF_DID_ENTER, full ? jc::kDidEnterMethod : jc::kDidEnterMethodPreInit,
         "Could not add call to didEnterMethod in class %s\n"},
        {PRI_REF_WILL_EXIT, jc::kWillExitMethod, "Could not add call to willExitMethod in class %s\n"},
        {PRI_REF_ENTER_EXIT_QUICK, jc::kEnterExitQuick, "Could not add call to enterExitQuick in class %s\n"},
        {PRI_REF_GET_CONTEXT_FAST, jc::kGetContextFast, "Could not add call to getContext in class %s\n"},
        {PRI_REF_HAS_RUN_COUNTER, jc::kHasRunCounter, "Could not add call to hasRunCounter in class %s\n"},
        {PRI_REF_HIBERNATE, jc::kHibernate, "Could not add call to isHibernate in class %s\n"},
        {PRI_REF_FAKE_STACK, jc::kFakeStack, "Could not add call to fakeStack in class %s\n"},
        {PRI_REF_CALL_STACK, jc::kCallStack, "Could not add call to callStack in class %s\n"},
        {PRI_REF_STACK_POINTER, jc::kStackPointer, "Could not add call to callStackPtr in class %s\n"},
        {PRI_REF_EXIT_FRAME, jc::kExitFrame, "Could not add call to exitFrame in class %s\n"},
        {PRI_REF_RESUME_FRAME, jc::kResumeFrame, "Could not add call to resumeFrame in class %s\n"},
    };
    for (const RefSpec &spec : specs) {
        int32_t &slot = refs->index[spec.slot];
        if (slot != -1) continue;
        int index = findOrAdd(jclass, spec);
        if (index > 0) {
            slot = index;
            if (spec.slot == PRI_REF_DID_ENTER) refs->index[PRI_REF_DID_ENTER_IS_FULL] = full ? 1 : 0;
        } else {
            fprintf(stderr, spec.message, JCRClassName(jclass));
        }
    }
}
