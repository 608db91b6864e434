// What the profiler extension is asked to do, from its initArgs (the
// extension table's and the agent options' E<name>.<key>=value entries).
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace profiler {

struct Settings {
    int periodMs = 10;       // "period": sampler period in milliseconds, 1 to 10000
    bool cpu = true;         // "mode": "cpu" weighs samples by CPU time, "wall" (or "clock") by elapsed time
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
};

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
