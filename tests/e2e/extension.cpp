// The test extension of the end-to-end runs, its behaviour chosen by its
// initArgs: it prints what the agent hands it (identifier, arguments,
// services, events in order) as lines "ext NAME: ...", NAME taken from its
// file name zen_NAMEdev_i.so, and calls some services back. With
// handlers=true it installs the probe's handler table when its Java side
// starts, and prints the extensions added and the shutdown it reports; with
// order=N its record asks for that order; memory=true makes it the memory
// runs' extension (extension_memory.cpp).
#include <jni.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "agent/agent.h"
#include "classfile/classfile.h"
#include "extension.h"
#include "ext/extensions.h"
#include "platform/module.h"
#include "pri/filters/filters.h"
#include "support/elements.h"
#include "support/heap.h"

namespace {
std::string gName;
}  // namespace

void say(const std::string &text) {
    printf("ext %s: %s\n", gName.c_str(), text.c_str());
    fflush(stdout);
}

namespace {

ZVServices *gServices = nullptr;
ZVExtensionRecord gRecord{};
std::atomic<int> gHooks[2], gEnded{0};
bool gInstallHandlers = false;

}  // namespace

const ZVServices *ExtensionServices() { return gServices; }

void FreeClassArrays(char *sourceName, jint methodCount, JVMPI_Method *methods, jint staticCount,
                     JVMPI_Field *statics, jint instanceCount, JVMPI_Field *instances) {
    for (jint i = 0; methods != nullptr && i < methodCount; ++i) {
        sFree(methods[i].method_name);
        sFree(methods[i].method_signature);
    }
    for (auto [fields, count] : {std::pair{statics, staticCount}, std::pair{instances, instanceCount}}) {
        for (jint i = 0; fields != nullptr && i < count; ++i) {
            sFree(fields[i].field_name);
            sFree(fields[i].field_signature);
        }
        sFree(fields);
    }
    sFree(methods);
    sFree(sourceName);
}

namespace {

std::string text(const SEElement *element) {
    if (element == nullptr) return "null";
    char *written = SEWrite(element);
    std::string result = written != nullptr ? written : "?";
    sFree(written);
    return result;
}

bool isTrue(const SEElement *argument) {
    return argument != nullptr && SEGetString(argument) != nullptr && strcmp(SEGetString(argument), "true") == 0;
}

void nameFromFile() {
    std::string path = ModulePathContaining(reinterpret_cast<const void *>(&nameFromFile));
    size_t start = path.rfind("/zen_");
    size_t end = path.rfind("dev_i.so");
    gName = start != std::string::npos && end != std::string::npos ? path.substr(start + 5, end - start - 5) : "?";
}

// The agent's own entries, where the services record must point. (The lock and
// monitor entries serve the agent's metrics too, which the metrics runs see sample.)
std::string checkServices(const ZVWord *w) {
    auto is = [](auto function) { return reinterpret_cast<ZVWord>(function); };
    const std::pair<int, ZVWord> expected[] = {
        {0, 9}, {1, 8}, {2, is(zviSetThreadLocalStorage)}, {3, is(zviGetThreadLocalStorage)},
        {4, is(zviCreateSystemThread)}, {5, is(zviGetJNIEnvForSystemThreadNamed)},
        {9, is(zviMonitorAllocate)}, {10, is(zviMonitorEnter)}, {11, is(zviMonitorExit)},
        {12, is(zviMonitorWait)}, {13, is(zviMonitorNotify)}, {17, is(zviAddExtension)},
        {18, is(zviHandleForObject)}, {28, is(zviGetGCInfo)}, {29, is(zviGetClassCountValue)},
        {30, is(zviGetActiveThreadCountValue)}, {31, is(zviGetTotalThreadCountValue)}};
    std::string wrong;
    for (auto [index, value] : expected)
        if (w[index] != value) wrong += " " + std::to_string(index);
    for (int index : {6, 7, 8, 21, 23, 24, 25, 26})
        if (w[index] == 0) wrong += " " + std::to_string(index);
    return wrong.empty() ? "ok" : "wrong words" + wrong;
}

void javaInit(JNIEnv *) {
    say("javaInit");
    if (gInstallHandlers) zviSetHandlers(ProbeTable());
}

unsigned char classLoadHook(JCRClass *jclass, int phase) {
    ++gHooks[phase < 0 ? 0 : 1];
    if (JCRClassNameIs(jclass, "e2e/Hello")) say("hook " + std::to_string(phase) + " e2e/Hello");
    return 0;
}

void classLoaded(JVMPI_Event *event) {
    const char *name = event->u.class_load.class_name;
    if (name != nullptr && strcmp(name, "e2e.Hello") == 0) say("classLoaded e2e.Hello");
}

void threadEnded(JNIEnv *) { ++gEnded; }

}  // namespace

void ExtensionAdded(ZVExtensionRecord *record) {
    if (gName.empty()) return;
    say(std::string("extensionAdded ") + (record->backendClassName != nullptr ? record->backendClassName : "-"));
}

void ExtensionShutDown() {
    if (gName.empty()) return;
    say("shutdown: hooks -1 " + std::to_string(gHooks[0]) + ", 1 " + std::to_string(gHooks[1]) + ", threads ended " +
        std::to_string(gEnded));
}

extern "C" __attribute__((visibility("default"))) ZVExtensionRecord *ZVInitFunction(JavaVM *vm, int32_t identifier,
                                                                                  ZVServices *services,
                                                                                  SEElement *initArgs,
                                                                                  int32_t constant) {
    if (isTrue(SEMapGet(initArgs, "memory"))) return MemoryRecord();
    nameFromFile();
    gServices = services;
    say("init id=" + std::to_string(identifier) + " constant=" + std::to_string(constant) +
        " vm=" + (vm != nullptr ? "yes" : "no") + " args=" + text(initArgs));
    say("services: " + checkServices(services->words));
    say("filters: cpu " + std::to_string(zviFilterAffectsCPUProfiler()) + ", ignores 1 " +
        std::to_string(zviShouldIgnoreCPU(1)));
    const SEElement *order = SEMapGet(initArgs, "order");
    gRecord.order = order != nullptr ? atoi(SEGetString(order)) : 0;
    gRecord.backendClassName = gName == "first" ? "recorder.Backend" : nullptr;
    gRecord.javaInit = javaInit;
    gRecord.connect = [](ZVWord) {};
    gRecord.classLoadHook = classLoadHook;
    gRecord.classLoaded = classLoaded;
    gRecord.threadEnded = threadEnded;
    gInstallHandlers = isTrue(SEMapGet(initArgs, "handlers"));
    return &gRecord;
}
