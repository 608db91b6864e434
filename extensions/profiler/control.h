// Live control of the profile over the audit port: sampling on and off, and
// the collected data back to zero.
#pragma once

#include <jni.h>

namespace profiler {

// Registers the audit port's "sampling" command (at javaInit).
void RegisterControlCommands();
// Counts and samples start again from zero (defined with the reports, which
// keep the call-count base).
void ResetCollected(JNIEnv *env);

}  // namespace profiler
