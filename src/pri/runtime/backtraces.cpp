// Reading a thread's call stack into backtraces and method buffers, and
// pushing and popping marker frames on it. Only the calling thread's context
// and buffers are touched.
#include "pri/runtime/runtime.h"

#include <algorithm>
#include <cstring>

#include "contract/java_contract.h"
#include "platform/local_ref.h"
#include "pri/runtime/context_runtime.h"
#include "pri/rewrite/instrument.h"
#include "support/heap.h"

namespace {

constexpr int kSpareFrames = 10;

// The per-thread results of the two readers that hand out a record of their
// own; each thread reuses its own, released when the thread ends.
struct SharedBacktraces {
    PRIBacktrace *current = nullptr;
    PRIBacktrace *converted = nullptr;
    ~SharedBacktraces() {
        PRIFreeBacktrace(current);
        PRIFreeBacktrace(converted);
    }
};
thread_local SharedBacktraces tShared;

PRIBacktrace *sharedRecord(PRIBacktrace *&record) {
    if (record == nullptr) record = PRINewBacktrace(kPRIMaxBacktraceFrames);
    return record;
}

jint *copyBuffer(JNIEnv *env) {
    auto *buffer = reinterpret_cast<jint *>(PRIGetSlot(env, PRI_SLOT_WORKSPACE));
    if (buffer == nullptr) {
        buffer = static_cast<jint *>(sMalloc(kPRICopyBufferBytes));
        if (buffer != nullptr) PRISetSlot(env, PRI_SLOT_WORKSPACE, reinterpret_cast<ZVWord>(buffer));
    }
    return buffer;
}

struct ThreadStack {
    jobject context;    // the thread's global reference (slot 1)
    jintArray stack;    // the thread's global reference (slot 2)
};

// The thread's cached context; a thread without one asks java/lang/Thread
// for it (when the rewritten Thread carries the field) and caches it.
bool threadStack(JNIEnv *env, ThreadStack *out) {
    PRIRuntime &rt = PRIState();
    if (rt.stackPointerField == nullptr || rt.callStackField == nullptr) return false;
    auto cached = [&] {
        out->context = reinterpret_cast<jobject>(PRIGetSlot(env, PRI_SLOT_CONTEXT));
        out->stack = reinterpret_cast<jintArray>(PRIGetSlot(env, PRI_SLOT_CALLSTACK));
        return out->context != nullptr && out->stack != nullptr;
    };
    if (cached()) {
        // The Java side swaps arrays as the stack grows past its array and
        // shrinks back without telling the agent (a native call at every
        // crossing made deep call chains slow): the cached array is renewed
        // here when it is no longer the context's.
        LocalRef current(env, env->GetObjectField(out->context, rt.callStackField));
        if (PRIClearException(env) || !current) return false;
        if (env->IsSameObject(current, out->stack)) return true;
        PRIStoreContext(env, out->context);
        return cached();
    }
    if (out->context != nullptr) return false;
    if (!PRISettings().vm.asksThreadForContext || !rt.threadHasContextField || rt.threadClass == nullptr ||
        (rt.agent.isAuditThread != nullptr && rt.agent.isAuditThread(env) != 0)) {
        return false;
    }
    if (rt.threadGetContext == nullptr) {
        const java_contract::JavaMember &getter = java_contract::kThreadGetContext;
        rt.threadGetContext = env->GetStaticMethodID(rt.threadClass, getter.name, getter.descriptor);
        if (rt.threadGetContext == nullptr) {
            PRIClearException(env);
            return false;
        }
    }
    LocalRef context(env, env->CallStaticObjectMethod(rt.threadClass, rt.threadGetContext));
    if (PRIClearException(env) || !context) return false;
    PRIStoreContext(env, context);
    return cached();
}

// Emits the window's frames from the top down; frames of one group on top
// of each other become one group frame at location 0.
template <typename Emit>
int walkWindow(const jint *window, int frames, Emit emit) {
    int emitted = 0;
    bool inGroup = false;
    uint32_t lastGroup = 0;
    for (int frame = frames - 1; frame >= 0; --frame) {
        int32_t location = window[2 * frame];
        auto id = static_cast<uint32_t>(window[2 * frame + 1]);
        if (!PRIIsGroupMethodID(id)) {
            emit(emitted++, location, static_cast<int32_t>(id));
            inGroup = false;
        } else if (!inGroup || id != lastGroup) {
            emit(emitted++, 0, static_cast<int32_t>(id));
            inGroup = true;
            lastGroup = id;
        }
    }
    return emitted;
}

// The thread's call stack up to the given stack length (its stackPointer
// unless useLength), at most max frames. room(frames) is asked for the
// window's frame count before anything is emitted and may refuse. Returns
// the count emitted.
template <typename Room, typename Emit>
int readStack(JNIEnv *env, bool useLength, int length, int max, PRIBacktraceWorkspace *workspace, Room room,
              Emit emit) {
    PRIRuntime &rt = PRIState();
    ThreadStack ts{};
    if (env == nullptr || !threadStack(env, &ts)) return 0;
    PRIReleaseDeferredReferences(env);
    int top = useLength ? length : env->GetIntField(ts.context, rt.stackPointerField);
    jint *buffer = copyBuffer(env);
    if (workspace != nullptr) {
        workspace->context = ts.context;
        workspace->callStack = ts.stack;
        workspace->copyBuffer = buffer;
    }
    // The stack's length and the array can disagree (a length handed in, an
    // array swapped by the Java side): only frames inside the array count.
    jsize size = env->GetArrayLength(ts.stack);
    if (top < 0 || size < 4) return 0;
    top = std::min(top, (size - 2) & ~1);
    int frames = std::min(top / 2, std::clamp(max, 0, kPRIMaxBacktraceFrames));
    int start = top - 2 * frames + 2;
    if (frames == 0 || !room(frames)) return 0;
    if (PRISettings().vm.greenThreads) {
        auto *ints = static_cast<jint *>(env->GetPrimitiveArrayCritical(ts.stack, nullptr));
        if (ints == nullptr) {
            PRIClearException(env);
            return 0;
        }
        int count = walkWindow(ints + start, frames, emit);
        env->ReleasePrimitiveArrayCritical(ts.stack, ints, JNI_ABORT);
        return count;
    }
    if (buffer == nullptr) return 0;
    env->GetIntArrayRegion(ts.stack, start, 2 * frames, buffer);
    if (PRIClearException(env)) return 0;
    return walkWindow(buffer, frames, emit);
}

// Reads into the workspace's backtrace, replacing it by a bigger one (with
// spare frames) when the window does not fit.
PRIBacktrace *readIntoWorkspace(JNIEnv *env, PRIBacktraceWorkspace *workspace, bool useLength, int length) {
    if (!PRIState().initialized || workspace == nullptr) return nullptr;
    auto room = [workspace](int frames) {
        PRIBacktrace *backtrace = workspace->backtrace;
        if (backtrace != nullptr && backtrace->capacity >= frames) return true;
        PRIBacktrace *bigger = PRINewBacktrace(frames + kSpareFrames);
        if (bigger == nullptr) return false;
        if (!PRIIsSharedBacktrace(backtrace)) PRIFreeBacktrace(backtrace);
        workspace->backtrace = bigger;
        return true;
    };
    auto emit = [workspace](int i, int32_t location, int32_t method) {
        workspace->backtrace->frames[i] = PRIBacktraceFrame{location, method, 0};
    };
    int count = readStack(env, useLength, length, kPRIMaxBacktraceFrames, workspace, room, emit);
    if (workspace->backtrace == nullptr) workspace->backtrace = PRINewBacktrace(kSpareFrames);
    if (workspace->backtrace != nullptr) workspace->backtrace->count = count;
    return workspace->backtrace;
}

// Writes a marker frame above the top of the stack; the stack length before
// it through outTop. False when the array has no room for it: the Java side
// alone grows the array, so the marker is then not pushed.
bool pushFrame(JNIEnv *env, jobject context, jintArray stack, uint32_t id, int32_t location, int *outTop) {
    PRIRuntime &rt = PRIState();
    int top = env->GetIntField(context, rt.stackPointerField);
    if (top < 0 || top + 3 >= env->GetArrayLength(stack)) return false;
    jint frame[2] = {location, static_cast<jint>(id)};
    env->SetIntArrayRegion(stack, top + 2, 2, frame);
    if (PRIClearException(env)) return false;
    env->SetIntField(context, rt.stackPointerField, top + 2);
    *outTop = top;
    return true;
}

void notifyPushed(JNIEnv *env, jintArray stack, int top, int32_t location, uint32_t id) {
    PRIRuntime &rt = PRIState();
    if (!rt.notificationsOn || rt.enteredHook == nullptr) return;
    jint below = 0;
    env->GetIntArrayRegion(stack, top, 1, &below);
    PRIClearException(env);
    int32_t arguments[3] = {location, below, static_cast<int32_t>(id)};
    rt.enteredHook(env, 0, arguments);
}

}  // namespace

PRIBacktrace *PRINewBacktrace(int capacity) {
    capacity = std::max(capacity, 0);
    auto *backtrace = static_cast<PRIBacktrace *>(sMalloc(sizeof(PRIBacktrace)));
    auto *frames = static_cast<PRIBacktraceFrame *>(
        sMalloc(static_cast<int>(sizeof(PRIBacktraceFrame)) * std::max(capacity, 1)));
    if (backtrace == nullptr || frames == nullptr) {
        sFree(backtrace);
        sFree(frames);
        return nullptr;
    }
    memset(frames, 0, sizeof(PRIBacktraceFrame) * static_cast<size_t>(std::max(capacity, 1)));
    *backtrace = PRIBacktrace{0, capacity, frames};
    return backtrace;
}

void PRIFreeBacktrace(PRIBacktrace *backtrace) {
    if (backtrace == nullptr) return;
    sFree(backtrace->frames);
    sFree(backtrace);
}

bool PRIIsSharedBacktrace(const PRIBacktrace *backtrace) {
    return backtrace != nullptr && (backtrace == tShared.current || backtrace == tShared.converted);
}

PRIBacktrace *PRISharedConvertedBacktrace() { return sharedRecord(tShared.converted); }

int zviGetCurrentMethodForEnvIn(JNIEnv *env, PRIMethodBuffer *buffer, int max) {
    if (buffer == nullptr) return 0;
    max = std::min(max, buffer->capacity);
    auto emit = [buffer](int i, int32_t location, int32_t method) {
        buffer->entries[i] = PRIMethodEntry{location, method};
    };
    buffer->count = readStack(env, false, 0, max, nullptr, [](int) { return true; }, emit);
    return buffer->count;
}

PRIBacktrace *zviGetCurrentBacktraceForEnv(JNIEnv *env) {
    PRIRuntime &rt = PRIState();
    PRIBacktrace *backtrace = rt.initialized ? sharedRecord(tShared.current) : nullptr;
    if (backtrace == nullptr) return nullptr;
    backtrace->count = 0;
    // The memory profiler asks from allocation events, which also come from
    // the Java side's own initialisation and from threads the agent does not know.
    if (rt.agent.memoryProfilerEnabled != nullptr && rt.agent.memoryProfilerEnabled() != 0 &&
        (PRINotInClassInit(env) == 0 || (rt.agent.isValidEnv != nullptr && rt.agent.isValidEnv(env) == 0))) {
        return backtrace;
    }
    auto emit = [backtrace](int i, int32_t location, int32_t method) {
        backtrace->frames[i] = PRIBacktraceFrame{location, method, 0};
    };
    backtrace->count =
        readStack(env, false, 0, kPRIMaxBacktraceFrames, nullptr, [](int) { return true; }, emit);
    return backtrace;
}

PRIBacktrace *zviGetStackTraceForEnvWithLength(JNIEnv *env, PRIBacktraceWorkspace *workspace, int length) {
    return readIntoWorkspace(env, workspace, true, length);
}

PRIBacktrace *zviGetCurrentBacktraceForEnvUsingBacktrace(JNIEnv *env, PRIBacktraceWorkspace *workspace) {
    return readIntoWorkspace(env, workspace, false, 0);
}

PRIBacktrace *zviGetBacktraceUsingBacktracePushMarker(JNIEnv *env, PRIBacktraceWorkspace *workspace,
                                                      int32_t markerNumber, int32_t location) {
    if (!PRIState().initialized || workspace == nullptr || env == nullptr) return nullptr;
    uint32_t id = static_cast<uint32_t>(markerNumber) | kPRIMarkerBits;
    ThreadStack ts{};
    int top = 0;
    if (!threadStack(env, &ts) || !pushFrame(env, ts.context, ts.stack, id, location, &top)) {
        return readIntoWorkspace(env, workspace, false, 0);
    }
    PRIBacktrace *backtrace = readIntoWorkspace(env, workspace, true, top + 2);
    notifyPushed(env, ts.stack, top, location, id);
    return backtrace;
}

void zviInitBacktraceWorkspace(JNIEnv *, PRIBacktraceWorkspace *workspace) {
    if (workspace == nullptr) return;
    workspace->context = nullptr;
    workspace->callStack = nullptr;
    workspace->copyBuffer = nullptr;
    workspace->reserved = 0;
}

void zviClearBacktraceWorkspace(JNIEnv *, PRIBacktraceWorkspace *) {}

int32_t PRIPushMarker(JNIEnv *env, int32_t markerNumber, int32_t location) {
    PRIRuntime &rt = PRIState();
    if (!rt.initialized || env == nullptr || rt.callStackField == nullptr) return 0;
    uint32_t id = static_cast<uint32_t>(markerNumber) | kPRIMarkerBits;
    LocalRef context(env, PRIGetContext(env));
    if (!context) return 0;
    LocalRef stack(env, static_cast<jintArray>(env->GetObjectField(context, rt.callStackField)));
    int top = 0;
    bool pushed = stack && pushFrame(env, context, stack, id, location, &top);
    if (pushed) notifyPushed(env, stack, top, location, id);
    return pushed ? static_cast<int32_t>(id) : 0;
}

// Pops only a marker frame: a push that found no room left a method frame
// on top, and that frame is not the marker's to remove.
void PRIPopMarker(JNIEnv *env) {
    PRIRuntime &rt = PRIState();
    if (!rt.initialized || env == nullptr || rt.callStackField == nullptr) return;
    LocalRef context(env, PRIGetContext(env));
    if (!context) return;
    LocalRef stack(env, static_cast<jintArray>(env->GetObjectField(context, rt.callStackField)));
    int top = env->GetIntField(context, rt.stackPointerField);
    jint id = 0;
    if (stack && top >= 2 && top + 1 < env->GetArrayLength(stack)) {
        env->GetIntArrayRegion(stack, top + 1, 1, &id);
    }
    if (!PRIClearException(env) && PRIIsMarkerID(static_cast<uint32_t>(id))) {
        if (rt.notificationsOn && rt.exitedHook != nullptr) rt.exitedHook(env, 0);
        env->SetIntField(context, rt.stackPointerField, top - 2);
    }
}
