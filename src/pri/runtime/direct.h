// Direct instrumentation: whether the VM's compiled code of the context
// natives may be patched to skip the JNI transition, decided by the
// directIMode option and the directi.table of known VMs, and the patch bytes.
#pragma once

#include <jni.h>

#include <atomic>
#include <cstdint>
#include <mutex>

struct SEElement;

// Turns direct instrumentation on for the life of the process (directIMode 2).
void PRIDirectIEnable(void);
// The table's decision for the running VM (directIMode 1); reads the VM's
// properties and the table once.
void PRIDirectIEvaluateTable(JNIEnv *env);
int PRIDirectIEnabled(void);
// The table keeps the two four-argument natives unpatched.
int PRIDirectIMultiParamDisabled(void);
// (PRIDirectIEnabledForThreads and PRIPatchCompiledNative: pri/runtime.h.)

// The path of directi.table (sMalloc'ed), or null: the Java side's setting,
// else beside the agent library.
char *PRIDirectIFindTable(JNIEnv *env);
// Reads the table at path: its map, or null after a message on standard error.
SEElement *PRIDirectIReadTable(const char *path);

// The running VM as the table's descriptions name it.
struct PRIVMProperties {
    const char *vendor;   // java.vendor
    const char *version;  // java.version
    const char *vmName;   // java.vm.name
};
// 1 when the table's list under key holds a description of vm: every key
// the description has ("vmname", "vendor", "version") is a prefix of the
// property, ignoring case; a description with none of them matches nothing.
int PRIDirectIListMatches(const SEElement *table, const char *key, const PRIVMProperties &vm);
// The VM's properties ("Unknown" where one cannot be read) and the table (an
// empty map when there is none), each read on first use and kept in state.
struct PRIDirectState;
const PRIVMProperties &PRIDirectIProperties(JNIEnv *env, PRIDirectState &state);
const SEElement *PRIDirectITable(JNIEnv *env, PRIDirectState &state);

// Patch kinds of the compiled natives.
enum {
    PRI_DIRECT_ENTER_WILL_EXIT = 1,
    PRI_DIRECT_ENTERED = 2,
    PRI_DIRECT_EXITED = 3,
    PRI_DIRECT_TIME0 = 4,
};
enum PRIDirectPatch { PRI_PATCH_NONE, PRI_PATCH_JUMP, PRI_PATCH_TIME_STAMP };
// What the patcher writes over the compiled code of kind (size bytes): a
// jump to its direct routine, the counter read for time0 in TSC clock mode
// (clockMode > 0), or nothing (off, the two four-argument natives while
// they are disabled, or code too small for the bytes).
PRIDirectPatch PRIDirectPatchFor(int kind, int codeSize, int enabled, int multiParamDisabled, int clockMode);

// The decision and what it was made from. The running agent's record is
// created when the library loads and never destroyed (compiled-method events
// come until the process ends); installing a fresh one returns the record it
// replaces, to be freed once no thread uses it (tests).
struct PRIDirectState {
    std::atomic<bool> enabled{false};
    std::atomic<bool> multiParamDisabled{false};
    std::atomic<bool> refusalShown{false};
    std::mutex lock;  // thread starts may ask while the table is first read
    SEElement *table = nullptr;
    PRIVMProperties vm{};

    PRIDirectState() = default;
    PRIDirectState(const PRIDirectState &) = delete;
    PRIDirectState &operator=(const PRIDirectState &) = delete;
    ~PRIDirectState();
};
PRIDirectState *PRIInstallDirectState(PRIDirectState *state);
