// Clocks on clock_gettime.
#include "platform/clock.h"

#include <time.h>

namespace {

int64_t nanosOf(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

}  // namespace

uint32_t MonotonicMillis() { return static_cast<uint32_t>(nanosOf(CLOCK_MONOTONIC) / 1000000); }

int64_t MonotonicNanos() { return nanosOf(CLOCK_MONOTONIC); }

int64_t WallClockSeconds() { return nanosOf(CLOCK_REALTIME) / 1000000000; }

int64_t WallClockMillis() { return nanosOf(CLOCK_REALTIME) / 1000000; }
