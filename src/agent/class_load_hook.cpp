// The class-load hook: the road of a class file through the agent. It is
// parsed, adjusted, shown to the extensions and instrumented, and written
// back only when something changed it.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "agent/agent_internal.h"
#include "agent/core.h"
#include "contract/java_contract.h"
#include "classfile/classfile.h"
#include "config/config.h"
#include "ext/extensions.h"
#include "platform/jvmpi_emulation.h"
#include "pri/filters/filters.h"
#include "pri/rewrite/instrument.h"
#include "pri/rewrite/instrument_internal.h"
#include "pri/runtime/runtime.h"
#include "support/heap.h"

namespace {


void handBackUnchanged(JVMPI_Event *event) {
    auto &hook = event->u.class_load_hook;
    hook.new_class_data = hook.class_data;
    hook.new_class_data_len = hook.class_data_len;
}

// Before the first class is instrumented, and so before any instrumented
// method can run: the context class that instrumented code calls must be on
// the boot class path, or the VM would fail later with an obscure error.
void checkBootClassPath() {
    if (ZVCore().bootClassPathChecked) return;
    ZVCore().bootClassPathChecked = true;
    if (JvmpiBootClassPathHas(java_contract::kContextClassResource)) return;
    fputs("You have not correctly pointed the boot-classpath at Zentrova's zvbcp.jar file\n", stderr);
    fputs("Please add the following to your command-line:\n"
          "\t-Xbootclasspath/a:<ZenVaDir>/lib/zvbcp.jar\n",
          stderr);
    fflush(stderr);
    exit(1);
}

int runExtensionHooks(JCRClass *jclass, int phase) {
    int changed = 0;
    ZVAgentState &state = ZVState();
    for (int i = 0; i < state.extensionCount; ++i) {
        ZVExtensionRecord *ext = state.extensions[i];
        if (ext == nullptr || ext->classLoadHook == nullptr) continue;
        bool wanted = phase < 0 ? ext->order <= 0 : ext->order >= 0;
        if (wanted) changed |= ext->classLoadHook(jclass, phase) != 0;
    }
    return changed;
}

std::string dumpDirectory() {
    const char *tmp = getenv("TMPDIR");
    return tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
}

// Gives the VM the rewritten class in memory from the event's allocator.
bool writeBack(JVMPI_Event *event, JCRClass *jclass) {
    auto &hook = event->u.class_load_hook;
    int length = 0;
    uint8_t *bytes = JCRWriteClass(jclass, &length);
    if (bytes == nullptr || length <= 0 || hook.malloc_f == nullptr) {
        sFree(bytes);
        return false;
    }
    auto *data = static_cast<unsigned char *>(hook.malloc_f(static_cast<unsigned int>(length)));
    if (data == nullptr) {
        sFree(bytes);
        return false;
    }
    memcpy(data, bytes, static_cast<size_t>(length));
    hook.new_class_data = data;
    hook.new_class_data_len = length;
    sFree(bytes);
    return true;
}

// A class loaded while the VM starts is redefined with its probes once the VM
// is live. The VM then merges the new constant pool into the loaded one,
// searching the whole pool for every constant it does not find at the same
// index: the constants the probes refer to are added now, at the end of the
// pool, so that the redefined version finds each at its own index and only
// the few the probes add later (method numbers, the marker) are searched for.
// Constants nothing refers to change nothing else in the class.
bool addProbeConstants(JCRClass *jclass) {
    constexpr int kInterface = 0x0200;
    constexpr int kRoomKept = 256;  // the probes' own additions, later
    if ((jclass->access_flags & kInterface) != 0 || PRIIsMarkedInstrumented(jclass) ||
        jclass->constant_pool_count > JCR_MAX_CONSTANT_POOL_COUNT - kRoomKept)
        return false;
    PRIContextRefs refs;
    for (int32_t &slot : refs.index) slot = -1;
    int before = jclass->constant_pool_count;
    // What most methods' probes use once the context class is bootstrapped.
    PRIAddContextRefs(jclass, &refs,
                      PRIRefBit(PRI_REF_STACK_POINTER) | PRIRefBit(PRI_REF_WILL_EXIT) | PRIRefBit(PRI_REF_EXIT_FRAME) |
                          PRIRefBit(PRI_REF_ENTER_EXIT_QUICK) | PRIRefBit(PRI_REF_CALL_STACK));
    // The entry the probes call once the context class is bootstrapped.
    const java_contract::JavaMember &enter = java_contract::kDidEnterMethod;
    JCRMemberRefSpec spec{true, enter.name, enter.descriptor};
    int32_t index = 0;
    JCRFindOrAddMemberRefs(jclass, java_contract::kContextClass, &spec, 1, &index);
    // The types that the probes' stack map frames name: the call stack's
    // array and the catch-all handler's exception.
    JCRAddClassRef(jclass, "[I");
    JCRAddClassRef(jclass, "java/lang/Throwable");
    return jclass->constant_pool_count != before;
}

}  // namespace

void ZVHandleClassLoadHook(JVMPI_Event *event) {
    auto &hook = event->u.class_load_hook;
    JCRClass *jclass = hook.class_data != nullptr && hook.class_data_len > 0
                           ? JCRParseClass(hook.class_data, hook.class_data_len)
                           : nullptr;
    if (jclass == nullptr) {
        handBackUnchanged(event);
        return;
    }
    int changed = PRIAdjustJUnitClassLoader(jclass) != 0;
    checkBootClassPath();
    changed |= runExtensionHooks(jclass, -1);
    // Instrumented code calls the context class, which the VM cannot load
    // from the boot class path append while it starts: classes loaded then
    // get only the rewrites that call nothing at once.
    bool onlyConstants = false;
    if (JvmpiBootAppendLoadable()) {
        changed |= PRIInstrumentClass(jclass, event->env_id, CurrentOptions().njplSupport) != 0;
    } else {
        changed |= PRIPreInstrumentClass(jclass) != 0;
        // A class with no method to instrument keeps its first version.
        if (!PRIMayInstrument(jclass)) JvmpiNoSecondOffer();
        else onlyConstants = changed == 0 && !JvmpiVerifiesHookedBootClasses() && addProbeConstants(jclass);
    }
    if (runExtensionHooks(jclass, 1) != 0) {
        changed = 1;
        onlyConstants = false;
    }
    // A rewrite made now is made again when the class is redefined, from the
    // bytes offered now; added constants are kept instead (see above).
    if (onlyConstants) {
        changed = 1;
        JvmpiRedefineFromHandedBackBytes();
    }
    if (changed == 0 || !writeBack(event, jclass)) {
        handBackUnchanged(event);
    } else if (CurrentOptions().dumpClassInstrumentation) {
        JCRArchiveClass(jclass, dumpDirectory().c_str());
    }
    JCRFreeClass(jclass);
}

