// Clocks: the monotonic clock in milliseconds and nanoseconds, and the wall
// clock.
#pragma once

#include <cstdint>

// Ticks per second of MonotonicNanos.
constexpr int64_t kMonotonicFrequency = 1000000000;

// Monotonic milliseconds truncated to 32 bits: wraps after about 49.7 days,
// so compare readings by unsigned difference.
uint32_t MonotonicMillis();
int64_t MonotonicNanos();
// Seconds and milliseconds since 1970-01-01 UTC.
int64_t WallClockSeconds();
int64_t WallClockMillis();
