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

// A time-stamp-counter reading and the counter's reading at the same moment:
// the middle of the narrowest of a few counter readings around it, so that
// losing the processor between two readings cannot skew it.
struct PRITSCStamp {
    int64_t counter;
    int64_t tsc;
};
PRITSCStamp PRITakeTSCStamp(const PRIClockSources &sources);
// Time-stamp-counter ticks per microsecond from first to second (0 when no
// time passed); frequency is the counter's, per second.
double PRITSCRateBetween(const PRITSCStamp &first, const PRITSCStamp &second, int64_t frequency);

// Prints the rate (in MHz) and the advice about unsynchronised counters on
// standard error.
void PRIReportTSCRate(int64_t rate);

// Time-stamp-counter ticks per microsecond (rounded), the median of five
// 10 ms measurements between bracketed readings of the counter,
// measured at raised priority; the process's and the thread's priorities
// are put back as they were.
int64_t PRIMeasureTSCRate(const PRIClockSources &sources);
