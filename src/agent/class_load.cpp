// The VM's class-load event: matches the class to the agent's method
// identifiers, passes it to the listeners (or buffers it until a handler
// table exists), and learns the method IDs of the context natives.
#include <cstdio>
#include <cstring>

#include "agent/agent_internal.h"
#include "agent/core.h"
#include "contract/java_contract.h"
#include "config/config.h"
#include "ext/extensions.h"
#include "pri/filters/filters.h"
#include "pri/rewrite/instrument.h"
#include "pri/runtime/runtime.h"
#include "support/heap.h"

namespace {

bool same(const char *a, const char *b) { return a != nullptr && b != nullptr && strcmp(a, b) == 0; }

bool is(const JVMPI_Method &m, const java_contract::JavaMember &member) {
    return same(m.method_name, member.name) && same(m.method_signature, member.descriptor);
}

// The identifiers are learnt on the thread that loads the class and read by
// the compiled-method events, which the VM sends from its service thread.
void learn(jmethodID &slot, jmethodID id) { std::atomic_ref(slot).store(id, std::memory_order_relaxed); }
jmethodID known(jmethodID &slot) { return std::atomic_ref(slot).load(std::memory_order_relaxed); }

// Returns true when the class was one of the two profiler classes.
bool learnContextMethods(const JVMPI_Event *event) {
    ZVContextMethods &learnt = ZVCore().contextMethods;
    namespace jc = java_contract;
    const auto &load = event->u.class_load;
    const JVMPI_Method *methods = load.num_methods > 0 ? load.methods : nullptr;
    int count = methods != nullptr ? load.num_methods : 0;
    if (known(learnt.getContext0) == nullptr && same(load.class_name, jc::kContextClassDotted)) {
        for (int i = 0; i < count; ++i) {
            const JVMPI_Method &m = methods[i];
            if (is(m, jc::kGetContext0)) learn(learnt.getContext0, m.method_id);
            if (is(m, jc::kNotifyMethodEnterWillExit)) learn(learnt.notifyMethodEnterWillExit, m.method_id);
            if (is(m, jc::kNotifyMethodEntered)) learn(learnt.notifyMethodEntered, m.method_id);
            if (is(m, jc::kNotifyMethodExited)) {
                learn(learnt.notifyMethodExited, m.method_id);
            }
        }
        return true;
    }
    if (known(learnt.time0) == nullptr && same(load.class_name, jc::kTimeClassDotted)) {
        for (int i = 0; i < count; ++i) {
            if (is(methods[i], jc::kTime0)) learn(learnt.time0, methods[i].method_id);
        }
        return true;
    }
    return false;
}

}  // namespace

void ZVHandleClassLoad(JVMPI_Event *event) {
    ZVAgentState &state = ZVState();
    const auto &load = event->u.class_load;
    for (int i = 0; i < state.extensionCount; ++i) {
        ZVExtensionRecord *ext = state.extensions[i];
        if (ext != nullptr && ext->classLoaded != nullptr) ext->classLoaded(event);
    }

    // Counts without an array, or below zero, describe nothing.
    auto counted = [](const void *array, jint count) { return array != nullptr && count > 0 ? count : 0; };
    jint methodCount = counted(load.methods, load.num_methods);
    int32_t classID = 0;
    JVMPI_Method *methods = nullptr;
    if (load.class_name != nullptr) {
        methods = PRIMatchLoadedClass(load.class_name, event->env_id, methodCount, load.methods, &classID);
    }
    if (classID != 0) PRIClassKeyPut(reinterpret_cast<ZVWord>(load.class_id), classID);

    ZVWord key = classID != 0 ? classID : reinterpret_cast<ZVWord>(load.class_id);
    if (methods == nullptr) methods = ZVCopyMethods(load.methods, methodCount);
    jint staticCount = counted(load.statics, load.num_static_fields);
    jint instanceCount = counted(load.instances, load.num_instance_fields);
    JVMPI_Field *statics = ZVCopyFields(load.statics, staticCount);
    JVMPI_Field *instances = ZVCopyFields(load.instances, instanceCount);
    char *source = load.source_name != nullptr ? sStrdup(load.source_name) : nullptr;

    // Listeners never see a null class name.
    const char *className = load.class_name != nullptr ? load.class_name : "";
    if (ZVHandlerTable *table = ZVInstalledHandlers()) {
        table->classLoaded(className, key, source, methodCount, methods, staticCount, statics,
                           instanceCount, instances, load.num_interfaces);
    } else {
        ZVBufferClass(className, key, methodCount, methods, source, staticCount, statics,
                      instanceCount, instances, load.num_interfaces);
    }

    if (CurrentOptions().PRIDebugInstrumentation) {
        printf("Loaded class %s\n", className);
    }
    if (state.directIMode != 0) learnContextMethods(event);
}

void ZVHandleCompiledMethodLoad(JVMPI_Event *event) {
    ZVContextMethods &learnt = ZVCore().contextMethods;
    const auto &compiled = event->u.compiled_method_load;
    jmethodID method = compiled.method_id;
    if (method == nullptr || method == known(learnt.getContext0)) return;
    int kind = 0;
    if (method == known(learnt.notifyMethodEnterWillExit)) kind = 1;
    else if (method == known(learnt.notifyMethodEntered)) kind = 2;
    else if (method == known(learnt.notifyMethodExited)) kind = 3;
    else if (method == known(learnt.time0)) kind = 4;
    if (kind != 0) PRIPatchCompiledNative(compiled.code_addr, compiled.code_size, kind);
}

