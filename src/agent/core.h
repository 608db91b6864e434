// The agent core's owner: the process-wide agent state together with what
// the core's files keep between events (thread lists, dumps, the prioritised
// service, the context natives' method IDs, the VM's traits). The record of
// the running agent is created when the library loads and never destroyed,
// since VM threads read it until the process ends; tests install a fresh
// record for each case instead of resetting this one.
#pragma once

#include <jni.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "agent/agent.h"
#include "platform/request_listener.h"
#include "platform/vm_traits.h"

// The dump the VM delivered on the requesting thread (dumps.cpp).
struct ZVDumpState {
    void (*heapCallback)(char *bytes, int length) = nullptr;  // one-shot, set while waiting
    char *heapBytes = nullptr;
    int32_t heapLength = 0;
    int32_t heapSize = 0;
    int32_t heapGeneration = 0;
    char *objectBytes = nullptr;
    int32_t objectCapacity = 0;
    int32_t objectLength = 0;
    int32_t objectGeneration = 0;
    int32_t objectMaximum = 0;  // most bytes of an object dump to keep

    ZVDumpState() = default;
    ZVDumpState(const ZVDumpState &) = delete;
    ZVDumpState &operator=(const ZVDumpState &) = delete;
    ~ZVDumpState();
};

// The prioritised static-call service (system_threads.cpp).
struct ZVPrioritizedService {
    zviMonitor *requestLock = nullptr;    // "requestLock": serialises requests; start-up handshake
    zviMonitor *requestNotify = nullptr;  // "requestNotify": a request is pending
    zviMonitor *resultNotify = nullptr;   // "resultNotify": the request was served
    bool started = false;                 // the "ext_request" thread was asked for
    bool running = false;                 // a service loop runs
    bool pending = false;
    jclass clazz = nullptr;
    jmethodID method = nullptr;
    jobject argument = nullptr;

    ZVPrioritizedService() = default;
    ZVPrioritizedService(const ZVPrioritizedService &) = delete;
    ZVPrioritizedService &operator=(const ZVPrioritizedService &) = delete;
    ~ZVPrioritizedService();
};

// The audit port: the commands extensions registered, and the listener that
// answers them (audit_commands.cpp).
struct ZVAuditCommandEntry {
    std::string name, usage;
    ZVAuditCommand answer;
};
struct ZVAuditPort {
    std::mutex mutex;  // guards commands and listener
    std::vector<ZVAuditCommandEntry> commands;
    RequestListener listener;  // fd -1 until the port listens
};

// Method IDs of the natives whose compiled code direct instrumentation
// patches (class_load.cpp).
struct ZVContextMethods {
    jmethodID getContext0 = nullptr;
    jmethodID notifyMethodEnterWillExit = nullptr;
    jmethodID notifyMethodEntered = nullptr;
    jmethodID notifyMethodExited = nullptr;
    jmethodID time0 = nullptr;
};

struct ZVAgentCore {
    ZVAgentState state;
    VMTraits traits;
    char *optionsText = nullptr;      // what the native getOptions answers
    JNIEnv **activeList = nullptr;    // zviGetActiveThreads' answer, null-terminated
    int32_t activeCapacity = 0;       // entries, without the terminator
    JNIEnv *samplerThread = nullptr;  // the thread zviSetSamplerThread named
    int32_t gcNesting = 0;            // changed only under the data lock
    bool bootClassPathChecked = false;
    ZVContextMethods contextMethods;
    ZVDumpState dumps;
    ZVPrioritizedService service;
    ZVAuditPort auditPort;
    jclass nativeClass = nullptr;  // global reference to meridyn/audit/Native
    jmethodID waitForever = nullptr;

    ZVAgentCore();
    ZVAgentCore(const ZVAgentCore &) = delete;
    ZVAgentCore &operator=(const ZVAgentCore &) = delete;
    // Releases the tables, buffers and monitors the record holds.
    ~ZVAgentCore();
};

// The installed record; read once per use, never looked up.
extern ZVAgentCore *gZVCore;
inline ZVAgentCore &ZVCore() { return *gZVCore; }

// Installs core as the agent's record and returns the one it replaces, which
// the caller may destroy once no thread uses it (tests).
ZVAgentCore *ZVInstallCore(ZVAgentCore *core);
