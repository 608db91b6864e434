// What extensions ask about the tool and its options: the tool number, the
// log file, the unit-test snapshot settings and the CPU sampler options.
#include "config/config.h"
#include "ext/extensions.h"

int zviGetToolID(void) { return 5; }

const char *zviGetLogFile(void) { return CurrentOptions().logEnabled ? CurrentOptions().logFile : nullptr; }

int zviGetLogFileSeverity(void) { return CurrentOptions().logSeverity; }

const char *zviGetUnitTestSnapDB(void) { return CurrentOptions().unitTestSnapDB; }

const char *zviGetUnitTestSnapDir(void) { return CurrentOptions().unitTestSnapDir; }

int zviGetSamplerOptions(int32_t *outPeriod, int32_t *outTime) {
    if (!CurrentOptions().autoStartCPU) return 0;
    if (outPeriod != nullptr) *outPeriod = CurrentOptions().samplerPeriod;
    if (outTime != nullptr) *outTime = CurrentOptions().autoStartCPUTime;
    return 1;
}
