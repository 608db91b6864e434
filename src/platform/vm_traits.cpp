// The traits of each VM product the agent knows, by flavour code.
#include "platform/vm_traits.h"

#include "zvi.h"

VMTraits VMTraitsOf(int flavour) {
    VMTraits traits;
    bool hotspot = flavour == ZV_VM_HOTSPOT;
    bool ibm = flavour == ZV_VM_IBM;
    bool classic = flavour == ZV_VM_CLASSIC;
    bool jrockit = flavour == ZV_VM_JROCKIT;
    traits.cpuTimeShowsRun = hotspot || ibm || classic || jrockit;
    traits.helperThreadsStartElsewhere = hotspot || ibm || jrockit;
    traits.clearsStorageOfStartingThreads = !ibm;
    traits.preparesContextsAtThreadStart = !ibm;
    traits.asksThreadForContext = !ibm;
    traits.objectDumpsOverrun = hotspot || jrockit;
    traits.greenThreads = classic;
    traits.rewritesThreadClass = !jrockit;
    traits.instrumentsBeforeInitialisation = !jrockit;
    return traits;
}
