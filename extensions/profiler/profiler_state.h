// The profiler's mutable state in one record, made once and never destroyed:
// VM threads (the audit port's, the sampler, threads that allocate or wait
// for a monitor) may still report after the VM's death event, while the
// process runs its exit destructors.
#pragma once

#include <jni.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "profile.h"
#include "reports.h"
#include "settings.h"
#include "zvi.h"

namespace profiler {

struct ProfilerState {
    // The extension (extension.cpp).
    JavaVM *vm = nullptr;
    Settings settings;
    ZVExtensionRecord record{};
    // The call counts at the end of the last interval: each interval's
    // reports count the calls made in it.
    std::mutex callsMutex;
    std::map<std::string, uint64_t> callsBefore;
    // The timed call tree at the end of the last interval (or at a reset),
    // under callsMutex too: reports of timing show what came after it.
    std::vector<TimedNode> timesBefore;
    // One set of reports at a time: an interval's reports and its new start
    // are one step, which the exit's or a data dump's reports come before or after.
    std::mutex reportsMutex;
    bool exitWritten = false;  // the exit's reports are written (under reportsMutex)
    // What the metrics read from the handler table: classes loaded and not
    // unloaded, threads running and started, collections begun.
    std::atomic<jint> classes{0}, activeThreads{0}, startedThreads{0}, collections{0};
    // With a filter, methods are marked for timing as their classes load.
    // Classes that loaded before timing started (the start-up classes, whose
    // loads the agent replays when the handler table is installed) wait in
    // timedPending until it starts; both under timedMutex.
    std::mutex timedMutex;
    bool timingStarted = false;
    std::vector<int32_t> timedPending;

    // The sampler (sampler.cpp).
    struct Sampler {
        Settings settings;
        std::atomic<bool> stop{false};
        std::atomic<bool> paused{false};  // stopped over the audit port
        std::mutex profileMutex;  // the profile and the records
        Profile profile;
        std::unordered_map<JNIEnv *, ZVSampleRecord *> records;
        // With threads=true: the number of each thread's record, and the names by number.
        std::unordered_map<JNIEnv *, int32_t> threadNumbers;
        std::vector<std::string> threadNames;
        // A record's caller word holds its thread's CPU time at the previous snapshot.
        bool firstSnapshot = true;
        int64_t lastSnapshot = 0;
        std::atomic<bool> started{false};
        std::function<void()> intervalHandler;
        std::mutex endedMutex;
        std::vector<JNIEnv *> ended;  // threads unregistered since the last snapshot
    } sampler;

    // Method names (method_names.cpp), under their mutex: every method of
    // every class the program loads, so each class's name and source file
    // are kept once, and each method's own name by its number (identifiers
    // are numbered densely from 1).
    struct MethodNames {
        std::mutex mutex;
        struct Class {
            std::string name;  // dotted
            std::string file;  // "org/example/Main.java", or ""
        };
        struct Method {
            uint32_t classIndex = 0;  // into classes; 0: no method of this number
            std::string name;
        };
        std::vector<Class> classes{Class{}};
        std::vector<Method> byNumber;
    } names;

    // The event profiles (event_profiles.cpp), each under its mutex.
    struct Events {
        std::mutex mutex;
        Profile profile;
        std::vector<std::string> labels;  // class names by label number
        std::unordered_map<std::string, int32_t> numbers;
    } allocations, locks;
    double allocationInterval = 512 * 1024;
};

// The one record, made on first use.
ProfilerState &Profiler();

}  // namespace profiler
