// What extensions ask about the tool and its options: the tool number, the
// log file, the unit-test snapshot settings and the CPU sampler options.
#include "config/config.h"
#include "ext/extensions.h"

int zviGetToolID(void) { return 5; }

const char *zviGetLogFile(void) { return gAgentOptions.logEnabled ? gAgentOptions.logFile : nullptr; }

int zviGetLogFileSeverity(void) { return gAgentOptions.logSeverity; }

const char *zviGetUnitTestSnapDB(void) { return gAgentOptions.unitTestSnapDB; }

const char *zviGetUnitTestSnapDir(void) { return gAgentOptions.unitTestSnapDir; }

int zviGetSamplerOptions(int32_t *outPeriod, int32_t *outTime) {
    if (!gAgentOptions.autoStartCPU) return 0;
    if (outPeriod != nullptr) *outPeriod = gAgentOptions.samplerPeriod;
    if (outTime != nullptr) *outTime = gAgentOptions.autoStartCPUTime;
    return 1;
}
