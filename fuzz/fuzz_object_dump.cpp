// Object dumps as the VM delivers them: whatever the record claims, keeping
// and describing a dump never reads past the bytes the event carried.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "agent/agent.h"
#include "agent/agent_internal.h"

namespace {

// A minimal profiler interface: RequestEvent answers with the current input.
const uint8_t *gData = nullptr;
size_t gSize = 0;

jint noEvent(jint, void *) { return JVMPI_SUCCESS; }
JVMPI_RawMonitor createMonitor(char *) { return reinterpret_cast<JVMPI_RawMonitor>(new int(0)); }
void monitorNoop(JVMPI_RawMonitor) {}
void setStorage(JNIEnv *, void *) {}
void *getStorage(JNIEnv *) { return nullptr; }
JVMPI_Interface gInterface{};

jint requestEvent(jint type, void *) {
    JVMPI_Event event{};
    event.event_type = type | JVMPI_REQUESTED_EVENT;
    // An exact-size private copy, so that any read past it is caught.
    char *copy = static_cast<char *>(malloc(gSize > 0 ? gSize : 1));
    if (gSize > 0) memcpy(copy, gData, gSize);
    event.u.object_dump.data = gSize > 0 ? copy : nullptr;
    event.u.object_dump.data_len = static_cast<jint>(gSize);
    gInterface.NotifyEvent(&event);
    free(copy);
    return JVMPI_SUCCESS;
}

jint getEnv(JavaVM *, void **env, jint) {
    *env = &gInterface;
    return JNI_OK;
}

void start() {
    gInterface.version = JVMPI_VERSION_1_1;
    gInterface.EnableEvent = noEvent;
    gInterface.DisableEvent = noEvent;
    gInterface.RequestEvent = requestEvent;
    gInterface.RawMonitorCreate = createMonitor;
    gInterface.RawMonitorEnter = monitorNoop;
    gInterface.RawMonitorExit = monitorNoop;
    gInterface.SetThreadLocalStorage = setStorage;
    gInterface.GetThreadLocalStorage = getStorage;
    static JNIInvokeInterface_ invoke{};
    invoke.GetEnv = getEnv;
    static JavaVM vm{&invoke};
    JVM_OnLoad(&vm, nullptr, nullptr);
    static ZVHandlerTable table{};
    table.classLoaded = [](const char *, ZVWord, char *, jint, JVMPI_Method *, jint, JVMPI_Field *, jint,
                           JVMPI_Field *, jint) {};
    zviSetHandlers(&table);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static bool started = (start(), true);
    (void)started;
    if (size < 2) return 0;
    // First byte: VM flavour and the maximum element count to describe.
    ZVState().vmFlavor = (data[0] & 1) ? ZV_VM_HOTSPOT : ZV_VM_UNKNOWN;
    ZVDecideVMTraits(ZVState().vmFlavor);
    int32_t maximum = data[0] >> 1;
    gData = data + 1;
    gSize = size - 1;
    uint32_t classID = 0;
    int32_t count = 0;
    uint32_t elements[128];
    zviObjectArrayDescription(nullptr, &classID, &count, elements, maximum);
    return 0;
}
