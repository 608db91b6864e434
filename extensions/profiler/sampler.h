// The sampler: an agent system thread that snapshots the instrumented call
// stacks of the program's threads every period and adds them to the profile,
// each weighing the CPU time its thread used since the previous snapshot
// (CPU mode) or the time that passed (wall mode, with the thread's state).
#pragma once

#include <jni.h>

#include <functional>
#include <string>
#include <vector>

#include "profile.h"
#include "settings.h"

namespace profiler {

// Starts the thread; false when the agent refused to create it.
bool StartSampler(const Settings &settings);
// Stops sampling: waits for a snapshot in progress; none is taken afterwards.
void StopSampler();
// A thread has ended and left the agent's registry (the extension's own
// thread-end event, which comes after that): its sample record is released
// at the next snapshot, before its JNIEnv can be listed for another thread.
void ThreadEnded(JNIEnv *env);
// Empties the profile, so that it holds what comes from now on; the threads'
// CPU clocks are kept, so the next samples weigh only CPU time used after it.
void ResetProfile();
// While paused the sampler adds nothing to the profile (a snapshot in
// progress is waited for); the threads' CPU clocks are still followed.
void PauseSampling(bool paused);
bool SamplingPaused();
// Runs handler on the sampler thread, with no lock held and no snapshot in
// progress, each time settings.intervalSeconds have passed (set before StartSampler).
void OnInterval(std::function<void()> handler);
// The settings the sampler runs with.
Settings SamplerSettings();
// Runs reader with the profile and the thread names (by the numbers of the
// thread frames) while no snapshot changes them.
void ReadProfile(const std::function<void(const Profile &, const std::vector<std::string> &)> &reader);

}  // namespace profiler
