// The clock's decisions on injectable time sources, so that mode selection
// and the counter calibration can be checked against chosen readings.
#pragma once

#include <cstdint>

struct PRIClockSources {
    int64_t (*counterFrequency)();  // ticks per second of counter; 0 when there is none
    int64_t (*counter)();
    uint64_t (*timeStampCounter)();
    bool (*hasTimeStampCounter)();
};

// The monotonic clock in nanoseconds, rdtsc and CPUID.
const PRIClockSources &PRISystemClockSources();

struct PRIClockChoice {
    int32_t mode;
    int64_t frequency;
};

// Chooses the mode and frequency from the sources; in TSC mode measures the
// rate and prints the frequency message and the warning on standard error.
PRIClockChoice PRIChooseClock(const PRIClockSources &sources, int disableTSC);

// Time-stamp-counter ticks per microsecond (rounded), the median of five
// 10 ms measurements between bracketed readings of the counter,
// measured at raised priority; the process's and the thread's priorities
// are put back as they were.
int64_t PRIMeasureTSCRate(const PRIClockSources &sources);
