// Native threads on POSIX threads and Linux thread ids.
#include "platform/thread.h"

#include <dirent.h>
#include <errno.h>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <new>

struct ThreadHandle {
    pthread_t thread;
    pid_t kernelId;
    clockid_t cpuClock;
};

namespace {

struct StartRecord {
    ThreadFunction function;
    void *argument;
    char name[16];  // the kernel keeps at most 15 bytes and the terminator
};

void *threadMain(void *raw) {
    StartRecord record = *static_cast<StartRecord *>(raw);
    delete static_cast<StartRecord *>(raw);
    if (record.name[0] != 0) pthread_setname_np(pthread_self(), record.name);
    record.function(record.argument);
    return nullptr;
}

int64_t nanosOf(clockid_t clock) {
    timespec now{};
    if (clock_gettime(clock, &now) != 0) return -1;
    return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

int niceOf(ProcessPriorityClass priorityClass) {
    switch (priorityClass) {
    case ProcessPriorityClass::Idle: return kThreadPriorityIdle;
    case ProcessPriorityClass::BelowNormal: return kThreadPriorityBelowNormal;
    case ProcessPriorityClass::Normal: return kThreadPriorityNormal;
    case ProcessPriorityClass::AboveNormal: return kThreadPriorityAboveNormal;
    case ProcessPriorityClass::High: return kThreadPriorityHighest;
    case ProcessPriorityClass::Realtime: return kThreadPriorityTimeCritical;
    }
    return kThreadPriorityNormal;
}

// Calls visit(kernel id) for every thread of the process; false when the
// task list cannot be read.
template <typename Visit>
bool forEachThread(Visit visit) {
    DIR *tasks = opendir("/proc/self/task");
    if (tasks == nullptr) return false;
    while (dirent *task = readdir(tasks)) {
        char *end = nullptr;
        long id = std::strtol(task->d_name, &end, 10);
        if (end != task->d_name && *end == 0 && id > 0) visit(static_cast<int>(id));
    }
    closedir(tasks);
    return true;
}

int niceOfThread(int kernelId) {
    errno = 0;
    int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(kernelId));
    return nice == -1 && errno != 0 ? kThreadPriorityUnknown : nice;
}

}  // namespace

ThreadHandle *OpenCurrentThread() {
    auto *handle = new (std::nothrow) ThreadHandle;
    if (handle == nullptr) return nullptr;
    handle->thread = pthread_self();
    handle->kernelId = gettid();
    if (pthread_getcpuclockid(handle->thread, &handle->cpuClock) != 0) {
        delete handle;
        return nullptr;
    }
    return handle;
}

void CloseThreadHandle(ThreadHandle *handle) { delete handle; }

int ThreadKernelId(const ThreadHandle *handle) { return handle != nullptr ? handle->kernelId : 0; }

bool IsCurrentThread(const ThreadHandle *handle) {
    return handle != nullptr && pthread_equal(handle->thread, pthread_self()) != 0;
}

int64_t ThreadCpuTimeNanos(const ThreadHandle *handle) { return handle != nullptr ? nanosOf(handle->cpuClock) : -1; }

int64_t CurrentThreadCpuTimeNanos() { return nanosOf(CLOCK_THREAD_CPUTIME_ID); }

int CurrentKernelThreadId() { return gettid(); }

bool StartDetachedThread(ThreadFunction function, void *argument, const char *name) {
    if (function == nullptr) return false;
    auto *record = new (std::nothrow) StartRecord{function, argument, {}};
    if (record == nullptr) return false;
    if (name != nullptr) std::strncpy(record->name, name, sizeof(record->name) - 1);
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0) {
        delete record;
        return false;
    }
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    pthread_t thread;
    int status = pthread_create(&thread, &attributes, threadMain, record);
    pthread_attr_destroy(&attributes);
    if (status != 0) {
        delete record;
        return false;
    }
    return true;
}

void SleepMillis(uint32_t milliseconds) {
    timespec remaining{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000};
    while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
}

void YieldThread() { sched_yield(); }

int ThreadPriority(const ThreadHandle *handle) {
    return handle != nullptr ? niceOfThread(handle->kernelId) : kThreadPriorityUnknown;
}

void SetThreadPriority(const ThreadHandle *handle, int priority) {
    if (handle == nullptr || priority == kThreadPriorityUnknown) return;
    setpriority(PRIO_PROCESS, static_cast<id_t>(handle->kernelId), priority);
}

void SetProcessPriorityClass(ProcessPriorityClass priorityClass) {
    int nice = niceOf(priorityClass);
    if (!forEachThread([nice](int id) { setpriority(PRIO_PROCESS, static_cast<id_t>(id), nice); }))
        setpriority(PRIO_PROCESS, 0, nice);
}

std::vector<ThreadPriorityRecord> ProcessThreadPriorities() {
    std::vector<ThreadPriorityRecord> records;
    forEachThread([&records](int id) {
        int nice = niceOfThread(id);
        if (nice != kThreadPriorityUnknown) records.push_back({id, nice});
    });
    return records;
}

void RestoreThreadPriorities(std::span<const ThreadPriorityRecord> records) {
    for (const ThreadPriorityRecord &record : records)
        setpriority(PRIO_PROCESS, static_cast<id_t>(record.kernelId), record.priority);
}
