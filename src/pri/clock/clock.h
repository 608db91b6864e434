// The profiler clock: which time source backs the Java side's time stamps
// (the time-stamp counter, the monotonic counter or the millisecond timer),
// chosen once per process, and the natives that read it.
#pragma once

#include <jni.h>

#include <cstdint>

#include "platform/export.h"

// Clock modes.
enum : int32_t {
    PRI_CLOCK_MILLIS = 0,    // the millisecond timer: stamps in microseconds, frequency 1
    PRI_CLOCK_TSC = 1,       // the time-stamp counter: frequency in ticks per microsecond
    PRI_CLOCK_COUNTER = -1,  // the monotonic counter: frequency in ticks per millisecond
};

// Set before the clock is initialised (the ignoreCPUFrequency option): never
// use the time-stamp counter.
void PRIClockSetDisableTSC(int disable);
// Chooses the mode and the frequency, once. In TSC mode the counter's rate is
// measured from here to the first PRIGetClockFrequency (10 ms at least), which
// prints it with a warning on standard error.
void PRIClockInitialize(void);
int PRIClockIsInitialized(void);
int32_t PRIClockMode(void);
// Initialises the clock first if needed; *mode (when not null) receives the mode.
int64_t PRIGetClockFrequency(int32_t *mode);

// The time-stamp counter and nothing else: ZVTime.time0 in TSC mode.
jlong JNICALL PRITimeStampCounterTime0(JNIEnv *env, jclass clazz);

// The raw time-stamp counter.
ZV_EXPORT jlong JNICALL ZVContext_currentTimeFast(JNIEnv *env, jclass clazz);
// The monotonic counter in counter mode, else the millisecond timer x 1000;
// ZVTime.time0 outside TSC mode.
ZV_EXPORT jlong JNICALL ZVContext_currentTimeSlow(JNIEnv *env, jclass clazz);
// ZVContext.frequency0: the frequency, in the unit of the mode.
ZV_EXPORT jlong JNICALL ZVContext_frequency(JNIEnv *env, jclass clazz);
