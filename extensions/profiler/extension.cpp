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
#include <vector>

#include "control.h"
#include "event_profiles.h"
#include "method_names.h"
#include "profiler_state.h"
#include "reports.h"
#include "sampler.h"
#include "settings.h"
#include "zvi.h"

namespace profiler {

namespace {


// Calls counted by the agent, by method name; false when it counts none.
bool callCounts(JNIEnv *env, std::map<std::string, uint64_t> &calls) {
    int32_t length = 0;
    int32_t *counts = env != nullptr ? zviGetCallCounts(env, &length) : nullptr;
    if (counts == nullptr) return false;
    // A count is an unsigned 32-bit word: past 2^31 calls its sign bit is set.
    for (int32_t i = 0; i < length; ++i) {
        if (counts[i] == 0) continue;
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
    if (!Profiler().settings.calls || !callCounts(env, calls)) return false;
    if (counted != nullptr) *counted = calls;
    std::lock_guard<std::mutex> lock(Profiler().callsMutex);
    for (auto &[method, count] : calls) {
        auto before = Profiler().callsBefore.find(method);
        if (before != Profiler().callsBefore.end()) count -= std::min(count, before->second);
    }
    std::erase_if(calls, [](const auto &entry) { return entry.second == 0; });
    return true;
}

// How reports name identifiers; labels (classes) by number when given.
Names reportNames(const std::vector<std::string> &threads, const std::vector<std::string> *labels = nullptr) {
    auto byNumber = [](const std::vector<std::string> &all) {
        return [&all](int32_t number) {
            return number >= 0 && static_cast<size_t>(number) < all.size() ? all[number] : std::string("?");
        };
    };
    Names names{FrameName, byNumber(threads),
                [](int32_t id) {
                    const char *source = zviGetAlternateSourceForMethodID(id, nullptr);
                    if (source == nullptr)
                        source = zviGetAlternateSourceForMethodID(
                            static_cast<int32_t>(ZVIDNumber(static_cast<uint32_t>(id))), nullptr);
                    return std::string(source != nullptr ? source : "");
                },
                SourceFileOf, nullptr};
    if (labels != nullptr) names.label = byNumber(*labels);
    return names;
}

// Every thread's timed call tree as it is now (empty without timing).
std::vector<TimedNode> readTimes(JNIEnv *env) {
    int32_t count = 0;
    int64_t *words = env != nullptr ? zviGetMethodTimes(env, &count) : nullptr;
    std::vector<TimedNode> nodes(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i) {
        const int64_t *node = words + static_cast<size_t>(i) * ZV_TIMED_NODE_WORDS;
        nodes[i] = TimedNode{static_cast<int32_t>(node[0]), static_cast<int32_t>(node[1]),
                             static_cast<uint64_t>(node[2]), static_cast<uint64_t>(node[3]),
                             static_cast<uint64_t>(node[4]), static_cast<uint64_t>(node[5])};
    }
    sFree(words);
    return nodes;
}

// The exact method times since the end of the last interval (or a reset):
// text, collapsed stacks or flame graph. `read`: the tree, read once for
// several reports; null: read here.
bool renderTimes(JNIEnv *env, const std::string &kind, std::string &out, const std::vector<TimedNode> *read) {
    if (kind != "text" && kind != "collapsed" && kind != "html") return false;
    std::vector<TimedNode> nodes;
    {
        std::vector<TimedNode> now = read != nullptr ? std::vector<TimedNode>() : readTimes(env);
        std::lock_guard<std::mutex> lock(Profiler().callsMutex);
        nodes = TimesSince(Profiler().timesBefore, read != nullptr ? *read : now);
    }
    std::vector<std::string> noThreads;
    TimedProfile times = NameTimes(nodes, reportNames(noThreads));
    ReportInfo info;
    info.mode = Profiler().settings.methods.empty() ? "every method" : "methods " + Profiler().settings.methods;
    char title[160];
    snprintf(title, sizeof title, "Exact method times, %llu calls, %.3f s",
             static_cast<unsigned long long>(times.named.samples), times.named.weight / 1e9);
    info.title = title;
    out = kind == "text" ? TimingReport(times, info)
          : kind == "collapsed" ? CollapsedStacks(times.named)
                                : FlameGraphHtml(times.named, info);
    return true;
}

// Sampled allocations or monitor contention: text, collapsed stacks (bytes
// or microseconds; "counts": samples) or flame graph.
bool renderEvents(Kind profile, const std::string &kind, std::string &out) {
    if (kind != "text" && kind != "collapsed" && kind != "counts" && kind != "html") return false;
    bool bytes = profile == Kind::kAlloc;
    ReadEventProfile(profile, [&](const Profile &events, const std::vector<std::string> &labels) {
        std::vector<std::string> noThreads;
        NamedProfile named = NameProfile(events, reportNames(noThreads, &labels), Profiler().settings.lines);
        ReportInfo info;
        info.bytes = bytes;
        char title[200];
        if (bytes)
            snprintf(title, sizeof title, "Allocations, one sample every %ld bytes a thread allocates: %llu samples, "
                     "about %.2f MB", Profiler().settings.allocBytes, static_cast<unsigned long long>(named.samples),
                     named.weight / 1048576.0);
        else
            snprintf(title, sizeof title, "Monitor contention: %llu contended entries, %.3f s blocked",
                     static_cast<unsigned long long>(named.samples), named.weight / 1e9);
        info.title = title;
        out = kind == "text" ? EventReport(named, info)
              : kind == "html" ? FlameGraphHtml(named, info)
                               : CollapsedStacks(named, bytes ? 1 : 1000, kind == "counts");
    });
    return true;
}

// "text", "collapsed", "html" or "pprof"; false for any other kind. `calls`:
// the call counts, read once for several reports; null: read here if needed.
struct CallsRead {
    bool known = false;
    std::map<std::string, uint64_t> calls;
    std::vector<TimedNode> times;  // the timed call tree, when timing
};
bool render(JNIEnv *env, const std::string &kind, std::string &out, const CallsRead *calls = nullptr,
            Kind profile = Kind::kSampled) {
    if (profile == Kind::kTiming) return renderTimes(env, kind, out, calls != nullptr ? &calls->times : nullptr);
    if (profile == Kind::kAlloc || profile == Kind::kLock) return renderEvents(profile, kind, out);
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
        Names names = reportNames(threads);
        if (kind == "pprof") {
            out = PprofProfile(profile, names, info);
            return;
        }
        NamedProfile named = NameProfile(profile, names, Profiler().settings.lines);
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
// `counted` and `timed` receive the call counts and the timed tree as read (see render).
void writeReports(bool dump, std::map<std::string, uint64_t> *counted = nullptr,
                  std::vector<TimedNode> *timed = nullptr) {
    JNIEnv *env = nullptr;
    if (Profiler().vm == nullptr || Profiler().vm->GetEnv(reinterpret_cast<void **>(&env), JNI_VERSION_1_2) != JNI_OK) env = nullptr;
    CallsRead calls;
    calls.known = callsSinceInterval(env, calls.calls, counted);
    if (Profiler().settings.has(Kind::kTiming)) calls.times = readTimes(env);
    // One set of files per kind of profile; an allocation profile's sample
    // counts go beside its collapsed stacks of bytes.
    for (Kind profile : Profiler().settings.kinds) {
        std::string suffix = KindSuffix(Profiler().settings, profile);
        for (auto [kind, path] : {std::pair{"text", &Profiler().settings.text}, std::pair{"collapsed", &Profiler().settings.collapsed},
                                  std::pair{"counts", &Profiler().settings.collapsed}, std::pair{"html", &Profiler().settings.html},
                                  std::pair{"pprof", &Profiler().settings.pprof}}) {
            std::string text, name = WithSuffix(*path, suffix + (std::string(kind) == "counts" ? "-count" : ""));
            if (std::string(kind) == "counts" && profile != Kind::kAlloc) continue;
            if (!path->empty() && render(env, kind, text, &calls, profile))
                writeFile(dump ? stamped(name) : name, text);
        }
    }
    if (timed != nullptr) *timed = std::move(calls.times);
}


// An interval has passed (on the sampler thread, or the interval thread
// without a sampler): its reports, then new profiles, call counts and method
// times from the ones just read. False once the exit's reports are written:
// they hold the rest of the run, and nothing follows them.
bool intervalEnded() {
    std::lock_guard<std::mutex> reports(Profiler().reportsMutex);
    if (Profiler().exitWritten) return false;
    std::map<std::string, uint64_t> counted;
    std::vector<TimedNode> timed;
    writeReports(true, &counted, &timed);
    ResetProfile();
    ResetEventProfiles();
    std::lock_guard<std::mutex> lock(Profiler().callsMutex);
    if (!counted.empty()) Profiler().callsBefore = std::move(counted);
    if (Profiler().settings.has(Kind::kTiming)) Profiler().timesBefore = std::move(timed);
    return true;
}

// Ends an interval every intervalSeconds when no sampler thread does.
void intervalMain(void *) {
    const time_t seconds = Profiler().settings.intervalSeconds;
    struct timespec next;
    clock_gettime(CLOCK_MONOTONIC, &next);
    do {
        next.tv_sec += seconds;
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr) != 0) {
        }
        // After a stall (or slow writes), the next interval is a whole one from now.
        struct timespec now;
        clock_gettime(CLOCK_MONOTONIC, &now);
        if (now.tv_sec > next.tv_sec) next = now;
    } while (intervalEnded());
}

}  // namespace

void ResetCollected(JNIEnv *env) {
    std::lock_guard<std::mutex> reports(Profiler().reportsMutex);
    std::map<std::string, uint64_t> counted;
    bool known = Profiler().settings.calls && callCounts(env, counted);
    std::vector<TimedNode> timed;
    if (Profiler().settings.has(Kind::kTiming)) timed = readTimes(env);
    ResetProfile();
    ResetEventProfiles();
    std::lock_guard<std::mutex> lock(Profiler().callsMutex);
    if (known) Profiler().callsBefore = std::move(counted);
    if (Profiler().settings.has(Kind::kTiming)) Profiler().timesBefore = std::move(timed);
}

namespace {

void dataDumpRequested() {
    std::lock_guard<std::mutex> reports(Profiler().reportsMutex);
    writeReports(true);
}

// The audit port's "profile KIND": the profile as bytes.
int answerProfile(JNIEnv *env, const char *argument, char **outReply, int32_t *outLength) {
    std::string kind = argument, text;
    if (kind.empty() || kind.find(' ') != std::string::npos) {
        *outReply = sStrdup("unknown request; expected 'profile KIND'");
        return 0;
    }
    // "alloc-html": a kind of profile before the report's; else the run's first kind.
    Kind profile = Profiler().settings.kinds.empty() ? Kind::kSampled : Profiler().settings.kinds.front();
    for (auto [prefix, named] : {std::pair{"cpu-", Kind::kSampled}, std::pair{"timing-", Kind::kTiming},
                                 std::pair{"alloc-", Kind::kAlloc}, std::pair{"lock-", Kind::kLock}}) {
        if (kind.starts_with(prefix)) {
            profile = named;
            kind.erase(0, strlen(prefix));
        }
    }
    if (!render(env, kind, text, nullptr, profile)) {
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

// Whether a filter chooses the timed methods.
bool timingFiltered() { return Profiler().settings.has(Kind::kTiming) && !Profiler().settings.methods.empty(); }

// Whether the run times a filter's methods and nothing else: then no other
// stack than those methods' frames is of use.
bool timingFilteredOnly() {
    const Settings &settings = Profiler().settings;
    return settings.enabled && timingFiltered() && settings.kinds.size() == 1;
}

// The agent's question for each method it would instrument (zviInstrumentOnly).
int timedMethod(const char *className, const char *methodName, const char *, int32_t) {
    thread_local std::string method;
    method.assign(className);
    method += '.';
    method += methodName;
    return MethodMatches(Profiler().settings.methods, method) ? 1 : 0;
}

// Marks methods for timing once timing has started; before, they wait for it.
void markTimed(std::vector<int32_t> numbers) {
    {
        std::lock_guard<std::mutex> lock(Profiler().timedMutex);
        if (!Profiler().timingStarted) {
            Profiler().timedPending.insert(Profiler().timedPending.end(), numbers.begin(), numbers.end());
            return;
        }
    }
    JNIEnv *env = nullptr;
    if (Profiler().vm->GetEnv(reinterpret_cast<void **>(&env), JNI_VERSION_1_2) == JNI_OK)
        zviTimeMethods(env, numbers.data(), static_cast<int32_t>(numbers.size()));
}


void classLoaded(const char *className, ZVWord, char *sourceName, jint methodCount, JVMPI_Method *methods,
                 jint staticCount, JVMPI_Field *statics, jint instanceCount, JVMPI_Field *instances, jint) {
    ++Profiler().classes;
    std::string name = className != nullptr ? className : "?";
    std::vector<int32_t> timed;
    uint32_t classIndex = methods != nullptr && methodCount > 0 ? RememberClass(name, sourceName) : 0;
    for (jint i = 0; methods != nullptr && i < methodCount; ++i) {
        auto id = static_cast<int32_t>(reinterpret_cast<ZVWord>(methods[i].method_id));
        RememberMethod(id, classIndex, methods[i].method_name);
        if (timingFiltered() && methods[i].method_name != nullptr && ZVIsOrdinaryID(static_cast<uint32_t>(id)) &&
            timedMethod(name.c_str(), methods[i].method_name, nullptr, 0))
            timed.push_back(static_cast<int32_t>(ZVIDNumber(static_cast<uint32_t>(id))));
        sFree(methods[i].method_name);
        sFree(methods[i].method_signature);
    }
    sFree(methods);
    if (!timed.empty()) markTimed(std::move(timed));
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
    if (Profiler().settings.has(Kind::kSampled)) StopSampler();
    std::lock_guard<std::mutex> reports(Profiler().reportsMutex);
    writeReports(false);
    Profiler().exitWritten = true;
}

void classUnloaded(jobjectID) { --Profiler().classes; }
void gcStarted() { ++Profiler().collections; }
void threadStarted(JNIEnv *) {
    ++Profiler().activeThreads;
    ++Profiler().startedThreads;
}
void threadEnded(JNIEnv *) { --Profiler().activeThreads; }
jint classCount() { return Profiler().classes; }
jint activeThreadCount() { return std::max<jint>(Profiler().activeThreads, 0); }
jint totalThreadCount() { return Profiler().startedThreads; }
jint gcCount() { return Profiler().collections; }

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

// Every kind of profile of the settings, the sampler's last.
void startKinds(JNIEnv *env) {
    if (Profiler().settings.has(Kind::kTiming)) {
        if (!zviStartMethodTiming(env, timingFiltered() ? 1 : 0))
            fputs("Zentrova profiler: methods cannot be timed: the instrumentation runtime is inactive\n", stderr);
        // The methods of the classes loaded so far (the start-up classes),
        // marked now that timing runs; later classes mark their own.
        std::vector<int32_t> pending;
        {
            std::lock_guard<std::mutex> lock(Profiler().timedMutex);
            Profiler().timingStarted = true;
            pending.swap(Profiler().timedPending);
        }
        if (!pending.empty()) zviTimeMethods(env, pending.data(), static_cast<int32_t>(pending.size()));
    }
    if (Profiler().settings.has(Kind::kAlloc) && !StartAllocationProfile(Profiler().settings.allocBytes))
        fputs("Zentrova profiler: this VM does not sample allocations for the profiler (or the memory profiler "
              "follows every allocation); no allocation profile\n", stderr);
    if (Profiler().settings.has(Kind::kLock) && !StartLockProfile())
        fputs("Zentrova profiler: this VM does not report monitor contention; no lock profile\n", stderr);
    bool interval = Profiler().settings.intervalSeconds > 0;
    if (!Profiler().settings.has(Kind::kSampled)) {
        if (interval && zviCreateSystemThread("profiler intervals", intervalMain) != JNI_OK)
            fputs("Zentrova profiler: the interval thread could not be started; no interval reports\n", stderr);
        return;
    }
    if (interval) OnInterval([] { intervalEnded(); });
    if (!StartSampler(Profiler().settings)) fputs("Zentrova profiler: the sampler thread could not be started\n", stderr);
}

void javaInit(JNIEnv *env) {
    // Threads that started before the table was installed.
    zviDataLock();
    for (JNIEnv **at = zviGetActiveThreads(); at != nullptr && *at != nullptr; ++at) {
        ++Profiler().activeThreads;
        ++Profiler().startedThreads;
    }
    zviDataUnlock();
    zviSetHandlers(&gTable);
    if (Profiler().settings.calls) zviStartCallCounting(env);
    if (!zviRegisterAuditCommand("profile", "profile KIND", answerProfile))
        fputs("Zentrova profiler: the audit port's profile command is taken\n", stderr);
    RegisterControlCommands();
    startKinds(env);
}

}  // namespace

}  // namespace profiler

extern "C" __attribute__((visibility("default"))) ZVExtensionRecord *ZVInitFunction(JavaVM *vm, int32_t,
                                                                                  ZVServices *,
                                                                                  SEElement *initArgs, int32_t) {
    using namespace profiler;
    Profiler().vm = vm;
    Profiler().settings = ReadSettings(readArguments(initArgs));
    int32_t period = 0, time = 0;
    if (zviGetSamplerOptions(&period, &time)) AdoptAgentOptions(Profiler().settings, period, time);
    // Exact call counts go with the sampled profile (the timed one has its own).
    if (!Profiler().settings.has(Kind::kSampled)) Profiler().settings.calls = false;
    // Probes in the timed methods alone, as the other methods' would only
    // cost: the timed tree keeps nothing of them.
    if (timingFilteredOnly() && !zviInstrumentOnly(timedMethod))
        fputs("Zentrova profiler: every method stays instrumented (classes were instrumented before the profiler "
              "started, or another extension chose the methods)\n", stderr);
    Profiler().record.order = 0;
    if (Profiler().settings.enabled) Profiler().record.javaInit = javaInit;
    // The extension's event, unlike the handler table's, comes after the
    // thread left the registry (see ThreadEnded).
    Profiler().record.threadEnded = ThreadEnded;
    return &Profiler().record;
}
