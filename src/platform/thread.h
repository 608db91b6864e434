// Native threads: handles for reading a thread's CPU time from any thread,
// starting detached threads, sleeping, and best-effort priorities.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

// Identifies one thread for as long as the handle lives.
struct ThreadHandle;

// A handle for the calling thread; null when memory runs out or the thread
// has no CPU clock.
ThreadHandle *OpenCurrentThread();
void CloseThreadHandle(ThreadHandle *handle);
// The kernel's id of the handle's thread (as in /proc/PID/task).
int ThreadKernelId(const ThreadHandle *handle);
bool IsCurrentThread(const ThreadHandle *handle);
// CPU time consumed by the handle's thread, in nanoseconds; -1 when it
// cannot be read (null handle, thread ended).
int64_t ThreadCpuTimeNanos(const ThreadHandle *handle);
int64_t CurrentThreadCpuTimeNanos();
int CurrentKernelThreadId();

using ThreadFunction = void (*)(void *argument);
// Runs function(argument) on a new detached thread, named after the first
// 15 bytes of name when one is given. False when no thread was started.
bool StartDetachedThread(ThreadFunction function, void *argument, const char *name = nullptr);

void SleepMillis(uint32_t milliseconds);
// Gives the processor to another ready thread, if any.
void YieldThread();

// Priorities are nice values: lower runs sooner. Raising a priority needs
// privileges; a refusal is ignored silently.
constexpr int kThreadPriorityTimeCritical = -20;
constexpr int kThreadPriorityHighest = -10;
constexpr int kThreadPriorityAboveNormal = -5;
constexpr int kThreadPriorityNormal = 0;
constexpr int kThreadPriorityBelowNormal = 5;
constexpr int kThreadPriorityLowest = 10;
constexpr int kThreadPriorityIdle = 19;
// What ThreadPriority gives when the priority cannot be read.
constexpr int kThreadPriorityUnknown = 0x7FFFFFFF;

int ThreadPriority(const ThreadHandle *handle);
void SetThreadPriority(const ThreadHandle *handle, int priority);

enum class ProcessPriorityClass { Idle, BelowNormal, Normal, AboveNormal, High, Realtime };
// Applies the class's nice value to every thread of the process (Linux keeps
// priorities per thread); best effort, refusals are ignored.
void SetProcessPriorityClass(ProcessPriorityClass priorityClass);

// The priority of each thread of the process, so that a temporary change of
// the priority class can be undone exactly (a nice value a user chose stays).
struct ThreadPriorityRecord {
    int kernelId;
    int priority;
};
std::vector<ThreadPriorityRecord> ProcessThreadPriorities();
// Puts each listed thread back to its priority; threads that ended are skipped.
void RestoreThreadPriorities(std::span<const ThreadPriorityRecord> records);
