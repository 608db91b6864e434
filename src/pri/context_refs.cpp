// The constant-pool references that inserted code makes to the context
// class, found or added once per class.
#include <cstdio>

#include "classfile/classfile.h"
#include "pri/instrument_internal.h"
#include "pri/runtime.h"

namespace {

constexpr const char *kContext = "meridyn/audit/profiler/ZVContext";

struct RefSpec {
    PRIContextRef slot;
    bool method;
    const char *name;
    const char *descriptor;
    const char *message;
};

}  // namespace

void PRIAddContextRefs(JCRClass *jclass, PRIContextRefs *refs) {
    bool full = PRIIsBootstrapDone() != 0;
    const RefSpec specs[] = {
        {PRI_REF_UPDATE_LOCATION, true, "updateLocation", "(Lmeridyn/audit/profiler/ZVContext;I)V",
         "Could not add call to updateLocation in class %s\n"},
        {PRI_REF_DID_ENTER, true, full ? "didEnterMethod" : "didEnterMethodPreInit",
         "(II)Lmeridyn/audit/profiler/ZVContext;", "Could not add call to didEnterMethod in class %s\n"},
        {PRI_REF_WILL_EXIT, true, "willExitMethod", "(Lmeridyn/audit/profiler/ZVContext;)V",
         "Could not add call to willExitMethod in class %s\n"},
        {PRI_REF_ENTER_EXIT_QUICK, true, "enterExitQuick", "(II)V",
         "Could not add call to enterExitQuick in class %s\n"},
        {PRI_REF_GET_CONTEXT_FAST, true, "getContextFast", "()Lmeridyn/audit/profiler/ZVContext;",
         "Could not add call to getContext in class %s\n"},
        {PRI_REF_HAS_RUN_COUNTER, false, "hasRunCounter", "I", "Could not add call to hasRunCounter in class %s\n"},
        {PRI_REF_HIBERNATE, false, "_hibernate", "Z", "Could not add call to isHibernate in class %s\n"},
        {PRI_REF_FAKE_STACK, false, "_fakeStack", "[I", "Could not add call to fakeStack in class %s\n"},
        {PRI_REF_CALL_STACK, false, "callStack", "[I", "Could not add call to callStack in class %s\n"},
        {PRI_REF_STACK_POINTER, false, "stackPointer", "I", "Could not add call to callStackPtr in class %s\n"},
        {PRI_REF_EXIT_FRAME, true, "exitFrame", "(Lmeridyn/audit/profiler/ZVContext;I)V",
         "Could not add call to exitFrame in class %s\n"},
        {PRI_REF_RESUME_FRAME, true, "resumeFrame", "(Lmeridyn/audit/profiler/ZVContext;I)V",
         "Could not add call to resumeFrame in class %s\n"},
    };
    // The references still missing, found or added in one go.
    JCRMemberRefSpec wanted[PRI_REF_COUNT];
    const RefSpec *of[PRI_REF_COUNT];
    int count = 0;
    for (const RefSpec &spec : specs) {
        if (refs->index[spec.slot] != -1) continue;
        wanted[count] = {spec.method, spec.name, spec.descriptor};
        of[count++] = &spec;
    }
    if (count == 0) return;
    int32_t found[PRI_REF_COUNT];
    JCRFindOrAddMemberRefs(jclass, kContext, wanted, count, found);
    for (int i = 0; i < count; ++i) {
        const RefSpec &spec = *of[i];
        if (found[i] > 0) {
            refs->index[spec.slot] = found[i];
            if (spec.slot == PRI_REF_DID_ENTER) refs->index[PRI_REF_DID_ENTER_IS_FULL] = full ? 1 : 0;
        } else {
            fprintf(stderr, spec.message, JCRClassName(jclass));
        }
    }
}
