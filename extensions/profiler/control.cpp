// The audit port's "sampling start|stop|reset": stopping pauses the sampler
// and puts the instrumented code into hibernation (each method then only reads
// the flag), starting undoes both, and a reset empties the profile and the
// call counts. A bare "sampling" tells the state.
#include "control.h"

#include <cstring>
#include <cstdio>
#include <mutex>
#include <string>

#include "sampler.h"
#include "zvi.h"

namespace profiler {

namespace {

std::mutex gControlMutex;  // one switch at a time

int answer(char **outReply, int32_t *outLength, const std::string &text, bool ok) {
    *outReply = sStrdup(text.c_str());
    if (ok && *outReply != nullptr) *outLength = static_cast<int32_t>(text.size());
    return ok && *outReply != nullptr ? 1 : 0;
}

std::string state() { return SamplingPaused() ? "sampling stopped\n" : "sampling on\n"; }

int answerSampling(JNIEnv *env, const char *argument, char **outReply, int32_t *outLength) {
    std::string action = argument != nullptr ? argument : "";
    std::lock_guard<std::mutex> lock(gControlMutex);
    if (action.empty()) return answer(outReply, outLength, state(), true);
    if (action == "stop") {
        // Samples stop first: none is taken of stacks the hibernation leaves.
        PauseSampling(true);
        if (!zviSetHibernation(env, 1)) {
            PauseSampling(false);
            return answer(outReply, outLength, "the instrumented code cannot be switched", false);
        }
        return answer(outReply, outLength, state(), true);
    }
    if (action == "start") {
        if (!zviSetHibernation(env, 0))
            return answer(outReply, outLength, "the instrumented code cannot be switched", false);
        PauseSampling(false);
        return answer(outReply, outLength, state(), true);
    }
    if (action == "reset") {
        ResetCollected(env);
        return answer(outReply, outLength, "profile reset; " + state(), true);
    }
    return answer(outReply, outLength, "unknown sampling action '" + action + "'; expected start, stop or reset", false);
}

}  // namespace

void RegisterControlCommands() {
    if (!zviRegisterAuditCommand("sampling", "sampling start|stop|reset", answerSampling))
        fputs("Zentrova profiler: the audit port's sampling command is taken\n", stderr);
}

}  // namespace profiler
