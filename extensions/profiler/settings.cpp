#include "settings.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cctype>
#include <cstring>

#include "zvi.h"

namespace profiler {

namespace {

constexpr int kMinPeriod = 1, kMaxPeriod = 10000;
constexpr long kMaxInterval = 24 * 3600;  // seconds

constexpr const char *kKeys[] = {"period", "mode", "lines", "enabled", "calls", "threads", "text", "collapsed", "html", "pprof", "interval"};
// What the agent hands every extension along with its own arguments.
constexpr const char *kSharedKeys[] = {"reportErrors", "reportWarnings", "reportSoftWarnings", "reportExceptions",
                                       "ignoreTraining"};

bool listed(const char *key, auto &keys) {
    for (const char *known : keys)
        if (strcmp(key, known) == 0) return true;
    return false;
}

bool hasSpaceAtAnEnd(const std::string &text) {
    return !text.empty() && (isspace(static_cast<unsigned char>(text.front())) ||
                             isspace(static_cast<unsigned char>(text.back())));
}

// Keys the profiler does not know, the usual trace of a typo or of a space
// after a comma in the options.
void warnUnknownKeys(const Arguments &args) {
    for (const auto &[name, value] : args) {
        const char *key = name.c_str();
        if (listed(key, kKeys) || listed(key, kSharedKeys)) continue;
        std::string trimmed = key;
        while (!trimmed.empty() && isspace(static_cast<unsigned char>(trimmed.front()))) trimmed.erase(0, 1);
        while (!trimmed.empty() && isspace(static_cast<unsigned char>(trimmed.back()))) trimmed.pop_back();
        if (trimmed != key && listed(trimmed.c_str(), kKeys))
            fprintf(stderr, "Zentrova profiler: argument '%s' has a space in its name (after a comma?); ignored\n", key);
        else
            fprintf(stderr, "Zentrova profiler: unknown argument '%s' ignored; the arguments are period, mode, lines, "
                            "threads, calls, enabled, text, collapsed, html, pprof and interval\n", key);
    }
}

// Arguments come as strings from the table's text and the options, as numbers when built in code.
bool text(const Arguments &args, const char *key, std::string &out) {
    auto found = std::find_if(args.begin(), args.end(), [&](const auto &arg) { return arg.first == key; });
    if (found == args.end()) return false;
    const Argument *value = &found->second;
    if (value->kind == ZV_ARGUMENT_TEXT) {
        out = value->text;
        if (hasSpaceAtAnEnd(out)) {
            fprintf(stderr, "Zentrova profiler: %s='%s' has a space in its value (after a comma?); ignored\n", key,
                    out.c_str());
            return false;
        }
        return true;
    }
    if (value->kind == ZV_ARGUMENT_NUMBER) {
        out = value->text;
        return true;
    }
    fprintf(stderr, "Zentrova profiler: argument %s is neither text nor a number; ignored\n", key);
    return false;
}

void flag(const Arguments &args, const char *key, bool &out) {
    std::string value;
    if (!text(args, key, value)) return;
    if (value == "true" || value == "1") out = true;
    else if (value == "false" || value == "0") out = false;
    else fprintf(stderr, "Zentrova profiler: %s=%s is not true or false; ignored\n", key, value.c_str());
}

}  // namespace

Settings ReadSettings(const Arguments &args) {
    Settings s;
    std::string value;
    warnUnknownKeys(args);
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
        else fprintf(stderr, "Zentrova profiler: mode %s is not wall or cpu; using cpu\n", value.c_str());
    }
    flag(args, "lines", s.lines);
    flag(args, "enabled", s.enabled);
    flag(args, "calls", s.calls);
    flag(args, "threads", s.threads);
    text(args, "text", s.text);
    text(args, "collapsed", s.collapsed);
    text(args, "html", s.html);
    text(args, "pprof", s.pprof);
    if (text(args, "interval", value)) {
        errno = 0;
        char *end = nullptr;
        long amount = strtol(value.c_str(), &end, 10);
        std::string unit = end != nullptr ? end : "";
        long scale = unit.empty() || unit == "s" ? 1 : unit == "m" ? 60 : unit == "h" ? 3600 : 0;
        if (errno == 0 && end != value.c_str() && scale > 0 && amount >= 1 && amount <= kMaxInterval / scale)
            s.intervalSeconds = static_cast<int>(amount * scale);
        else
            fprintf(stderr, "Zentrova profiler: interval %s is not a time from 1s to 24h (such as 60s, 5m or 1h); "
                            "reports are written at the exit only\n", value.c_str());
    }
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
