// Where the agent's start-up time goes: with ZV_STARTUP_TIMES set in the
// environment, each mark prints to the standard error stream the time since
// the first mark and the CPU time of the whole process so far (every thread).
#include <cstdio>
#include <cstdlib>
#include <time.h>

#include "platform/jvmpi_emulation.h"

namespace {

double millis(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

}  // namespace

void JvmpiStartupMark(const char *what) {
    static const bool wanted = getenv("ZV_STARTUP_TIMES") != nullptr;
    if (!wanted) return;
    static const double first = millis(CLOCK_MONOTONIC);
    fprintf(stderr, "startup: %-32s %8.1f ms   process CPU %8.1f ms\n", what, millis(CLOCK_MONOTONIC) - first,
            millis(CLOCK_PROCESS_CPUTIME_ID));
}
