// The JVMPI profiler interface emulated on JVMTI and JNI, for VMs (OpenJDK 17)
// that have no JVMPI: the agent obtains it through a proxy JavaVM.
//
// Where JVMTI cannot give what JVMPI gave, the emulation approximates:
// - class unload: told when the collector frees the class object (JVMTI
//   ObjectFree on the class's tag); JVMTI 17 has no class-unload event;
// - GC start and finish: delivered without a JNIEnv (JNI is not allowed then);
// - object allocation: JVMTI's sampled allocations, not every allocation;
//   object move: never reported; DisableGC/EnableGC: no-ops;
// - heap and object dumps on request: empty dumps;
// - method entry/exit: the capability is asked for only when switched on;
// - threads that started before the start phase (Reference Handler,
//   Finalizer, Signal Dispatcher) get no thread-start event; the initial
//   thread's arrives just before the VM-initialised event;
// - data-dump request: from the VM's SIGQUIT handling (kill -QUIT) only.
#pragma once

#include <jni.h>

#include <string>

// Creates the emulation at Agent_OnLoad (the VM's load phase) and returns a
// proxy JavaVM whose GetEnv answers JVMPI_VERSION_1_1 and JVMPI_VERSION_1 with
// the emulated interface and passes every other version to vm. A second call
// returns the same proxy. Null when the VM offers no JVMTI environment.
JavaVM *JvmpiStartEmulation(JavaVM *vm);

// For JVM_OnLoad on a VM that refused the JVMPI versions (-Xrun on a modern
// VM, which loads the library after its load phase): creates the emulation
// late, warns that classes already loaded are not seen, and returns the proxy.
// Null when the VM offers no JVMTI either.
JavaVM *JvmpiStartLateEmulation(JavaVM *vm);

// For Agent_OnAttach (a VM that is running): creates the emulation with the
// right to retransform classes and returns the proxy. Null when the emulation
// exists already (the agent is loaded) or the VM offers no JVMTI environment.
JavaVM *JvmpiStartAttachEmulation(JavaVM *vm);
// Whether the emulation has been created (the agent is loaded in this VM).
bool JvmpiEmulationStarted();

// After an attach's VM-initialised event: offers every class loaded before
// the attach to the class-load hook again by retransforming it, then delivers
// the loads of all classes not yet announced. Classes the VM cannot
// retransform keep their code; *refused (may be null) receives their number.
// Returns how many classes were retransformed.
int JvmpiRetransformLoadedClasses(JNIEnv *env, int *refused);

// After the agent's start-up: puts the installation's lib/zvbcp.jar on the
// boot class path and lib/zenva.jar on the system class path unless they are
// there already. Safe to call more than once.
void JvmpiAddAgentJars();
// The zenva.jar that JvmpiAddAgentJars put on the system class path; empty
// when the command line had one there or none was added.
std::string JvmpiAddedClassPathJar();

// The path of the agent's jar (zvbcp.jar, zenva.jar) that is missing beside
// this library; empty when both are there.
std::string JvmpiMissingAgentJar();

// Whether an entry of the boot class path append (a directory, or a jar that
// names the entry) holds the resource, e.g. "meridyn/audit/profiler/ZVContext.class".
// True when there is no emulation to ask (a VM with its own JVMPI).
bool JvmpiBootClassPathHas(const char *resource);

// Whether the VM can load classes from the boot class path append yet: not
// while it starts (before its live phase), when only java.base is searched.
// True when there is no emulation to ask.
bool JvmpiBootAppendLoadable();

// Called by a class-load hook listener while the VM starts: the bytes it hands
// back are the ones to redefine the class from once the VM is live (its
// changes stay valid then), rather than the bytes the VM offered.
void JvmpiRedefineFromHandedBackBytes();
// Called by a class-load hook listener while the VM starts: the class needs
// no second offer once the VM is live (nothing of it would change then).
void JvmpiNoSecondOffer();

// Whether the VM verifies the boot classes that a class-load hook changed (as
// JDK 25 does; JDK 17 verifies no boot class): then changing a class only to
// make its later redefinition cheaper costs more than it saves. Known from the
// agent's load on (the VM's properties cannot be read while it starts).
bool JvmpiVerifiesHookedBootClasses();


// Offers the classes that the VM loaded from the boot class path while it
// started (before its live phase) to the class-load hook again, by redefining
// them with the bytes first offered, and delivers for each class redefined a
// class unload (when its load was delivered) and a class load. For the VM-initialised event, once the classes that
// rewritten code calls can be loaded. Interfaces, arrays and classes the VM
// cannot modify are left alone. Returns how many classes were redefined.
int JvmpiRedefineStartupClasses(JNIEnv *env);

// With ZV_STARTUP_TIMES in the environment: prints what was reached, the time
// since the first mark and the process's CPU time to stderr (else nothing).
void JvmpiStartupMark(const char *what);

// A thread's state in more detail than JVMPI's status gives: sleeping and
// running native code told apart from waiting and running.
enum JvmpiThreadDetail : int {
    JVMPI_DETAIL_UNKNOWN = 0,  // no emulation to ask, or the thread is gone
    JVMPI_DETAIL_RUNNING = 1,
    JVMPI_DETAIL_BLOCKED = 2,  // waiting to enter a monitor
    JVMPI_DETAIL_WAITING = 3,  // Object.wait, park, join
    JVMPI_DETAIL_SLEEPING = 4,
    JVMPI_DETAIL_NATIVE = 5,   // runnable, in native code
};
int JvmpiThreadDetailOf(JNIEnv *env);

// Sampled allocations for a profiler, beside the JVMPI events: from now on
// about one allocation in every intervalBytes a thread allocates is handed to
// sampled, on the allocating thread, with the class signature and the size.
// False when the VM cannot, the interval is not from 1 to 1 GB, it already
// runs, or the JVMPI allocation events (every allocation) are on; while it
// runs those events cannot be switched on.
using JvmpiAllocationSampled = void (*)(JNIEnv *env, const char *classSignature, jlong size);
bool JvmpiStartAllocationSampling(jlong intervalBytes, JvmpiAllocationSampled sampled);

// Monitor contention for a profiler: a thread that waited to enter a monitor
// is handed to contended once it entered, with the monitor object's class
// signature and the nanoseconds it waited. False when the VM cannot report
// contention or it already runs.
using JvmpiMonitorContended = void (*)(JNIEnv *env, const char *classSignature, jlong blockedNanos);
bool JvmpiStartContentionEvents(JvmpiMonitorContended contended);
