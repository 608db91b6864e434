// The test extension's inspection of a thread stopped at a known point: the
// thread loading e2e.ExtPoint reports its backtrace with method names, lines
// and group frames, and its context through the services record, and reads
// the metrics, whose thread and class counts are this table's. (Markers
// pushed and popped through the services record are the churn run's.)
#include <atomic>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "extension.h"
#include "metrics/metrics.h"
#include "pri/runtime/runtime.h"
#include "support/elements.h"
#include "support/heap.h"

namespace {

std::mutex gNamesMutex;
std::map<int32_t, std::string> gNames;  // method identifier → Class.method

// Each call returns the next number of its own series, so the samples show
// which calls they came from.
std::atomic<jint> gClassCalls{0}, gThreadCalls{0};
constexpr jint kClassBase = 5000, kActiveBase = 7000, kTotalBase = 8000;
jint classCount() { return kClassBase + ++gClassCalls; }
jint activeThreads() { return kActiveBase + ++gThreadCalls; }
jint totalThreads() { return kTotalBase + gThreadCalls; }

std::string frameText(const PRIBacktraceFrame &frame) {
    const char *group = nullptr;
    if (zviIsGroupID(frame.method, 0, &group)) return "[" + std::string(group != nullptr ? group : "?") + "]";
    std::lock_guard<std::mutex> lock(gNamesMutex);
    auto found = gNames.find(frame.method);
    return (found != gNames.end() ? found->second : "?") + ":" + std::to_string(frame.location);
}

std::string stackText(const PRIBacktrace *backtrace) {
    std::string text;
    for (int i = 0; backtrace != nullptr && i < backtrace->count; ++i) text += " " + frameText(backtrace->frames[i]);
    return text;
}

// The values of a metric's samples (value word `column` of each), oldest first.
std::vector<int32_t> samples(const SEElement *tree, const char *metric, int column) {
    std::vector<int32_t> values;
    const SEElement *map = MetricNamed(tree, metric);
    const SEElement *entries = SEMapGet(map, "entryBuff");
    const SEElement *type = SEMapGet(map, "type");
    if (entries == nullptr || entries->type != SE_INT32_DATA || type == nullptr) return values;
    int words = static_cast<int>(type->value) + 1;
    const auto *data = reinterpret_cast<const int32_t *>(entries->data);
    for (ZVWord at = column; at < entries->value; at += words) values.push_back(data[at]);
    return values;
}

// How many of the last samples are the series' latest answers. The agent
// asks twice per value and keeps the second answer, so the samples step by
// two calls. Calls are counted after the tree was made: the newest sample is
// the last call, or an earlier one when a sample was being taken then.
size_t fromHandler(const std::vector<int32_t> &values, jint base, jint calls) {
    if (values.empty() || values.back() < base + calls - 2 || values.back() > base + calls) return 0;
    size_t run = 1;
    while (run < values.size() && values[values.size() - 1 - run] == values.back() - 2 * static_cast<jint>(run)) ++run;
    return run;
}

std::string metrics() {
    SEElement *tree = serializeMetrics();
    size_t classes = fromHandler(samples(tree, "Class Count", 1), kClassBase, gClassCalls);
    size_t active = fromHandler(samples(tree, "Thread Count", 1), kActiveBase, gThreadCalls);
    size_t total = fromHandler(samples(tree, "Thread Count", 2), kTotalBase, gThreadCalls);
    freeSerializedMetrics(tree);
    return "class counts " + std::to_string(classes) + " of " + std::to_string(gClassCalls) + ", thread counts " +
           std::to_string(active) + " and " + std::to_string(total) + " of " + std::to_string(gThreadCalls);
}

// " threw CLASS" for the pending exception (left pending), or "".
std::string ExceptionName(JNIEnv *env) {
    jthrowable thrown = env->ExceptionOccurred();
    if (thrown == nullptr) return "";
    env->ExceptionClear();
    std::string name = " threw ";
    jclass type = env->GetObjectClass(thrown);
    jclass classClass = env->FindClass("java/lang/Class");
    jmethodID getName = classClass != nullptr ? env->GetMethodID(classClass, "getName", "()Ljava/lang/String;") : nullptr;
    auto text = getName != nullptr ? static_cast<jstring>(env->CallObjectMethod(type, getName)) : nullptr;
    const char *chars = text != nullptr && !env->ExceptionCheck() ? env->GetStringUTFChars(text, nullptr) : nullptr;
    name += chars != nullptr ? chars : "an exception whose class could not be named";
    if (chars != nullptr) env->ReleaseStringUTFChars(text, chars);
    if (env->ExceptionCheck()) env->ExceptionClear();
    env->Throw(thrown);
    return name;
}

}  // namespace

jint CreateMarker(JNIEnv *env, const char *name, jint event, std::string *failure) {
    jclass context = env->FindClass("meridyn/audit/profiler/ZVContext");
    jmethodID create = context != nullptr ? env->GetStaticMethodID(context, "createMarker", "(Ljava/lang/String;I)I")
                                          : nullptr;
    jstring text = create != nullptr ? env->NewStringUTF(name) : nullptr;
    jint id = text != nullptr ? env->CallStaticIntMethod(context, create, text, event) : 0;
    if (failure != nullptr && id == 0) {
        *failure = context == nullptr ? "FindClass" : create == nullptr ? "GetStaticMethodID"
                                                  : text == nullptr  ? "NewStringUTF"
                                                                     : "createMarker";
        *failure += ExceptionName(env);
    }
    if (env->ExceptionCheck()) env->ExceptionClear();
    if (text != nullptr) env->DeleteLocalRef(text);
    if (context != nullptr) env->DeleteLocalRef(context);
    return id;
}

void InspectInstallCounts(ZVHandlerTable *table) {
    table->classCount = classCount;
    table->activeThreadCount = activeThreads;
    table->totalThreadCount = totalThreads;
}

void InspectClassLoaded(const char *className, jint methodCount, const JVMPI_Method *methods) {
    std::lock_guard<std::mutex> lock(gNamesMutex);
    for (jint i = 0; methods != nullptr && i < methodCount; ++i) {
        auto id = static_cast<int32_t>(reinterpret_cast<ZVWord>(methods[i].method_id));
        if (methods[i].method_name != nullptr) gNames[id] = std::string(className) + "." + methods[i].method_name;
    }
}

// Words 23 and 24: the thread's context, handed back, is the one it has.
std::string context(JNIEnv *env, const ZVServices *services) {
    jobject first = reinterpret_cast<jobject (*)(JNIEnv *)>(services->words[23])(env);
    reinterpret_cast<void (*)(JNIEnv *, jobject)>(services->words[24])(env, first);
    bool isContext = first != nullptr && env->IsInstanceOf(first, env->FindClass("meridyn/audit/profiler/ZVContext"));
    bool kept = env->IsSameObject(first, reinterpret_cast<jobject (*)(JNIEnv *)>(services->words[23])(env));
    return std::string(isContext ? "a ZVContext" : "no context") + (kept ? ", kept" : ", changed");
}

void InspectPoint(JNIEnv *env, const ZVServices *services) {
    say("stack" + stackText(zviGetCurrentBacktraceForEnv(env)));
    say("context: " + context(env, services));
    say("metrics: " + metrics());
}
