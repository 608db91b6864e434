// The test library's JNI side of e2e.Probe and e2e.MemoryUse: a handler table
// installed through the agent's exports (by Probe.install, or by the memory
// runs' extension) that records threads, class loads with their methods and
// shapes (for extension_memory.cpp's heap dump reader), events (a watched
// class's allocations and frees among them) and the counts the metrics ask
// for; the natives answer from what it recorded.
#include <jni.h>

#include <time.h>

#include <atomic>
#include <initializer_list>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "agent/agent.h"
#include "extension.h"
#include "pri/runtime/runtime.h"
#include "metrics/metrics_internal.h"
#include "support/elements.h"
#include "support/heap.h"

namespace {

struct ClassSeen {
    std::string source;
    int methods, mainLine, interfaces;
    int referenceStatics;  // the only static values of a level-1 dump
    ZVWord key;
};

std::mutex gMutex;
std::map<std::string, ClassSeen> gClasses;
std::map<ZVWord, std::string> gClassNames;  // by class key (class ID for classes without one)
std::map<int32_t, std::string> gMethods;  // method identifier → Class.method
std::vector<std::string> gStarted;
std::vector<std::string> gEnded;
ZVSampleRecord gSample{};  // the thread that Probe.sampleMe named
std::atomic<int> gDumpRequests{0};
std::atomic<JNIEnv *> gSystemThreadEnv{nullptr};
std::atomic<bool> gSystemThreadStop{false};

// Runs on the VM system thread; its argument is the thread's JNIEnv.
void systemThreadBody(void *argument) {
    gSystemThreadEnv = static_cast<JNIEnv *>(argument);
    while (!gSystemThreadStop) {
        struct timespec pause = {0, 5000000};
        nanosleep(&pause, nullptr);
    }
}

std::string threadName(JNIEnv *env) {
    const char *name = zviGetThreadName(env);
    return name != nullptr ? name : "?";
}

std::string describe(JNIEnv *env) {
    const char *path = zviGetThreadGroupPathForJNIEnv(env);
    return threadName(env) + "|" + (path != nullptr ? path : "?");
}

// The arrays and the source name are the handler's to release.
void classLoaded(const char *className, ZVWord key, char *sourceName, jint methodCount, JVMPI_Method *methods,
                 jint staticCount, JVMPI_Field *statics, jint instanceCount, JVMPI_Field *instances, jint interfaces) {
    std::string name = className != nullptr ? className : "";
    ClassSeen seen{sourceName != nullptr ? sourceName : "", methodCount, -1, interfaces, 0, key};
    for (jint i = 0; statics != nullptr && i < staticCount; ++i) {
        char type = statics[i].field_signature[0];
        if (type == 'L' || type == '[') ++seen.referenceStatics;
    }
    std::lock_guard<std::mutex> lock(gMutex);
    for (jint i = 0; methods != nullptr && i < methodCount; ++i) {
        if (std::string(methods[i].method_name) == "main") seen.mainLine = methods[i].start_lineno;
        gMethods[static_cast<int32_t>(reinterpret_cast<ZVWord>(methods[i].method_id))] =
            name + "." + methods[i].method_name;
    }
    FreeClassArrays(sourceName, methodCount, methods, staticCount, statics, instanceCount, instances);
    gClasses[name] = seen;
    gClassNames[key] = name;
}

void noteThread(std::vector<std::string> &list, JNIEnv *env) {
    std::string name = threadName(env);
    std::lock_guard<std::mutex> lock(gMutex);
    list.push_back(name);
}
void threadStarted(JNIEnv *env) { noteThread(gStarted, env); }
void threadEnded(JNIEnv *env) { noteThread(gEnded, env); }

void dataDumpRequested() { ++gDumpRequests; }

std::atomic<int> gUnloads{0};
void classUnloaded(jobjectID) { ++gUnloads; }
// Counts of the events the probe switches on itself (enableEvents) or the memory profiler does.
std::atomic<int> gGCStarts{0}, gGCFinishes{0}, gAllocations{0}, gArrays{0}, gEntries{0}, gExits{0};
// The watched class: its live objects' IDs, allocations, frees and the extension record's frees.
std::set<uint32_t> gWatchedLive;
std::atomic<ZVWord> gWatchKey{0};
jclass gWatchClass = nullptr;
std::atomic<int> gWatchedAllocations{0}, gWatchedFrees{0}, gHandlerAllocations{0}, gExtFrees{0};
uint32_t idOf(jobjectID id) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(id)); }

// The first watched allocation makes one more watched object from inside
// the handler: the dispatcher's guard must keep it out of the count.
void objectAllocated(JNIEnv *env, jobjectID object, ZVWord key, jint isArray, jint) {
    ++gAllocations;
    if (isArray != 0) ++gArrays;
    if (key == 0 || key != gWatchKey) return;
    if (gWatchedAllocations++ == 0 && gWatchClass != nullptr) {
        jobject extra = env->AllocObject(gWatchClass);
        if (extra != nullptr) ++gHandlerAllocations;
        env->DeleteLocalRef(extra);
    }
    std::lock_guard<std::mutex> lock(gMutex);
    gWatchedLive.insert(idOf(object));
}
void objectMoved(jobjectID, jobjectID) {}
void objectFreed(jobjectID object) {
    std::lock_guard<std::mutex> lock(gMutex);
    if (gWatchedLive.erase(idOf(object)) != 0) ++gWatchedFrees;
}
void methodEntered(JNIEnv *, int32_t, int32_t *) { ++gEntries; }
void methodExited(JNIEnv *, int32_t) { ++gExits; }
void gcStarted() { ++gGCStarts; }
void gcFinished() { ++gGCFinishes; }
void auditThreadRegistered(JNIEnv *) {}
// The counts the metrics ask for: each call answers the next number of its
// own series, so the samples show which calls they came from.
std::atomic<jint> gClassCalls{0}, gThreadCalls{0};
jint classCount() { return 5000 + ++gClassCalls; }
jint activeThreads() { return 7000 + ++gThreadCalls; }
jint totalThreads() { return 8000 + gThreadCalls; }

ZVHandlerTable gTable = {
    classLoaded, classUnloaded, objectAllocated, objectMoved, objectFreed, methodEntered, methodExited,
    gcStarted,   gcFinished,    threadStarted,   threadEnded, dataDumpRequested, ExtensionAdded, ExtensionShutDown,
    [] { return jint{0}; }, classCount, activeThreads, totalThreads, auditThreadRegistered, nullptr,
};

ZVExtensionRecord gMemoryRecord{};

// A copy taken under the lock: JNI calls may load classes, whose events take it.
std::vector<std::string> snapshot(const std::vector<std::string> &items) {
    std::lock_guard<std::mutex> lock(gMutex);
    return items;
}

jobjectArray toJava(JNIEnv *env, const std::vector<std::string> &items) {
    jclass stringClass = env->FindClass("java/lang/String");
    jobjectArray array = env->NewObjectArray(static_cast<jsize>(items.size()), stringClass, nullptr);
    for (size_t i = 0; i < items.size(); ++i) {
        jstring item = env->NewStringUTF(items[i].c_str());
        env->SetObjectArrayElement(array, static_cast<jsize>(i), item);
        env->DeleteLocalRef(item);
    }
    return array;
}

std::string javaText(JNIEnv *env, jstring text) {
    const char *chars = env->GetStringUTFChars(text, nullptr);
    std::string copy = chars != nullptr ? chars : "";
    if (chars != nullptr) env->ReleaseStringUTFChars(text, chars);
    return copy;
}

}  // namespace

ZVHandlerTable *ProbeTable() { return &gTable; }

ZVExtensionRecord *MemoryRecord() {
    gMemoryRecord.javaInit = [](JNIEnv *) { zviSetHandlers(&gTable); };
    // An extension that follows frees has the agent switch on the GC events.
    gMemoryRecord.objectFreed = [](jobjectID) { ++gExtFrees; };
    return &gMemoryRecord;
}

bool ClassShapeByKey(ZVWord key, std::string *name, int *interfaces, int *referenceStatics) {
    std::lock_guard<std::mutex> lock(gMutex);
    auto found = gClassNames.find(key);
    if (found == gClassNames.end()) return false;
    const ClassSeen &seen = gClasses[found->second];
    *name = found->second;
    *interfaces = seen.interfaces;
    *referenceStatics = seen.referenceStatics;
    return true;
}

// The map of the named metric in a serialized tree, or null.
static const SEElement *MetricNamed(const SEElement *tree, const std::string &name) {
    const SEElement *list = SEMapGet(tree, "metrics");
    for (int i = 0; list != nullptr && SEListGet(list, i) != nullptr; ++i) {
        const SEElement *mapName = SEMapGet(SEListGet(list, i), "name");
        if (mapName != nullptr && name == SEGetString(mapName)) return SEListGet(list, i);
    }
    return nullptr;
}

// The natives of e2e.Probe (which says what each answers) and e2e.MemoryUse.
extern "C" {

JNIEXPORT void JNICALL Java_e2e_Probe_install(JNIEnv *, jclass) { zviSetHandlers(&gTable); }

JNIEXPORT void JNICALL Java_e2e_MemoryUse_watch(JNIEnv *env, jclass, jclass watched, jstring name) {
    std::string dotted = javaText(env, name);
    gWatchClass = static_cast<jclass>(env->NewGlobalRef(watched));
    std::lock_guard<std::mutex> lock(gMutex);
    gWatchKey = gClasses.count(dotted) != 0 ? gClasses[dotted].key : 0;
}

JNIEXPORT void JNICALL Java_e2e_MemoryUse_profile(JNIEnv *, jclass, jboolean on) { zviSetMemoryProfilerEnabled(on); }

JNIEXPORT jintArray JNICALL Java_e2e_MemoryUse_counts(JNIEnv *env, jclass) {
    return IntArray(env, {gWatchedAllocations, gWatchedFrees, gHandlerAllocations, gGCStarts, gGCFinishes, gExtFrees});
}

JNIEXPORT jstring JNICALL Java_e2e_Probe_self(JNIEnv *env, jclass) {
    return zviGetThreadName(env) != nullptr ? env->NewStringUTF(describe(env).c_str()) : nullptr;
}

JNIEXPORT jobjectArray JNICALL Java_e2e_Probe_registry(JNIEnv *env, jclass) {
    std::vector<std::string> items;
    zviDataLock();
    for (JNIEnv **thread = zviGetActiveThreads(); thread != nullptr && *thread != nullptr; ++thread) {
        items.push_back(describe(*thread));
    }
    zviDataUnlock();
    return toJava(env, items);
}

JNIEXPORT jint JNICALL Java_e2e_Probe_unloads(JNIEnv *, jclass) { return gUnloads.load(); }

JNIEXPORT jint JNICALL Java_e2e_Probe_dumpRequests(JNIEnv *, jclass) { return gDumpRequests.load(); }

JNIEXPORT jstring JNICALL Java_e2e_Probe_classLoad(JNIEnv *env, jclass, jstring name) {
    std::string key = javaText(env, name);
    std::string text;
    {
        std::lock_guard<std::mutex> lock(gMutex);
        auto found = gClasses.find(key);
        if (found == gClasses.end()) return nullptr;
        const ClassSeen &seen = found->second;
        text = seen.source + "|" + std::to_string(seen.methods) + "|" + std::to_string(seen.mainLine);
    }
    return env->NewStringUTF(text.c_str());
}

JNIEXPORT jobjectArray JNICALL Java_e2e_Probe_threads(JNIEnv *env, jclass, jboolean ended) {
    return toJava(env, snapshot(ended ? gEnded : gStarted));
}

JNIEXPORT jstring JNICALL Java_e2e_Probe_systemThread(JNIEnv *env, jclass, jstring name) {
    std::string text = javaText(env, name);
    jint started = zviCreateSystemThread(text.c_str(), systemThreadBody);
    for (int i = 0; i < 2000 && gSystemThreadEnv == nullptr; ++i) {
        struct timespec pause = {0, 1000000};
        nanosleep(&pause, nullptr);
    }
    JNIEnv *byName = zviGetJNIEnvForSystemThreadNamed(text.c_str());
    std::string answer = std::string(started == JNI_OK ? "started" : "failed") + "|" +
                         (byName != nullptr && byName == gSystemThreadEnv ? "found" : "missing") + "|" +
                         (gSystemThreadEnv != nullptr ? describe(gSystemThreadEnv) : "?");
    gSystemThreadStop = true;
    return env->NewStringUTF(answer.c_str());
}

JNIEXPORT jstring JNICALL Java_e2e_Probe_enableEvents(JNIEnv *env, jclass) {
    auto on = [](std::initializer_list<jint> types) {
        bool granted = true;
        for (jint type : types) granted = zvipi->EnableEvent(type, nullptr) == JVMPI_SUCCESS && granted;
        return granted ? "1" : "0";
    };
    std::string text = std::string(on({JVMPI_EVENT_GC_START, JVMPI_EVENT_GC_FINISH})) + "|" +
                       on({JVMPI_EVENT_OBJECT_ALLOC}) + "|" + on({JVMPI_EVENT_METHOD_ENTRY2, JVMPI_EVENT_METHOD_EXIT});
    return env->NewStringUTF(text.c_str());
}

JNIEXPORT jintArray JNICALL Java_e2e_Probe_eventCounts(JNIEnv *env, jclass) {
    zvipi->DisableEvent(JVMPI_EVENT_METHOD_ENTRY2, nullptr);
    zvipi->DisableEvent(JVMPI_EVENT_METHOD_EXIT, nullptr);
    return IntArray(env, {gGCStarts, gGCFinishes, gAllocations, gArrays, gEntries, gExits});
}

JNIEXPORT jintArray JNICALL Java_e2e_Probe_backtrace(JNIEnv *env, jclass) {
    PRIBacktrace *backtrace = zviGetCurrentBacktraceForEnv(env);
    std::vector<jint> ints;
    for (int i = 0; backtrace != nullptr && i < backtrace->count; ++i) {
        ints.push_back(backtrace->frames[i].location);
        ints.push_back(backtrace->frames[i].method);
    }
    return IntArray(env, ints);
}

JNIEXPORT void JNICALL Java_e2e_Probe_pushOverhead(JNIEnv *env, jclass) {
    PRIBacktraceWorkspace workspace{};
    zviInitBacktraceWorkspace(env, &workspace);
    zviGetBacktraceUsingBacktracePushMarker(env, &workspace, 0, 0);
}

JNIEXPORT void JNICALL Java_e2e_Probe_sampleMe(JNIEnv *env, jclass) {
    std::lock_guard<std::mutex> lock(gMutex);
    if (gSample.thread != nullptr) zviFreeLowLevelBuffer(env, &gSample);
    gSample = ZVSampleRecord{env, 0, 0, nullptr, 0, 0, nullptr};
}

JNIEXPORT jintArray JNICALL Java_e2e_Probe_sample(JNIEnv *env, jclass, jboolean includeIdle) {
    std::lock_guard<std::mutex> lock(gMutex);
    ZVWord record = reinterpret_cast<ZVWord>(&gSample);
    ZVVector records{1, 1, &record};
    zviSampleThreads(env, &records, includeIdle);
    std::vector<jint> ints{gSample.hasRun};
    for (int i = 0; i < gSample.frameCount; ++i) {
        ints.push_back(gSample.frames[3 * i]);
        ints.push_back(gSample.frames[3 * i + 1]);
    }
    return IntArray(env, ints);
}

JNIEXPORT jstring JNICALL Java_e2e_Probe_markerName(JNIEnv *env, jclass, jint marker) {
    const char *name = nullptr;
    zviIsGroupID(marker, 0, &name);
    return env->NewStringUTF(name != nullptr ? name : "?");
}

JNIEXPORT jstring JNICALL Java_e2e_Probe_stack(JNIEnv *env, jclass) {
    PRIBacktrace *backtrace = zviGetCurrentBacktraceForEnv(env);
    std::string text;
    {  // (not held over the JNI call below, whose allocation may reach the table)
        std::lock_guard<std::mutex> lock(gMutex);
        for (int i = 0; backtrace != nullptr && i < backtrace->count; ++i) {
            const PRIBacktraceFrame &frame = backtrace->frames[i];
            const char *group = nullptr;
            auto found = gMethods.find(frame.method);
            text += zviIsGroupID(frame.method, 0, &group) ? " [" + std::string(group != nullptr ? group : "?") + "]"
                    : " " + (found != gMethods.end() ? found->second : "?") + ":" + std::to_string(frame.location);
        }
    }
    return env->NewStringUTF(text.c_str());
}

// Services words 23 and 24: the calling thread's context, handed back, is the one it has.
JNIEXPORT jstring JNICALL Java_e2e_Probe_context(JNIEnv *env, jclass) {
    const ZVWord *w = getMetricsCallback()->words;
    jobject first = reinterpret_cast<jobject (*)(JNIEnv *)>(w[23])(env);
    reinterpret_cast<void (*)(JNIEnv *, jobject)>(w[24])(env, first);
    bool isContext = first != nullptr && env->IsInstanceOf(first, env->FindClass("meridyn/audit/profiler/ZVContext"));
    bool kept = env->IsSameObject(first, reinterpret_cast<jobject (*)(JNIEnv *)>(w[23])(env));
    std::string text = std::string(isContext ? "a ZVContext" : "no context") + (kept ? ", kept" : ", changed");
    return env->NewStringUTF(text.c_str());
}

JNIEXPORT jintArray JNICALL Java_e2e_Probe_countCalls(JNIEnv *env, jclass) {
    return IntArray(env, {gClassCalls, gThreadCalls});
}

JNIEXPORT jintArray JNICALL Java_e2e_Probe_metricSamples(JNIEnv *env, jclass, jstring name) {
    SEElement *tree = serializeMetrics();
    const SEElement *entries = SEMapGet(MetricNamed(tree, javaText(env, name)), "entryBuff");
    const auto *data = entries != nullptr && entries->type == SE_INT32_DATA ? reinterpret_cast<const jint *>(entries->data)
                                                                           : nullptr;
    jintArray array = data != nullptr ? IntArray(env, std::vector<jint>(data, data + entries->value)) : nullptr;
    freeSerializedMetrics(tree);
    return array;
}

JNIEXPORT jint JNICALL Java_e2e_Probe_metricNumber(JNIEnv *env, jclass, jstring name, jstring key) {
    SEElement *tree = serializeMetrics();
    const SEElement *value = SEMapGet(MetricNamed(tree, javaText(env, name)), javaText(env, key).c_str());
    jint number = value != nullptr && value->type == SE_INT32 ? static_cast<jint>(value->value) : INT32_MIN;
    freeSerializedMetrics(tree);
    return number;
}

JNIEXPORT jint JNICALL Java_e2e_Probe_metricCapacity(JNIEnv *, jclass, jint id) {
    MetricRecord *metric = getMetric(id);
    return metric != nullptr && metric->entryBuff != nullptr ? metric->entryBuff->capacity : 0;
}

}  // extern "C"
