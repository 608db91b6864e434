// Profiles of the events the VM reports beside the sampler's snapshots:
// allocations its heap sampler picked, weighed by the bytes each stands for,
// and monitor contention, weighed by the time a thread was blocked. Each
// event's stack is its thread's instrumented stack with the class (allocated,
// or of the lock's object) as the leaf frame.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "profile.h"
#include "settings.h"

namespace profiler {

// Start the agent's events; false when it refused them.
bool StartAllocationProfile(long intervalBytes);
bool StartLockProfile();
// Runs reader with the profile of kind (kAlloc or kLock), its labels by number and its sample count.
void ReadEventProfile(Kind kind,
                      const std::function<void(const Profile &, const std::vector<std::string> &labels)> &reader);
// Empties both profiles (a new interval).
void ResetEventProfiles();

}  // namespace profiler
