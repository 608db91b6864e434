// System threads inside the VM, and the prioritised service that runs Java
// static calls on a system thread where the VM needs it (Classic).
#include <cstdio>
#include <cstdlib>

#include "agent/agent_internal.h"
#include "agent/core.h"

namespace {

constexpr jint kWaitMillis = 100000000;

void createMonitors() {
    ZVPrioritizedService &service = ZVCore().service;
    zviDataLock();
    if (service.requestLock == nullptr) {
        service.requestLock = zviMonitorAllocate("requestLock");
        service.requestNotify = zviMonitorAllocate("requestNotify");
        service.resultNotify = zviMonitorAllocate("resultNotify");
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
    ZVPrioritizedService &service = ZVCore().service;
    zviMonitorEnter(service.requestLock);
    if (!service.started) {
        service.started = true;
        zviCreatePrioritizedSystemThread("ext_request", 10, serviceThreadMain);
    }
    while (!service.running) zviMonitorWait(service.requestLock, kWaitMillis);
    zviMonitorExit(service.requestLock);
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
    ZVPrioritizedService &service = ZVCore().service;
    JNIEnv *env = serviceEnv();
    createMonitors();
    zviMonitorEnter(service.requestLock);
    service.running = true;
    zviMonitorNotify(service.requestLock);
    zviMonitorExit(service.requestLock);
    for (;;) {
        zviMonitorEnter(service.requestNotify);
        while (!service.pending) zviMonitorWait(service.requestNotify, kWaitMillis);
        zviMonitorExit(service.requestNotify);
        env->CallStaticVoidMethod(service.clazz, service.method, service.argument, jint(0));
        zviMonitorEnter(service.resultNotify);
        service.pending = false;
        service.clazz = nullptr;
        service.method = nullptr;
        service.argument = nullptr;
        zviMonitorNotify(service.resultNotify);
        zviMonitorExit(service.resultNotify);
    }
}

void ZVInvokePrioritizedStaticCall(JNIEnv *env, jclass clazz, jmethodID method, jobject argument) {
    ZVPrioritizedService &service = ZVCore().service;
    if (argument == nullptr) return;
    if (!ZVTraits().greenThreads) {
        env->CallStaticVoidMethod(clazz, method, argument, jint(1));
        return;
    }
    createMonitors();
    startServiceThread();
    zviMonitorEnter(service.requestLock);
    zviMonitorEnter(service.requestNotify);
    service.clazz = clazz;
    service.method = method;
    service.argument = argument;
    service.pending = true;
    zviMonitorNotify(service.requestNotify);
    zviMonitorExit(service.requestNotify);
    zviMonitorEnter(service.resultNotify);
    while (service.pending) zviMonitorWait(service.resultNotify, kWaitMillis);
    zviMonitorExit(service.resultNotify);
    zviMonitorExit(service.requestLock);
}

ZVPrioritizedService::~ZVPrioritizedService() {
    zviMonitorDestroy(requestLock);
    zviMonitorDestroy(requestNotify);
    zviMonitorDestroy(resultNotify);
}
