// What the profiler extension is asked to do, from its initArgs (the
// extension table's and the agent options' E<name>.<key>=value entries).
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace profiler {

// The kinds of profile a run can make at once, each with its own files.
enum class Kind { kSampled, kTiming, kAlloc, kLock };

struct Settings {
    int periodMs = 10;       // "period": sampler period in milliseconds, 1 to 10000
    // "mode": kinds joined by '+' ("cpu+alloc+lock"): "cpu" samples weighed by
    // CPU time, "wall" (or "clock") by elapsed time, "timing" exact method
    // times, "alloc" sampled allocations, "lock" monitor contention. The first
    // kind writes the usual file names, the others insert "-KIND" before the
    // extension (zvprofile-alloc.html).
    std::vector<Kind> kinds{Kind::kSampled};
    bool cpu = true;         // the sampled kind weighs samples by CPU time, else by elapsed time
    long allocBytes = 512 * 1024;  // "alloc": allocation sample interval (512k, 2m, 4096), adds "alloc" to the kinds
    std::string methods;     // "methods": the timed methods, patterns joined by '|'; "" times every method
    bool threads = false;    // "threads": one root per thread
    bool periodGiven = false, modeGiven = false;  // by the arguments, which win over the agent's options
    bool lines = false;      // "lines": frames of the collapsed stacks and flame graph carry ":LINE"
    bool enabled = true;     // "enabled": "false" loads the extension without sampling
    bool calls = true;       // "calls": "false" leaves the exact call counting off
    std::string text = "zvprofile.txt";            // "text": call tree and flat profile; "" for none
    std::string collapsed = "zvprofile.collapsed";  // "collapsed": collapsed stacks; "" for none
    std::string html = "zvprofile.html";            // "html": flame graph page; "" for none
    std::string pprof;                              // "pprof": gzip-compressed pprof profile; "" (default) for none
    int intervalSeconds = 0;  // "interval" (60s, 5m, 1h): time-stamped reports of each interval; 0: none

    bool has(Kind kind) const;
};

// "-alloc" for the files of a kind that is not the run's first, else "".
std::string KindSuffix(const Settings &settings, Kind kind);
// "zvprofile.txt" + "-alloc" → "zvprofile-alloc.txt" (before the last dot of the file name).
std::string WithSuffix(const std::string &path, const std::string &suffix);
// Whether "Class.method" matches a pattern of "methods": '*' matches any run
// of characters; a pattern that names a class matches its methods.
bool MethodMatches(std::string_view patterns, std::string_view method);

// One argument as the agent hands it over: its kind (ZV_ARGUMENT_TEXT,
// _NUMBER or _OTHER) and its text.
struct Argument {
    int kind;
    std::string text;
};
using Arguments = std::vector<std::pair<std::string, Argument>>;

// An unknown key, a value that is not one of the allowed ones, or a key or
// value with stray spaces (", key=value") is ignored with a warning on
// standard error that names it; the rest is read.
Settings ReadSettings(const Arguments &args);
// The agent's CPU profiler options (sampler period in ms; time 1 clock, 2 CPU)
// for what the arguments left open; values out of range are ignored with a message.
void AdoptAgentOptions(Settings &settings, int samplerPeriod, int samplerTime);

}  // namespace profiler
