#include "settings.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cctype>
#include <cstring>
#include <string_view>

#include "zvi.h"

namespace profiler {

namespace {

constexpr int kMinPeriod = 1, kMaxPeriod = 10000;
constexpr long kMaxInterval = 24 * 3600;  // seconds

constexpr const char *kKeys[] = {"period", "mode", "lines", "enabled", "calls", "threads", "text", "collapsed",
                                 "html", "pprof", "interval", "alloc", "methods"};
constexpr long kMaxAllocBytes = 1L << 30;
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
                            "threads, calls, enabled, text, collapsed, html, pprof, interval, alloc and methods\n", key);
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

// "cpu+alloc": the kinds in order; an unknown or repeated one is named and left out.
void readModes(const std::string &value, Settings &s) {
    std::vector<Kind> kinds;
    std::vector<std::string> unknown;
    bool sampled = false, cpu = true;
    for (size_t start = 0; start <= value.size();) {
        size_t plus = value.find('+', start);
        std::string mode = value.substr(start, plus == std::string::npos ? std::string::npos : plus - start);
        start = plus == std::string::npos ? value.size() + 1 : plus + 1;
        Kind kind = Kind::kSampled;
        if (mode == "cpu" || mode == "wall" || mode == "clock") {
            if (!sampled) cpu = mode == "cpu";
            sampled = true;
        } else if (mode == "timing") {
            kind = Kind::kTiming;
        } else if (mode == "alloc") {
            kind = Kind::kAlloc;
        } else if (mode == "lock") {
            kind = Kind::kLock;
        } else {
            unknown.push_back(mode);
            continue;
        }
        if (std::find(kinds.begin(), kinds.end(), kind) == kinds.end()) kinds.push_back(kind);
    }
    for (const std::string &mode : unknown)
        fprintf(stderr, "Zentrova profiler: mode %s is not cpu, wall, timing, alloc or lock; %s\n", mode.c_str(),
                kinds.empty() ? "using cpu" : "left out");
    if (kinds.empty()) return;
    s.kinds = kinds;
    s.modeGiven = sampled;
    if (sampled) s.cpu = cpu;
}

// '*' matches any run of characters; the pattern ends where the view does.
bool globMatches(std::string_view pattern, std::string_view text) {
    size_t p = 0, t = 0, star = std::string_view::npos, resume = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = t;
        } else if (p < pattern.size() && pattern[p] == text[t]) {
            ++p;
            ++t;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            t = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

}  // namespace

bool Settings::has(Kind kind) const { return std::find(kinds.begin(), kinds.end(), kind) != kinds.end(); }

std::string KindSuffix(const Settings &settings, Kind kind) {
    if (settings.kinds.empty() || settings.kinds.front() == kind) return "";
    switch (kind) {
        case Kind::kSampled: return settings.cpu ? "-cpu" : "-wall";
        case Kind::kTiming: return "-timing";
        case Kind::kAlloc: return "-alloc";
        case Kind::kLock: return "-lock";
    }
    return "";
}

std::string WithSuffix(const std::string &path, const std::string &suffix) {
    size_t slash = path.rfind('/'), dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash) || dot == slash + 1)
        return path + suffix;
    return path.substr(0, dot) + suffix + path.substr(dot);
}

bool MethodMatches(std::string_view patterns, std::string_view method) {
    // Asked for every method of every class loaded: no allocation once the
    // thread's buffer is large enough.
    thread_local std::string classPattern;
    for (size_t start = 0; start <= patterns.size();) {
        size_t bar = patterns.find('|', start);
        std::string_view pattern = patterns.substr(start, bar == std::string_view::npos ? std::string_view::npos : bar - start);
        start = bar == std::string_view::npos ? patterns.size() + 1 : bar + 1;
        if (pattern.empty()) continue;
        if (globMatches(pattern, method)) return true;
        classPattern.assign(pattern);
        classPattern += ".*";
        if (globMatches(classPattern, method)) return true;
    }
    return false;
}

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
    if (text(args, "mode", value)) readModes(value, s);
    if (text(args, "alloc", value)) {
        errno = 0;
        char *end = nullptr;
        long amount = strtol(value.c_str(), &end, 10);
        std::string unit = end != nullptr ? end : "";
        long scale = unit.empty() ? 1 : unit == "k" || unit == "K" ? 1024 : unit == "m" || unit == "M" ? 1 << 20 : 0;
        if (errno == 0 && end != value.c_str() && scale > 0 && amount >= 1 && amount <= kMaxAllocBytes / scale) {
            s.allocBytes = amount * scale;
            if (!s.has(Kind::kAlloc)) s.kinds.push_back(Kind::kAlloc);
        } else {
            fprintf(stderr, "Zentrova profiler: alloc=%s is not a size from 1 byte to 1g (such as 512k or 2m); "
                            "allocations are not profiled\n", value.c_str());
        }
    }
    text(args, "methods", s.methods);
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
