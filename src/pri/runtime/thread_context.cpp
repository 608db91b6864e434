// Each thread's context: the global references the runtime caches in the
// thread's storage, the slow path that asks the Java side for a context, and
// their release at thread end (deferred to another thread's next call).
//
// Other threads (the sampler) read a thread's context slot too. Every change
// of a slot that drops a reference, and every deletion of one, happens under
// the runtime's reference mutex; a reader holds it, and the registry's lock,
// from the slot's read until it has a reference of its own (see
// PRINewContextReference).
#include <cstdint>

#include "platform/local_ref.h"
#include "platform/tls.h"
#include "pri/runtime/context_runtime.h"
#include "support/heap.h"

namespace {

jobject slotObject(JNIEnv *env, int slot) { return reinterpret_cast<jobject>(PRIGetSlot(env, slot)); }

void deferRelease(jobject reference) {
    PRIRuntime &rt = PRIState();
    MutexGuard guard(rt.deferredMutex);
    ZVAddElement(rt.deferredReleases, reinterpret_cast<ZVWord>(reference));
}

void writeThreadInfo(JNIEnv *env, jobject context, ZVWord handle) {
    if (PRIState().threadInfoField == nullptr) return;
    env->SetLongField(context, PRIState().threadInfoField,
                      static_cast<jlong>(static_cast<uint32_t>(handle)));
}

// Caches the context and its array in slots 1 and 2 and the thread slot.
// The references the slots held before are released: the thread owns them,
// and a context that grows its array comes back here every time.
void cacheContext(JNIEnv *env, jobject contextGlobal, jobject stackGlobal) {
    {
        MutexGuard guard(PRIState().deferredMutex);
        jobject oldContext = slotObject(env, PRI_SLOT_CONTEXT);
        jobject oldStack = slotObject(env, PRI_SLOT_CALLSTACK);
        PRISetSlot(env, PRI_SLOT_CALLSTACK, reinterpret_cast<ZVWord>(stackGlobal));
        PRISetSlot(env, PRI_SLOT_CONTEXT, reinterpret_cast<ZVWord>(contextGlobal));
        if (oldContext != nullptr) env->DeleteGlobalRef(oldContext);
        if (oldStack != nullptr) env->DeleteGlobalRef(oldStack);
    }
    writeThreadInfo(env, contextGlobal, PRIGetSlot(env, PRI_SLOT_THREAD));
    SetThreadSlotValue(PRIState().tlsSlot, contextGlobal);
}

}  // namespace

void PRIReleaseDeferredReferences(JNIEnv *env) {
    PRIRuntime &rt = PRIState();
    if (rt.deferredReleases == nullptr) return;
    // The list's size is read under the mutex too: the threads that end add
    // to it meanwhile. The callers are slow paths (a thread's first context,
    // a grown array), so the lock costs nothing that matters.
    MutexGuard guard(rt.deferredMutex);
    for (int i = ZVVectorSize(rt.deferredReleases) - 1; i >= 0; --i) {
        auto reference = reinterpret_cast<jobject>(ZVElementAt(rt.deferredReleases, i));
        if (reference != nullptr) env->DeleteGlobalRef(reference);
    }
    ZVRemoveAllElements(rt.deferredReleases);
}

jobject PRIGetContext(JNIEnv *env) {
    PRIRuntime &rt = PRIState();
    jobject cached = slotObject(env, PRI_SLOT_CONTEXT);
    PRIClearException(env);
    if (cached != nullptr) return env->NewLocalRef(cached);
    PRIReleaseDeferredReferences(env);
    env->ExceptionClear();
    if (rt.contextClass == nullptr || rt.getCurrentContext == nullptr) return nullptr;
    jobject context = env->CallStaticObjectMethod(rt.contextClass, rt.getCurrentContext);
    PRIClearException(env);
    // After the bootstrap the Java side hands its context to storeContext0.
    if (rt.bootstrapDone || context == nullptr) return context;
    LocalRef stack(env, env->GetObjectField(context, rt.callStackField));
    PRIClearException(env);
    if (!stack) return context;
    cacheContext(env, env->NewGlobalRef(context), env->NewGlobalRef(stack));
    return context;
}

void PRIStoreContext(JNIEnv *env, jobject context) {
    PRIRuntime &rt = PRIState();
    PRIReleaseDeferredReferences(env);
    if (context == nullptr || rt.callStackField == nullptr) return;
    LocalRef stack(env, env->GetObjectField(context, rt.callStackField));
    PRIClearException(env);
    if (!stack) return;
    cacheContext(env, env->NewGlobalRef(context), env->NewGlobalRef(stack));
}

jobject PRIPrepareThreadContext(JNIEnv *env) { return PRIGetContext(env); }
void PRIStoreThreadContext(JNIEnv *env, jobject context) { PRIStoreContext(env, context); }

// The slot is the given thread's; the field is written with the calling
// thread's environment. A caller that is not attached cannot write it, and
// that is no reason to end the process: the next cacheContext writes it.
void PRISetThreadInfo(JNIEnv *threadEnv, ZVWord handle) {
    jobject context = slotObject(threadEnv, PRI_SLOT_CONTEXT);
    JavaVM *vm = PRIState().vm;
    JNIEnv *env = nullptr;
    if (context == nullptr || vm == nullptr ||
        vm->GetEnv(reinterpret_cast<void **>(&env), JNI_VERSION_1_2) != JNI_OK) {
        return;
    }
    writeThreadInfo(env, context, handle);
}

int PRINotInClassInit(JNIEnv *env) { return PRIGetSlot(env, PRI_SLOT_INIT_STATE) != 1 ? 1 : 0; }

jobject PRINewContextReference(JNIEnv *caller, JNIEnv *thread) {
    const PRIAgentQueries &agent = PRIState().agent;
    if (agent.lockThreads != nullptr) agent.lockThreads();
    jobject reference = nullptr;
    if (agent.isValidEnv == nullptr || agent.isValidEnv(thread) != 0) {
        MutexGuard guard(PRIState().deferredMutex);
        jobject context = slotObject(thread, PRI_SLOT_CONTEXT);
        if (context != nullptr) reference = caller->NewGlobalRef(context);
    }
    if (agent.unlockThreads != nullptr) agent.unlockThreads();
    return reference;
}

void PRIThreadEnded(JNIEnv *env) {
    PRIRuntime &rt = PRIState();
    jobject context = slotObject(env, PRI_SLOT_CONTEXT);
    if (context != nullptr) {
        if (rt.bootstrapDone && !std::atomic_ref(rt.vmExiting).load(std::memory_order_relaxed) &&
            rt.removeContext != nullptr) {
            env->CallStaticVoidMethod(rt.contextClass, rt.removeContext, context);
            PRIClearException(env);
        }
        MutexGuard guard(rt.deferredMutex);
        deferRelease(context);
        PRISetSlot(env, PRI_SLOT_CONTEXT, 0);
        deferRelease(slotObject(env, PRI_SLOT_CALLSTACK));
        PRISetSlot(env, PRI_SLOT_CALLSTACK, 0);
        SetThreadSlotValue(rt.tlsSlot, nullptr);
    }
    void *workspace = reinterpret_cast<void *>(PRIGetSlot(env, PRI_SLOT_WORKSPACE));
    if (workspace != nullptr) {
        sFree(workspace);
        PRISetSlot(env, PRI_SLOT_WORKSPACE, 0);
    }
}
