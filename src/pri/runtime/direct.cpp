// The direct-instrumentation decision and the compiled-code patcher. The
// direct routines would read their arguments where 32-bit compiled code puts
// them; 64-bit compiled code passes them in registers, so on this platform
// the patcher refuses every patch and the natives keep their JNI entry.
#include "pri/runtime/direct.h"

#include <atomic>
#include <cstdio>

#include "pri/clock/clock.h"
#include "pri/runtime/runtime.h"

namespace {

PRIDirectState *gDirect = new PRIDirectState();

void clearException(JNIEnv *env) {
    if (env->ExceptionCheck()) {
        env->ExceptionDescribe();
        env->ExceptionClear();
    }
}

}  // namespace

void PRIDirectIEnable(void) {
    gDirect->enabled = true;
    std::fputs("Direct Instrumentation Enabled\n", stderr);
}

int PRIDirectIEnabled(void) { return gDirect->enabled ? 1 : 0; }
int PRIDirectIMultiParamDisabled(void) { return gDirect->multiParamDisabled ? 1 : 0; }

void PRIDirectIEvaluateTable(JNIEnv *env) {
    PRIDirectState &direct = *gDirect;
    if (env == nullptr || direct.enabled) return;
    const PRIVMProperties &vm = PRIDirectIProperties(env, direct);
    clearException(env);
    const SEElement *table = PRIDirectITable(env, direct);
    clearException(env);
    if (PRIDirectIListMatches(table, "disabledFor", vm)) return;
    if (PRIDirectIListMatches(table, "multiParamDisabledFor", vm)) direct.multiParamDisabled = true;
    if (PRIDirectIListMatches(table, "enabledFor", vm)) PRIDirectIEnable();
    clearException(env);
}

int PRIDirectIEnabledForThreads(JNIEnv *env) {
    PRIDirectState &direct = *gDirect;
    if (env == nullptr || !direct.enabled) return 0;
    const PRIVMProperties &vm = PRIDirectIProperties(env, direct);
    const SEElement *table = PRIDirectITable(env, direct);
    clearException(env);
    return PRIDirectIListMatches(table, "enabledFor", vm);
}

PRIDirectPatch PRIDirectPatchFor(int kind, int codeSize, int enabled, int multiParamDisabled, int clockMode) {
    if (!enabled) return PRI_PATCH_NONE;
    switch (kind) {
    case PRI_DIRECT_ENTER_WILL_EXIT:
    case PRI_DIRECT_ENTERED:
        if (multiParamDisabled) return PRI_PATCH_NONE;
        [[fallthrough]];
    case PRI_DIRECT_EXITED: return codeSize >= 5 ? PRI_PATCH_JUMP : PRI_PATCH_NONE;
    case PRI_DIRECT_TIME0: return clockMode > 0 && codeSize >= 3 ? PRI_PATCH_TIME_STAMP : PRI_PATCH_NONE;
    default: return PRI_PATCH_NONE;
    }
}

void PRIPatchCompiledNative(void *codeAddress, int codeSize, int kind) {
    PRIDirectState &direct = *gDirect;
    if (codeAddress == nullptr) return;
    PRIDirectPatch patch =
        PRIDirectPatchFor(kind, codeSize, direct.enabled, direct.multiParamDisabled, PRIClockMode());
    if (patch == PRI_PATCH_NONE) return;
    // Routines written for another calling convention would corrupt the VM:
    // nothing is written, and the refusal is said once.
    if (!direct.refusalShown.exchange(true)) {
        std::fputs("Zentrova Warning: direct instrumentation of compiled code is not supported on this "
                   "platform; the natives are called through JNI\n",
                   stderr);
    }
}

PRIDirectState *PRIInstallDirectState(PRIDirectState *state) {
    PRIDirectState *old = gDirect;
    gDirect = state;
    return old;
}
