// The profiler extension library: installs the handler table, learns method
// names from class loads, samples the instrumented call stacks, counts calls
// through the context class, and writes its reports when the VM exits, on a
// data-dump request, and on request over the audit port.
#include <jni.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <time.h>

#include "agent/agent.h"
#include "ext/extensions.h"
#include "method_names.h"
#include "pri/backtraces.h"
#include "reports.h"
#include "sampler.h"
#include "settings.h"
#include "support/heap.h"

namespace profiler {

namespace {

constexpr const char *kContextClass = "meridyn/audit/profiler/ZVContext";
constexpr const char *kPortClass = "meridyn/audit/AuditPort";

JavaVM *gVM = nullptr;
Settings gSettings;
ZVExtensionRecord gRecord{};

void clearException(JNIEnv *env) {
    if (env->ExceptionCheck()) env->ExceptionClear();
}

// The call counts at the end of the last interval: each interval's reports
// count the calls made in it.
std::mutex gCallsMutex;
std::map<std::string, uint64_t> gCallsBefore;

// Calls counted by the context class, by method name; false when it counts none.
bool callCounts(JNIEnv *env, std::map<std::string, uint64_t> &calls) {
    if (env == nullptr) return false;
    jclass context = env->FindClass(kContextClass);
    jmethodID total = context != nullptr ? env->GetStaticMethodID(context, "totalCallCounts", "()[I") : nullptr;
    auto counts = total != nullptr ? static_cast<jintArray>(env->CallStaticObjectMethod(context, total)) : nullptr;
    clearException(env);
    if (counts == nullptr) return false;
    jsize length = env->GetArrayLength(counts);
    std::vector<jint> values(static_cast<size_t>(length));
    env->GetIntArrayRegion(counts, 0, length, values.data());
    for (jsize i = 0; i < length; ++i) {
        if (values[i] <= 0) continue;
        std::string method = MethodForIndex(i);
        if (!method.empty()) calls[method] += static_cast<uint32_t>(values[i]);
    }
    env->DeleteLocalRef(counts);
    env->DeleteLocalRef(context);
    return true;
}

// The calls counted since the end of the last interval, by method name;
// `counted`, if given, receives them as read; false when none are counted.
bool callsSinceInterval(JNIEnv *env, std::map<std::string, uint64_t> &calls,
                        std::map<std::string, uint64_t> *counted = nullptr) {
    if (!gSettings.calls || !callCounts(env, calls)) return false;
    if (counted != nullptr) *counted = calls;
    std::lock_guard<std::mutex> lock(gCallsMutex);
    for (auto &[method, count] : calls) {
        auto before = gCallsBefore.find(method);
        if (before != gCallsBefore.end()) count -= std::min(count, before->second);
    }
    std::erase_if(calls, [](const auto &entry) { return entry.second == 0; });
    return true;
}

// "text", "collapsed", "html" or "pprof"; false for any other kind. `calls`:
// the call counts, read once for several reports; null: read here if needed.
struct CallsRead {
    bool known = false;
    std::map<std::string, uint64_t> calls;
};
bool render(JNIEnv *env, const std::string &kind, std::string &out, const CallsRead *calls = nullptr) {
    if (kind != "text" && kind != "collapsed" && kind != "html" && kind != "pprof") return false;
    ReportInfo info;
    Settings running = SamplerSettings();
    info.mode = running.cpu ? "CPU" : "wall clock";
    info.periodMs = running.periodMs;
    if (kind == "text" || kind == "pprof") {
        if (calls != nullptr) {
            info.callsKnown = calls->known;
            info.calls = calls->calls;
        } else {
            info.callsKnown = callsSinceInterval(env, info.calls);
        }
    }
    // Names are given now, not at every sample.
    ReadProfile([&](const Profile &profile, const std::vector<std::string> &threads) {
        Names names{FrameName,
                    [&](int32_t number) {
                        return number >= 0 && static_cast<size_t>(number) < threads.size() ? threads[number] : "?";
                    },
                    [](int32_t id) {
                        const char *source = zviGetAlternateSourceForMethodID(id, nullptr);
                        if (source == nullptr) source = zviGetAlternateSourceForMethodID(id & kIdMask, nullptr);
                        return std::string(source != nullptr ? source : "");
                    },
                    SourceFileOf};
        if (kind == "pprof") {
            out = PprofProfile(profile, names, info);
            return;
        }
        NamedProfile named = NameProfile(profile, names, gSettings.lines);
        out = kind == "text" ? TextReport(named, info)
              : kind == "collapsed" ? CollapsedStacks(named)
                                    : FlameGraphHtml(named, info);
    });
    return true;
}

void writeFile(const std::string &path, const std::string &text) {
    FILE *file = fopen(path.c_str(), "wb");
    bool ok = file != nullptr && fwrite(text.data(), 1, text.size(), file) == text.size();
    int error = errno;
    if (file != nullptr && fclose(file) != 0) ok = false;
    if (ok) fprintf(stderr, "Zentrova profiler: wrote %s\n", path.c_str());
    else fprintf(stderr, "Zentrova profiler: cannot write %s: %s\n", path.c_str(), strerror(error));
}

// "zvprofile.txt" → "zvprofile-20250102-030405-678.txt" ("p.pb.gz" →
// "p-...pb.gz"): a data dump's files carry the time, so that later dumps and
// the exit do not overwrite them.
std::string stamped(const std::string &path) {
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    struct tm local;
    localtime_r(&now.tv_sec, &local);
    char stamp[48];
    size_t length = strftime(stamp, sizeof stamp, "-%Y%m%d-%H%M%S", &local);
    snprintf(stamp + length, sizeof stamp - length, "-%03ld", now.tv_nsec / 1000000);
    size_t slash = path.rfind('/'), dot = path.rfind('.');
    if (dot != std::string::npos && dot > 0 && path.compare(dot, std::string::npos, ".gz") == 0) {
        size_t inner = path.rfind('.', dot - 1);
        if (inner != std::string::npos && (slash == std::string::npos || inner > slash + 1)) dot = inner;
    }
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash) || dot == slash + 1) return path + stamp;
    return path.substr(0, dot) + stamp + path.substr(dot);
}

// Writes the configured reports, time-stamped for a data dump or an interval;
// `counted` receives the call counts as read (see render).
void writeReports(bool dump, std::map<std::string, uint64_t> *counted = nullptr) {
    JNIEnv *env = nullptr;
    if (gVM == nullptr || gVM->GetEnv(reinterpret_cast<void **>(&env), JNI_VERSION_1_2) != JNI_OK) env = nullptr;
    CallsRead calls;
    calls.known = callsSinceInterval(env, calls.calls, counted);
    for (auto [kind, path] : {std::pair{"text", &gSettings.text}, std::pair{"collapsed", &gSettings.collapsed},
                              std::pair{"html", &gSettings.html}, std::pair{"pprof", &gSettings.pprof}}) {
        std::string text;
        if (!path->empty() && render(env, kind, text, &calls)) writeFile(dump ? stamped(*path) : *path, text);
    }
}

// One set of reports at a time: an interval's reports and its new start are
// one step, which the exit's or a data dump's reports come before or after.
std::mutex gReportsMutex;

// An interval has passed (on the sampler thread): its reports, then a new
// profile and call counts from the ones just read.
void intervalEnded() {
    std::lock_guard<std::mutex> reports(gReportsMutex);
    std::map<std::string, uint64_t> counted;
    writeReports(true, &counted);
    ResetProfile();
    std::lock_guard<std::mutex> lock(gCallsMutex);
    if (!counted.empty()) gCallsBefore = std::move(counted);
}

void dataDumpRequested() {
    std::lock_guard<std::mutex> reports(gReportsMutex);
    writeReports(true);
}

// AuditPort.profile(kind): the profile as bytes, or null for an unknown kind.
jbyteArray JNICALL portProfile(JNIEnv *env, jclass, jstring kind) {
    if (kind == nullptr) return nullptr;
    const char *chars = env->GetStringUTFChars(kind, nullptr);
    if (chars == nullptr) return nullptr;
    std::string name = chars, text;
    env->ReleaseStringUTFChars(kind, chars);
    if (!render(env, name, text)) return nullptr;
    jbyteArray bytes = env->NewByteArray(static_cast<jsize>(text.size()));
    if (bytes != nullptr)
        env->SetByteArrayRegion(bytes, 0, static_cast<jsize>(text.size()), reinterpret_cast<const jbyte *>(text.data()));
    return bytes;
}

void bindPort(JNIEnv *env) {
    jclass port = env->FindClass(kPortClass);
    clearException(env);
    if (port == nullptr) return;
    static const JNINativeMethod kNatives[] = {
        {const_cast<char *>("profile"), const_cast<char *>("(Ljava/lang/String;)[B"),
         reinterpret_cast<void *>(portProfile)}};
    if (env->RegisterNatives(port, kNatives, 1) != 0) clearException(env);
    env->DeleteLocalRef(port);
}

void startCounting(JNIEnv *env) {
    jclass context = env->FindClass(kContextClass);
    jfieldID flag = context != nullptr ? env->GetStaticFieldID(context, "countCalls", "Z") : nullptr;
    if (flag != nullptr) env->SetStaticBooleanField(context, flag, JNI_TRUE);
    clearException(env);
    if (context != nullptr) env->DeleteLocalRef(context);
}

// ---------------------------------------------------------------- the handler table

// What the metrics read from the handler table: classes loaded and not
// unloaded, threads running and started, collections begun.
std::atomic<jint> gClasses{0}, gActiveThreads{0}, gStartedThreads{0}, gCollections{0};

void classLoaded(const char *className, ZVWord, char *sourceName, jint methodCount, JVMPI_Method *methods,
                 jint staticCount, JVMPI_Field *statics, jint instanceCount, JVMPI_Field *instances, jint) {
    ++gClasses;
    std::string name = className != nullptr ? className : "?";
    for (jint i = 0; methods != nullptr && i < methodCount; ++i) {
        RememberMethod(static_cast<int32_t>(reinterpret_cast<ZVWord>(methods[i].method_id)), name,
                       methods[i].method_name, sourceName);
        sFree(methods[i].method_name);
        sFree(methods[i].method_signature);
    }
    sFree(methods);
    for (auto [fields, count] : {std::pair{statics, staticCount}, std::pair{instances, instanceCount}}) {
        for (jint i = 0; fields != nullptr && i < count; ++i) {
            sFree(fields[i].field_name);
            sFree(fields[i].field_signature);
        }
        sFree(fields);
    }
    sFree(sourceName);
}

void vmShutDown() {
    StopSampler();
    std::lock_guard<std::mutex> reports(gReportsMutex);
    writeReports(false);
}

void classUnloaded(jobjectID) { --gClasses; }
void gcStarted() { ++gCollections; }
void threadStarted(JNIEnv *) {
    ++gActiveThreads;
    ++gStartedThreads;
}
void threadEnded(JNIEnv *) { --gActiveThreads; }
jint classCount() { return gClasses; }
jint activeThreadCount() { return std::max<jint>(gActiveThreads, 0); }
jint totalThreadCount() { return gStartedThreads; }
jint gcCount() { return gCollections; }

void ignoreObject(jobjectID) {}
void ignoreMove(jobjectID, jobjectID) {}
void ignoreAllocation(JNIEnv *, jobjectID, ZVWord, jint, jint) {}
void ignoreEntry(JNIEnv *, int32_t, int32_t *) {}
void ignoreExit(JNIEnv *, int32_t) {}
void ignoreEnv(JNIEnv *) {}
void nothing() {}

ZVHandlerTable gTable = {
    classLoaded, classUnloaded, ignoreAllocation, ignoreMove, ignoreObject, ignoreEntry, ignoreExit, gcStarted,
    nothing, threadStarted, threadEnded, dataDumpRequested, nullptr, vmShutDown, gcCount, classCount, activeThreadCount,
    totalThreadCount, ignoreEnv, nullptr,
};

void javaInit(JNIEnv *env) {
    // Threads that started before the table was installed.
    zviDataLock();
    for (JNIEnv **at = zviGetActiveThreads(); at != nullptr && *at != nullptr; ++at) {
        ++gActiveThreads;
        ++gStartedThreads;
    }
    zviDataUnlock();
    zviSetHandlers(&gTable);
    if (gSettings.calls) startCounting(env);
    bindPort(env);
    if (gSettings.intervalSeconds > 0) OnInterval(intervalEnded);
    if (!StartSampler(gSettings)) fputs("Zentrova profiler: the sampler thread could not be started\n", stderr);
}

}  // namespace

}  // namespace profiler

extern "C" __attribute__((visibility("default"))) ZVExtensionRecord *ZVInitFunction(JavaVM *vm, int32_t,
                                                                                  ZVServices *,
                                                                                  SEElement *initArgs, int32_t) {
    using namespace profiler;
    gVM = vm;
    gSettings = ReadSettings(initArgs);
    gRecord.order = 0;
    if (gSettings.enabled) gRecord.javaInit = javaInit;
    // The extension's event, unlike the handler table's, comes after the
    // thread left the registry (see ThreadEnded).
    gRecord.threadEnded = ThreadEnded;
    return &gRecord;
}
