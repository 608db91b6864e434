// The fake environment's JNI functions and the runtime set-up it stands for.
#include "fake_stack_env.h"

#include <algorithm>
#include <map>

#include "pri/filters/class_tables.h"
#include "pri/runtime/context_runtime.h"
#include "pri/runtime/markers.h"

namespace {

using Context = FakeStackEnv::Context;

jfieldID const kStackPointer = reinterpret_cast<jfieldID>(1);
jfieldID const kCallStack = reinterpret_cast<jfieldID>(2);
jfieldID const kThreadInfo = reinterpret_cast<jfieldID>(3);
jfieldID const kHasRun = reinterpret_cast<jfieldID>(4);

FakeStackEnv *self(JNIEnv *env) { return static_cast<FakeStackEnv *>(env->functions->reserved0); }
Context *context(jobject object) { return reinterpret_cast<Context *>(object); }
std::vector<jint> *array(jarray object) { return reinterpret_cast<std::vector<jint> *>(object); }

std::map<int, ZVWord> gSlots;
ZVWord getSlot(JNIEnv *, int slot) { return gSlots[slot]; }
void setSlot(JNIEnv *, int slot, ZVWord value) { gSlots[slot] = value; }

bool inside(JNIEnv *env, jarray a, jsize start, jsize length) {
    if (start >= 0 && length >= 0 && static_cast<size_t>(start) + length <= array(a)->size()) return true;
    ++self(env)->exceptions;
    return false;
}

jint JNICALL getIntField(JNIEnv *, jobject object, jfieldID field) {
    return field == kStackPointer ? context(object)->stackPointer
           : field == kHasRun     ? context(object)->hasRunCounter
                                  : 0;
}
void JNICALL setIntField(JNIEnv *, jobject object, jfieldID field, jint value) {
    if (field == kStackPointer) context(object)->stackPointer = value;
    if (field == kHasRun) context(object)->hasRunCounter = value;
}
void JNICALL getIntArrayRegion(JNIEnv *env, jintArray a, jsize start, jsize length, jint *out) {
    if (inside(env, a, start, length)) std::copy_n(array(a)->begin() + start, length, out);
}
void JNICALL setIntArrayRegion(JNIEnv *env, jintArray a, jsize start, jsize length, const jint *in) {
    if (inside(env, a, start, length)) std::copy_n(in, length, array(a)->begin() + start);
}

}  // namespace

FakeStackEnv::FakeStackEnv(int room) : stack_(static_cast<size_t>(room), 0) {
    JNINativeInterface_ &f = functions_;
    f.reserved0 = this;
    f.GetIntField = getIntField;
    f.SetIntField = setIntField;
    f.SetLongField = [](JNIEnv *, jobject, jfieldID, jlong) {};
    f.GetObjectField = [](JNIEnv *, jobject object, jfieldID field) {
        return field == kCallStack ? reinterpret_cast<jobject>(::context(object)->stack) : nullptr;
    };
    f.IsSameObject = [](JNIEnv *, jobject a, jobject b) { return static_cast<jboolean>(a == b); };
    f.GetArrayLength = [](JNIEnv *, jarray a) { return static_cast<jsize>(array(a)->size()); };
    f.GetPrimitiveArrayCritical = [](JNIEnv *, jarray a, jboolean *) -> void * { return array(a)->data(); };
    f.ReleasePrimitiveArrayCritical = [](JNIEnv *, jarray, void *, jint) {};
    f.GetIntArrayRegion = getIntArrayRegion;
    f.SetIntArrayRegion = setIntArrayRegion;
    f.ExceptionCheck = [](JNIEnv *) { return jboolean{JNI_FALSE}; };
    f.ExceptionClear = f.ExceptionDescribe = [](JNIEnv *) {};
    f.NewGlobalRef = f.NewLocalRef = [](JNIEnv *, jobject object) { return object; };
    f.DeleteGlobalRef = f.DeleteLocalRef = [](JNIEnv *, jobject) {};
    env_.functions = &functions_;

    PRICreateMarkerTables();
    PRICreateClassTables();
    PRIRuntime &rt = PRIState();
    rt.initialized = true;
    rt.stackPointerField = kStackPointer;
    rt.callStackField = kCallStack;
    rt.threadInfoField = kThreadInfo;
    rt.hasRunCounterField = kHasRun;
    if (rt.deferredReleases == nullptr) rt.deferredReleases = ZVNewVector(10);
    PRIUseThreadStorage(getSlot, setSlot);
    gSlots.clear();
    context_ = Context{0, &stack_, 0};
    gSlots[PRI_SLOT_CONTEXT] = reinterpret_cast<ZVWord>(&context_);
    gSlots[PRI_SLOT_CALLSTACK] = reinterpret_cast<ZVWord>(&stack_);
}

FakeStackEnv::~FakeStackEnv() {
    PRIThreadEnded(&env_);
    PRIReleaseDeferredReferences(&env_);
    gSlots.clear();
}

void FakeStackEnv::push(int32_t location, int32_t method) {
    int sp = context_.stackPointer + 2;
    stack_[static_cast<size_t>(sp)] = location;
    stack_[static_cast<size_t>(sp) + 1] = method;
    context_.stackPointer = sp;
}

void FakeStackEnv::forgetContext() {
    gSlots[PRI_SLOT_CONTEXT] = 0;
    gSlots[PRI_SLOT_CALLSTACK] = 0;
}
