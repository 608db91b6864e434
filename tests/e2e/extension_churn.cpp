// The churn run's natives (class e2e.Churn, which loads this library again
// with System.load): each short-lived thread reads its own backtrace and
// pushes and pops a marker; the program reads the process's heap in use and
// the number of threads the agent has registered.
#include <dlfcn.h>
#include <jni.h>
#include <malloc.h>

#include <atomic>
#include <mutex>
#include <string>

#include "extension.h"
#include "pri/runtime/runtime.h"

namespace {

// The markers' event, whose stack name is registered once.
constexpr jint kEvent = 5;
std::once_flag gStackName;
// The identifier each marker name got first: every thread must get the same.
std::atomic<jint> gMarkerIDs[8];

// ZVContext.createMarker(name, event): the marker's identifier, 0 when refused;
// then failure names the call that failed (its exception goes to standard error).
jint CreateMarker(JNIEnv *env, const char *name, jint event, std::string &failure) {
    jclass context = env->FindClass("meridyn/audit/profiler/ZVContext");
    jmethodID create = context != nullptr ? env->GetStaticMethodID(context, "createMarker", "(Ljava/lang/String;I)I")
                                          : nullptr;
    jstring text = create != nullptr ? env->NewStringUTF(name) : nullptr;
    jint id = text != nullptr ? env->CallStaticIntMethod(context, create, text, event) : 0;
    if (id == 0) {
        failure = context == nullptr ? "FindClass" : create == nullptr ? "GetStaticMethodID"
                                                 : text == nullptr  ? "NewStringUTF"
                                                                    : "createMarker";
        if (env->ExceptionCheck()) {
            failure += ", which threw (described on standard error)";
            env->ExceptionDescribe();
        }
    }
    if (env->ExceptionCheck()) env->ExceptionClear();
    if (text != nullptr) env->DeleteLocalRef(text);
    if (context != nullptr) env->DeleteLocalRef(context);
    return id;
}

int frames(JNIEnv *env) {
    PRIBacktrace *trace = zviGetCurrentBacktraceForEnv(env);
    return trace != nullptr ? trace->count : -1;
}

std::string pushAndPop(JNIEnv *env, int marker, int before) {
    const ZVServices *services = ExtensionServices();
    if (services == nullptr) return "no services record";
    std::call_once(gStackName, [services] {
        reinterpret_cast<void (*)(int32_t, const char *)>(services->words[22])(kEvent, "churn");
    });
    std::string name = "churn " + std::to_string(marker & 7);
    std::string failure;
    jint id = CreateMarker(env, name.c_str(), kEvent, failure);
    jint expected = 0;
    if (id == 0) return "marker " + name + " refused (" + failure + ")";
    if (!gMarkerIDs[marker & 7].compare_exchange_strong(expected, id) && expected != id)
        return "marker " + name + " has identifiers " + std::to_string(expected) + " and " + std::to_string(id);
    auto push = reinterpret_cast<int32_t (*)(JNIEnv *, int32_t, int32_t)>(services->words[14]);
    auto pop = reinterpret_cast<void (*)(JNIEnv *)>(services->words[15]);
    int32_t pushed = push(env, id & 0x3FFFFFFF, 7);
    // A stack whose array is full has no room for it (the Java side grows it).
    if (pushed == 0) return frames(env) == before ? "refused" : "refused, yet the stack changed";
    PRIBacktrace *with = zviGetCurrentBacktraceForEnv(env);
    bool onTop = with != nullptr && with->count == before + 1 && with->frames[0].method == pushed &&
                 with->frames[0].location == 7;
    pop(env);
    int after = frames(env);
    if (!onTop) return "pushed marker not on top";
    return after == before ? "" : "pop left " + std::to_string(after) + " frames of " + std::to_string(before);
}

}  // namespace

extern "C" JNIEXPORT jstring JNICALL Java_e2e_Churn_inspect(JNIEnv *env, jclass, jint minimumFrames, jint marker) {
    int before = frames(env);
    std::string wrong = before < minimumFrames ? "backtrace of " + std::to_string(before) + " frames, expected " +
                                                     std::to_string(minimumFrames) + " or more"
                                               : pushAndPop(env, marker, before);
    return env->NewStringUTF(wrong.c_str());
}

// A sanitizer's allocator keeps its own count; glibc's arenas otherwise.
extern "C" JNIEXPORT jlongArray JNICALL Java_e2e_Churn_memory(JNIEnv *env, jclass) {
    using Counter = size_t (*)();
    auto sanitizer = reinterpret_cast<Counter>(dlsym(RTLD_DEFAULT, "__sanitizer_get_current_allocated_bytes"));
    struct mallinfo2 info = mallinfo2();
    jlong values[2] = {static_cast<jlong>(sanitizer != nullptr ? sanitizer() : info.uordblks + info.hblkhd), 0};
    zviDataLock();
    for (JNIEnv **at = zviGetActiveThreads(); at != nullptr && *at != nullptr; ++at) ++values[1];
    zviDataUnlock();
    jlongArray result = env->NewLongArray(2);
    if (result != nullptr) env->SetLongArrayRegion(result, 0, 2, values);
    return result;
}
