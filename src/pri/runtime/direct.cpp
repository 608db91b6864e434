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

int PRIWriteDirectJump(uint8_t *code, int room, uintptr_t at, uintptr_t target) {
    if (code == nullptr || room < 5 || at > UINTPTR_MAX - 5) return 0;
    uintptr_t next = at + 5;
    // The displacement is taken from the end of the jump.
    bool forward = target >= next;
    uintptr_t distance = forward ? target - next : next - target;
    if (distance > (forward ? uintptr_t{INT32_MAX} : uintptr_t{INT32_MAX} + 1)) return 0;
    uint32_t displacement = forward ? static_cast<uint32_t>(distance) : static_cast<uint32_t>(0 - distance);
    code[0] = 0xE9;
    for (int i = 0; i < 4; i++) code[1 + i] = static_cast<uint8_t>(displacement >> (8 * i));
    return 5;
}

int PRIWriteTimeStampRead(uint8_t *code, int room) {
    if (code == nullptr || room < 3) return 0;
    code[0] = 0x0F;
    code[1] = 0x31;
    code[2] = 0xC3;
    return 3;
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
