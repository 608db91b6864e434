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

int findOrAdd(JCRClass *jclass, const RefSpec &spec) {
    if (spec.method) {
        int index = JCRFindMethodref(jclass, kContext, spec.name, spec.descriptor);
        return index > 0 ? index : JCRAddMethodref(jclass, kContext, spec.name, spec.descriptor);
    }
    int index = JCRFindFieldref(jclass, kContext, spec.name, spec.descriptor);
    return index > 0 ? index : JCRAddFieldref(jclass, kContext, spec.name, spec.descriptor);
}

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
