// Which VM product the agent runs in, judged from the VM library that is
// loaded in the process and the exports it has.
#include <cstring>
#include <string>

#include "agent/agent_internal.h"
#include "agent/core.h"
#include "platform/module.h"

namespace {

int detectFlavor() {
    if (IsModuleLoaded("jvm.dll")) {
        std::string path = LoadedModulePath("jvm.dll");
        if (path.size() > 259) path.resize(259);  // the module name as the VM reports it
        if (path.find("jrockit") != std::string::npos) return ZV_VM_JROCKIT;
        void *module = LoadedModuleHandle("jvm.dll");
        if (LibrarySymbol(module, "MakeClassSticky") != nullptr) return ZV_VM_CLASSIC;
        if (LibrarySymbol(module, "_IBMJVM_ForName@12") != nullptr) return ZV_VM_IBM;
        return ZV_VM_HOTSPOT;
    }
    return IsModuleLoaded("evmcoreDev.dll") ? ZV_VM_JEODE : ZV_VM_UNKNOWN;
}

}  // namespace

int zviGetVMFlavor(void) {
    int32_t &cache = ZVState().vmFlavor;
    if (cache < 0) cache = detectFlavor();  // racing callers store the same value
    return cache;
}

const VMTraits &ZVTraits() { return ZVCore().traits; }

void ZVDecideVMTraits(int flavour) { ZVCore().traits = VMTraitsOf(flavour); }

const char *zviGetVMFlavorDescription(void) {
    switch (zviGetVMFlavor()) {
        case ZV_VM_CLASSIC: return "Classic runtime";
        case ZV_VM_IBM: return "IBM VM";
        case ZV_VM_HOTSPOT: return "Hotspot runtime";
        case ZV_VM_JEODE: return "Jeode EVM";
        case ZV_VM_JROCKIT: return "BEA WebLogic JRockit";
        default: return "Unknown VM";
    }
}
