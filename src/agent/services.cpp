// The agent core's services in the record handed to extensions.
#include "agent/agent.h"
#include "agent/agent_internal.h"
#include "ext/extensions.h"
#include "pri/backtraces.h"

namespace {

template <typename Function>
ZVWord word(Function function) {
    return reinterpret_cast<ZVWord>(function);
}

// The marker and backtrace services of the instrumentation runtime; each
// answers 0 while the runtime is inactive.
void installMarkerServices(ZVWord *w) {
    w[14] = word(PRIPushMarker);
    w[15] = word(PRIPopMarker);
    w[16] = word(PRIMarkerExists);
    w[19] = word(PRIMarkerNameForNumber);
    w[20] = word(zviGetBacktraceUsingBacktracePushMarker);
    w[22] = word(PRIRegisterStackName);
    w[27] = word(PRIMarkerDataForID);
}

}  // namespace

// Words of other subsystems (contexts, directory services) stay 0 until
// those subsystems provide them.
void ZVInstallAgentServices() {
    ZVWord *w = ZVGetServices()->words;
    installMarkerServices(w);
    w[0] = 9;
    w[1] = 8;
    w[2] = word(zviSetThreadLocalStorage);
    w[3] = word(zviGetThreadLocalStorage);
    w[4] = word(zviCreateSystemThread);
    w[5] = word(zviGetJNIEnvForSystemThreadNamed);
    w[9] = word(zviMonitorAllocate);
    w[10] = word(zviMonitorEnter);
    w[11] = word(zviMonitorExit);
    w[12] = word(zviMonitorWait);
    w[13] = word(zviMonitorNotify);
    w[17] = word(zviAddExtension);
    w[18] = word(zviHandleForObject);
    w[ZV_SERVICE_PRIORITIZED_CALL] = word(ZVInvokePrioritizedStaticCall);
    w[28] = word(zviGetGCInfo);
    w[29] = word(zviGetClassCountValue);
    w[30] = word(zviGetActiveThreadCountValue);
    w[31] = word(zviGetTotalThreadCountValue);
}
