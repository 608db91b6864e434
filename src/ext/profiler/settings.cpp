#include "settings.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "support/elements.h"

namespace profiler {

namespace {

constexpr int kMinPeriod = 1, kMaxPeriod = 10000;

// Arguments come as strings from the table's text and the options, as numbers when built in code.
bool text(const SEElement *args, const char *key, std::string &out) {
    const SEElement *value = args != nullptr && args->type == SE_MAP ? SEMapGet(args, key) : nullptr;
    if (value == nullptr) return false;
    if (value->type == SE_STRING) {
        out = SEGetString(value);
        return true;
    }
    if (value->type == SE_INT32) {
        out = std::to_string(static_cast<int32_t>(value->value));
        return true;
    }
    fprintf(stderr, "Zentrova profiler: argument %s is neither text nor a number; ignored\n", key);
    return false;
}

void flag(const SEElement *args, const char *key, bool &out) {
    std::string value;
    if (!text(args, key, value)) return;
    if (value == "true" || value == "1") out = true;
    else if (value == "false" || value == "0") out = false;
    else fprintf(stderr, "Zentrova profiler: %s=%s is not true or false; ignored\n", key, value.c_str());
}

}  // namespace

Settings ReadSettings(const SEElement *args) {
    Settings s;
    std::string value;
    if (text(args, "period", value)) {
        errno = 0;
        char *end = nullptr;
        long period = strtol(value.c_str(), &end, 10);
        if (errno == 0 && end != value.c_str() && *end == '\0' && period >= kMinPeriod && period <= kMaxPeriod) {
            s.periodMs = static_cast<int>(period);
            s.periodGiven = true;
        } else
            fprintf(stderr, "Zentrova profiler: period %s is not a number of milliseconds from %d to %d; using %d\n",
                    value.c_str(), kMinPeriod, kMaxPeriod, s.periodMs);
    }
    if (text(args, "mode", value)) {
        s.modeGiven = value == "cpu" || value == "wall" || value == "clock";
        if (s.modeGiven) s.cpu = value == "cpu";
        else fprintf(stderr, "Zentrova profiler: mode %s is not wall or cpu; using wall\n", value.c_str());
    }
    flag(args, "lines", s.lines);
    flag(args, "enabled", s.enabled);
    flag(args, "calls", s.calls);
    text(args, "text", s.text);
    text(args, "collapsed", s.collapsed);
    text(args, "html", s.html);
    return s;
}

void AdoptAgentOptions(Settings &s, int samplerPeriod, int samplerTime) {
    if (!s.periodGiven && samplerPeriod != 0) {
        if (samplerPeriod >= kMinPeriod && samplerPeriod <= kMaxPeriod) s.periodMs = samplerPeriod;
        else fprintf(stderr, "Zentrova profiler: sampler period %d is not from %d to %d ms; using %d\n",
                     samplerPeriod, kMinPeriod, kMaxPeriod, s.periodMs);
    }
    if (!s.modeGiven && (samplerTime == 1 || samplerTime == 2)) s.cpu = samplerTime == 2;
}

}  // namespace profiler
