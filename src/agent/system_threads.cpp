// System threads inside the VM, and the prioritised service that runs Java
// static calls on a system thread where the VM needs it (Classic).
#include <cstdio>
#include <cstdlib>

#include "agent/agent_internal.h"

namespace {

struct Service {
    zviMonitor *requestLock;    // "requestLock": serialises requests; start-up handshake
    zviMonitor *requestNotify;  // "requestNotify": a request is pending
    zviMonitor *resultNotify;   // "resultNotify": the request was served
    bool started;               // the "ext_request" thread was asked for
    bool running;               // a service loop runs
    bool pending;
    jclass clazz;
    jmethodID method;
    jobject argument;
};

Service gService{};

constexpr jint kWaitMillis = 100000000;

void createMonitors() {
    zviDataLock();
    if (gService.requestLock == nullptr) {
        gService.requestLock = zviMonitorAllocate("requestLock");
        gService.requestNotify = zviMonitorAllocate("requestNotify");
        gService.resultNotify = zviMonitorAllocate("resultNotify");
    }
    zviDataUnlock();
}

JNIEnv *serviceEnv() {
    JavaVM *vm = ZVState().vm;
    JNIEnv *env = nullptr;
    jint result = vm != nullptr ? vm->GetEnv(reinterpret_cast<void **>(&env), JNI_VERSION_1_2) : JNI_EDETACHED;
    if (result == JNI_EDETACHED) {
        fputs("PRI: getCurrentJNIEnv failed (detached thread)\n", stderr);
        exit(1);
    }
    if (result == JNI_EVERSION) {
        fputs("PRI: getCurrentJNIEnv failed (This vm does not support JNI version 1.2)\n", stderr);
        exit(1);
    }
    return env;
}

void serviceThreadMain(void *) { ZVRunPrioritizedService(); }

void startServiceThread() {
    zviMonitorEnter(gService.requestLock);
    if (!gService.started) {
        gService.started = true;
        zviCreatePrioritizedSystemThread("ext_request", 10, serviceThreadMain);
    }
    while (!gService.running) zviMonitorWait(gService.requestLock, kWaitMillis);
    zviMonitorExit(gService.requestLock);
}

}  // namespace

jint zviCreateSystemThread(const char *name, void (*function)(void *)) {
    return zviCreatePrioritizedSystemThread(name, 10, function);
}

jint zviCreatePrioritizedSystemThread(const char *name, int priority, void (*function)(void *)) {
    char text[1024];
    snprintf(text, sizeof text, "__ZV__%s", name != nullptr ? name : "");
    return zvipi->CreateSystemThread(text, priority, function);
}

void ZVRunPrioritizedService(void) {
    JNIEnv *env = serviceEnv();
    createMonitors();
    zviMonitorEnter(gService.requestLock);
    gService.running = true;
    zviMonitorNotify(gService.requestLock);
    zviMonitorExit(gService.requestLock);
    for (;;) {
        zviMonitorEnter(gService.requestNotify);
        while (!gService.pending) zviMonitorWait(gService.requestNotify, kWaitMillis);
        zviMonitorExit(gService.requestNotify);
        env->CallStaticVoidMethod(gService.clazz, gService.method, gService.argument, jint(0));
        zviMonitorEnter(gService.resultNotify);
        gService.pending = false;
        gService.clazz = nullptr;
        gService.method = nullptr;
        gService.argument = nullptr;
        zviMonitorNotify(gService.resultNotify);
        zviMonitorExit(gService.resultNotify);
    }
}

void ZVInvokePrioritizedStaticCall(JNIEnv *env, jclass clazz, jmethodID method, jobject argument) {
    if (argument == nullptr) return;
    if (zviGetVMFlavor() != ZV_VM_CLASSIC) {
        env->CallStaticVoidMethod(clazz, method, argument, jint(1));
        return;
    }
    createMonitors();
    startServiceThread();
    zviMonitorEnter(gService.requestLock);
    zviMonitorEnter(gService.requestNotify);
    gService.clazz = clazz;
    gService.method = method;
    gService.argument = argument;
    gService.pending = true;
    zviMonitorNotify(gService.requestNotify);
    zviMonitorExit(gService.requestNotify);
    zviMonitorEnter(gService.resultNotify);
    while (gService.pending) zviMonitorWait(gService.resultNotify, kWaitMillis);
    zviMonitorExit(gService.resultNotify);
    zviMonitorExit(gService.requestLock);
}

void ZVResetSystemThreads() {
    zviMonitorDestroy(gService.requestLock);
    zviMonitorDestroy(gService.requestNotify);
    zviMonitorDestroy(gService.resultNotify);
    gService = Service{};
}
