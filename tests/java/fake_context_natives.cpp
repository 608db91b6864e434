// Stand-in for the agent's context natives, so that the Java side's
// agent-bound paths (context caching, array refresh, notifications) can be
// tested in a plain JVM. Each thread's cached context lives in a thread_local.
#include <jni.h>

#include <atomic>
#include <mutex>
#include <string>

namespace {

thread_local jobject cachedContext = nullptr;  // global reference, like the agent's slot 1
thread_local int initState = 0;                // like the agent's slot 8

std::mutex logMutex;
std::string eventLog;

void record(const std::string &line) {
    std::lock_guard<std::mutex> lock(logMutex);
    eventLog += line;
    eventLog += '\n';
}

jobject JNICALL getContext0(JNIEnv *env, jclass type) {
    if (cachedContext != nullptr) return env->NewLocalRef(cachedContext);
    jmethodID create = env->GetStaticMethodID(type, "getCurrentContext", "()Lmeridyn/audit/profiler/ZVContext;");
    if (create == nullptr) return nullptr;
    return env->CallStaticObjectMethod(type, create);
}

void JNICALL storeContext0(JNIEnv *env, jclass, jobject context) {
    if (context == nullptr) return;
    if (cachedContext != nullptr) env->DeleteGlobalRef(cachedContext);
    cachedContext = env->NewGlobalRef(context);
    record(initState == 1 ? "store during init" : "store");
}

void JNICALL initStarted0(JNIEnv *, jclass) { initState = 1; }
void JNICALL initEnded0(JNIEnv *, jclass) { initState = 2; }

void JNICALL entered(JNIEnv *, jclass, jlong t, jint a, jint b, jint c) {
    record("enter " + std::to_string(t) + " " + std::to_string(a) + " " + std::to_string(b) + " " + std::to_string(c));
}
void JNICALL exited(JNIEnv *, jclass, jlong t) { record("exit " + std::to_string(t)); }
void JNICALL enterWillExit(JNIEnv *, jclass, jlong t, jint a, jint b, jint c) {
    record("quick " + std::to_string(t) + " " + std::to_string(a) + " " + std::to_string(b) + " " + std::to_string(c));
}

jint JNICALL createMarker(JNIEnv *, jclass, jstring, jint) { return static_cast<jint>(0xC0000001u); }
std::atomic<jlong> ticks{0};
jlong JNICALL time0(JNIEnv *, jclass) { return ++ticks; }

char *text(const char *s) { return const_cast<char *>(s); }

}  // namespace

extern "C" JNIEXPORT jint JNICALL Java_javaside_FakeAgent_bind(JNIEnv *env, jclass, jclass context, jclass time) {
    const char *ctx = "Lmeridyn/audit/profiler/ZVContext;";
    std::string get = std::string("()") + ctx;
    std::string store = std::string("(") + ctx + ")V";
    JNINativeMethod methods[] = {
        {text("getContext0"), text(get.c_str()), reinterpret_cast<void *>(getContext0)},
        {text("initStarted0"), text("()V"), reinterpret_cast<void *>(initStarted0)},
        {text("initEnded0"), text("()V"), reinterpret_cast<void *>(initEnded0)},
        {text("notifyMethodEntered"), text("(JIII)V"), reinterpret_cast<void *>(entered)},
        {text("notifyMethodExited"), text("(J)V"), reinterpret_cast<void *>(exited)},
        {text("notifyMethodEnterWillExit"), text("(JIII)V"), reinterpret_cast<void *>(enterWillExit)},
        {text("storeContext0"), text(store.c_str()), reinterpret_cast<void *>(storeContext0)},
        {text("createMarker"), text("(Ljava/lang/String;I)I"), reinterpret_cast<void *>(createMarker)},
    };
    if (env->RegisterNatives(context, methods, sizeof methods / sizeof methods[0]) != 0) return -1;
    JNINativeMethod clock[] = {{text("time0"), text("()J"), reinterpret_cast<void *>(time0)}};
    return env->RegisterNatives(time, clock, 1);
}

extern "C" JNIEXPORT jstring JNICALL Java_javaside_FakeAgent_takeLog(JNIEnv *env, jclass) {
    std::lock_guard<std::mutex> lock(logMutex);
    jstring result = env->NewStringUTF(eventLog.c_str());
    eventLog.clear();
    return result;
}

extern "C" JNIEXPORT jobject JNICALL Java_javaside_FakeAgent_cachedContext(JNIEnv *env, jclass) {
    return cachedContext != nullptr ? env->NewLocalRef(cachedContext) : nullptr;
}
