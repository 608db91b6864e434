// What extensions ask about the tool and its options: the tool number, the
// log file and the unit-test snapshot settings.
#include "config/config.h"
#include "ext/extensions.h"

int zviGetToolID(void) { return 5; }

const char *zviGetLogFile(void) { return gAgentOptions.logEnabled ? gAgentOptions.logFile : nullptr; }

int zviGetLogFileSeverity(void) { return gAgentOptions.logSeverity; }

const char *zviGetUnitTestSnapDB(void) { return gAgentOptions.unitTestSnapDB; }

const char *zviGetUnitTestSnapDir(void) { return gAgentOptions.unitTestSnapDir; }
