// The recording handler table.
#include "agent/recording_handlers.h"

#include <mutex>

#include "support/heap.h"

namespace {

std::mutex gMutex;

void note(const std::string &call) {
    std::lock_guard<std::mutex> lock(gMutex);
    recorded().calls.push_back(call);
}

std::string word(const void *p) { return std::to_string(reinterpret_cast<uintptr_t>(p)); }

// Releases an array of records and the two texts of each.
template <typename Record>
void freeAll(Record *records, jint count, char *Record::*first, char *Record::*second) {
    for (jint i = 0; records != nullptr && i < count; ++i) {
        sFree(records[i].*first);
        sFree(records[i].*second);
    }
    sFree(records);
}

// The table owns the arrays it receives: it records their counts and releases them.
void classLoaded(const char *name, ZVWord, char *source, jint methodCount, JVMPI_Method *methods,
                 jint staticCount, JVMPI_Field *statics, jint instanceCount, JVMPI_Field *instances, jint) {
    LoadedClass loaded{name != nullptr ? name : "(null)", methodCount, staticCount, instanceCount};
    freeAll(methods, methodCount, &JVMPI_Method::method_name, &JVMPI_Method::method_signature);
    freeAll(statics, staticCount, &JVMPI_Field::field_name, &JVMPI_Field::field_signature);
    freeAll(instances, instanceCount, &JVMPI_Field::field_name, &JVMPI_Field::field_signature);
    sFree(source);
    std::lock_guard<std::mutex> lock(gMutex);
    recorded().classes.push_back(loaded);
    recorded().calls.push_back("classLoaded " + loaded.name);
}

}  // namespace

Recorded &recorded() {
    static Recorded r;
    return r;
}

ZVHandlerTable makeRecordingTable() {
    recorded() = Recorded{};
    ZVHandlerTable t{};
    t.classLoaded = classLoaded;
    t.classUnloaded = [](jobjectID id) { note("classUnloaded " + word(id)); };
    t.objectAllocated = [](JNIEnv *, jobjectID, ZVWord, jint, jint) { note("objectAllocated"); };
    t.objectMoved = [](jobjectID, jobjectID) { note("objectMoved"); };
    t.objectFreed = [](jobjectID) { note("objectFreed"); };
    t.methodEntered = [](JNIEnv *env, int32_t, int32_t *) { note("methodEntered " + word(env)); };
    t.methodExited = [](JNIEnv *env, int32_t) { note("methodExited " + word(env)); };
    t.gcStarted = [] { note("gcStarted"); };
    t.gcFinished = [] { note("gcFinished"); };
    t.threadStarted = [](JNIEnv *env) { note("threadStarted " + word(env)); };
    t.threadEnded = [](JNIEnv *env) { note("threadEnded " + word(env)); };
    t.dataDumpRequested = [] { note("dataDumpRequested"); };
    t.extensionAdded = [](ZVExtensionRecord *) { note("extensionAdded"); };
    t.vmShutDown = [] { note("vmShutDown"); };
    t.gcInfoCount = t.classCount = t.activeThreadCount = t.totalThreadCount = [] { return jint{0}; };
    t.auditThreadRegistered = [](JNIEnv *env) { note("auditThreadRegistered " + word(env)); };
    t.auditErrorPosted = [](ZVWord, ZVWord) { note("auditErrorPosted"); };
    return t;
}
