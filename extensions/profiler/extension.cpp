// The profiler extension library: installs the handler table, learns method
// names from class loads, samples the instrumented call stacks, has the agent
// count calls, and writes its reports when the VM exits, on a data-dump
// request, and on request over the audit port ("profile KIND").
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

#include "control.h"
#include "method_names.h"
#include "reports.h"
#include "sampler.h"
#include "settings.h"
#include "zvi.h"

namespace profiler {

namespace {

JavaVM *gVM = nullptr;
// Never destroyed, like the sampler's state: read by VM threads that may
// outlive the exit destructors.
Settings &gSettings = *new Settings;
ZVExtensionRecord gRecord{};

// The call counts at the end of the last interval: each interval's reports
// count the calls made in it.
std::mutex gCallsMutex;
std::map<std::string, uint64_t> &gCallsBefore = *new std::map<std::string, uint64_t>;

// Calls counted by the agent, by method name; false when it counts none.
bool callCounts(JNIEnv *env, std::map<std::string, uint64_t> &calls) {
    int32_t length = 0;
    int32_t *counts = env != nullptr ? zviGetCallCounts(env, &length) : nullptr;
    if (counts == nullptr) return false;
    for (int32_t i = 0; i < length; ++i) {
        if (counts[i] <= 0) continue;
        std::string method = MethodForIndex(i);
        if (!method.empty()) calls[method] += static_cast<uint32_t>(counts[i]);
    }
    sFree(counts);
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
                        if (source == nullptr)
                            source = zviGetAlternateSourceForMethodID(
                                static_cast<int32_t>(ZVIDNumber(static_cast<uint32_t>(id))), nullptr);
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

}  // namespace

void ResetCollected(JNIEnv *env) {
    std::lock_guard<std::mutex> reports(gReportsMutex);
    std::map<std::string, uint64_t> counted;
    bool known = gSettings.calls && callCounts(env, counted);
    ResetProfile();
    std::lock_guard<std::mutex> lock(gCallsMutex);
    if (known) gCallsBefore = std::move(counted);
}

namespace {

void dataDumpRequested() {
    std::lock_guard<std::mutex> reports(gReportsMutex);
    writeReports(true);
}

// The audit port's "profile KIND": the profile as bytes.
int answerProfile(JNIEnv *env, const char *argument, char **outReply, int32_t *outLength) {
    std::string kind = argument, text;
    if (kind.empty() || kind.find(' ') != std::string::npos) {
        *outReply = sStrdup("unknown request; expected 'profile KIND'");
        return 0;
    }
    if (!render(env, kind, text)) {
        *outReply = sStrdup(("unknown profile kind " + kind).c_str());
        return 0;
    }
    *outReply = static_cast<char *>(sMalloc(static_cast<int>(text.size()) + 1));
    if (*outReply == nullptr) return 0;
    memcpy(*outReply, text.data(), text.size());
    *outLength = static_cast<int32_t>(text.size());
    return 1;
}

// The arguments through the agent, as the settings read them.
Arguments readArguments(const SEElement *initArgs) {
    Arguments args;
    int32_t count = zviGetArgumentCount(initArgs);
    for (int32_t i = 0; i < count; ++i) {
        const char *key = zviGetArgumentKey(initArgs, i);
        if (key == nullptr) continue;
        int32_t kind = ZV_ARGUMENT_MISSING;
        char *text = zviGetArgumentText(initArgs, key, &kind);
        args.push_back({key, Argument{kind, text != nullptr ? text : ""}});
        sFree(text);
    }
    return args;
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
    if (gSettings.calls) zviStartCallCounting(env);
    if (!zviRegisterAuditCommand("profile", "profile KIND", answerProfile))
        fputs("Zentrova profiler: the audit port's profile command is taken\n", stderr);
    RegisterControlCommands();
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
    gSettings = ReadSettings(readArguments(initArgs));
    int32_t period = 0, time = 0;
    if (zviGetSamplerOptions(&period, &time)) AdoptAgentOptions(gSettings, period, time);
    gRecord.order = 0;
    if (gSettings.enabled) gRecord.javaInit = javaInit;
    // The extension's event, unlike the handler table's, comes after the
    // thread left the registry (see ThreadEnded).
    gRecord.threadEnded = ThreadEnded;
    return &gRecord;
}
