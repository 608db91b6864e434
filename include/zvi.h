/* zvi.h: the agent's interface for extension libraries, in C and C++.
 *
 * An extension is a shared library named zen_NAMEdev_i.so in the
 * installation's ext/darara/lib, listed by NAME in ext/darara/audit/
 * extensions.table, that exports ZVInitFunction (see ZVInitFunctionType).
 * Everything declared here is defined by the loaded agent library: an
 * extension links against nothing and its zvi* references resolve against
 * the agent when the VM loads it.
 *
 * Memory: sMalloc/sFree/sStrdup are the one heap that the agent and its
 * extensions share. Whatever the agent hands over "to the caller" comes from
 * that heap and is released with sFree; whatever an extension hands to the
 * agent for keeping must come from it too. Records that the agent says it
 * keeps stay the agent's: never release them.
 */
#ifndef ZVI_H
#define ZVI_H

#include <jni.h>
#include <stdint.h>

#ifdef __cplusplus
#define ZVI_API extern "C" __attribute__((visibility("default")))
#else
#define ZVI_API extern __attribute__((visibility("default")))
#endif

/* One word of a container, the services record or a handler argument: a
 * pointer or an integer, pointer-sized. */
typedef intptr_t ZVWord;

/* Records of the agent that the interface passes by address only. */
typedef struct JCRClass JCRClass;      /* a parsed class file (class-load hook) */
typedef struct SEElement SEElement;    /* a structured element: the initArgs map */
typedef struct ZVExtensionRecord ZVExtensionRecord;

/* A growable vector of words. The agent reads and writes size and data; a
 * vector an extension passes in may point at its own storage as long as the
 * agent does not have to grow it (zviSampleThreads never does). */
typedef struct ZVVector {
    int32_t size;      /* words in use */
    int32_t capacity;  /* words allocated */
    ZVWord *data;      /* null when capacity is 0 */
} ZVVector;

/* ------------------------------------------------------------ the VM profiler interface (JVMPI)
 * The interface record is the exported data symbol zvipi. */

#define JVMPI_VERSION_1 ((jint)0x10000001)
#define JVMPI_VERSION_1_1 ((jint)0x10000002)

// Results of EnableEvent, DisableEvent and RequestEvent.
#define JVMPI_SUCCESS ((jint)0)
#define JVMPI_NOT_AVAILABLE ((jint)1)
#define JVMPI_FAIL ((jint)-1)

// Object IDs are opaque handles; on the dump wire they are 4 bytes.
typedef struct _jobjectID *jobjectID;
typedef struct _JVMPI_RawMonitor *JVMPI_RawMonitor;

// ------------------------------------------------------------ event numbers

#define JVMPI_EVENT_METHOD_ENTRY ((jint)1)
#define JVMPI_EVENT_METHOD_ENTRY2 ((jint)2)
#define JVMPI_EVENT_METHOD_EXIT ((jint)3)
#define JVMPI_EVENT_OBJECT_ALLOC ((jint)4)
#define JVMPI_EVENT_OBJECT_FREE ((jint)5)
#define JVMPI_EVENT_OBJECT_MOVE ((jint)6)
#define JVMPI_EVENT_COMPILED_METHOD_LOAD ((jint)7)
#define JVMPI_EVENT_COMPILED_METHOD_UNLOAD ((jint)8)
#define JVMPI_EVENT_THREAD_START ((jint)33)
#define JVMPI_EVENT_THREAD_END ((jint)34)
#define JVMPI_EVENT_CLASS_LOAD_HOOK ((jint)35)
#define JVMPI_EVENT_HEAP_DUMP ((jint)37)
#define JVMPI_EVENT_CLASS_LOAD ((jint)42)
#define JVMPI_EVENT_CLASS_UNLOAD ((jint)43)
#define JVMPI_EVENT_DATA_DUMP_REQUEST ((jint)44)
#define JVMPI_EVENT_DATA_RESET_REQUEST ((jint)45)
#define JVMPI_EVENT_JVM_INIT_DONE ((jint)46)
#define JVMPI_EVENT_JVM_SHUT_DOWN ((jint)47)
#define JVMPI_EVENT_OBJECT_DUMP ((jint)50)
#define JVMPI_EVENT_GC_START ((jint)60)
#define JVMPI_EVENT_GC_FINISH ((jint)61)

// Set in event_type when the event answers RequestEvent.
#define JVMPI_REQUESTED_EVENT ((jint)0x10000000)

// ------------------------------------------------------------ thread status

#define JVMPI_THREAD_RUNNABLE ((jint)1)
#define JVMPI_THREAD_MONITOR_WAIT ((jint)2)
#define JVMPI_THREAD_CONDVAR_WAIT ((jint)3)
#define JVMPI_THREAD_SUSPENDED ((jint)0x8000)
#define JVMPI_THREAD_INTERRUPTED ((jint)0x4000)

#define JVMPI_MINIMUM_PRIORITY 1
#define JVMPI_MAXIMUM_PRIORITY 10
#define JVMPI_NORMAL_PRIORITY 5

// ------------------------------------------------------------ dumps

#define JVMPI_DUMP_LEVEL_0 ((jint)0)
#define JVMPI_DUMP_LEVEL_1 ((jint)1)
#define JVMPI_DUMP_LEVEL_2 ((jint)2)

// Record types inside heap and object dumps.
#define JVMPI_GC_ROOT_UNKNOWN 0xff
#define JVMPI_GC_ROOT_JNI_GLOBAL 0x01
#define JVMPI_GC_ROOT_JNI_LOCAL 0x02
#define JVMPI_GC_ROOT_JAVA_FRAME 0x03
#define JVMPI_GC_ROOT_NATIVE_STACK 0x04
#define JVMPI_GC_ROOT_STICKY_CLASS 0x05
#define JVMPI_GC_ROOT_THREAD_BLOCK 0x06
#define JVMPI_GC_ROOT_MONITOR_USED 0x07
#define JVMPI_GC_ROOT_THREAD_OBJ 0x08
#define JVMPI_GC_CLASS_DUMP 0x20
#define JVMPI_GC_INSTANCE_DUMP 0x21
#define JVMPI_GC_OBJ_ARRAY_DUMP 0x22
#define JVMPI_GC_PRIM_ARRAY_DUMP 0x23

// ------------------------------------------------------------ records

typedef struct JVMPI_Method JVMPI_Method;
typedef struct JVMPI_Field JVMPI_Field;
typedef struct JVMPI_Lineno JVMPI_Lineno;
typedef struct JVMPI_HeapDumpArg JVMPI_HeapDumpArg;
typedef struct JVMPI_CallFrame JVMPI_CallFrame;
typedef struct JVMPI_CallTrace JVMPI_CallTrace;
typedef struct JVMPI_Event JVMPI_Event;
typedef struct JVMPI_Interface JVMPI_Interface;

struct JVMPI_Method {
    char *method_name;
    char *method_signature;
    jint start_lineno;
    jint end_lineno;
    jmethodID method_id;
};

struct JVMPI_Field {
    char *field_name;
    char *field_signature;
};

struct JVMPI_Lineno {
    jint offset;
    jint lineno;
};

struct JVMPI_HeapDumpArg {
    jint heap_dump_level;
};

struct JVMPI_CallFrame {
    jint lineno;
    jmethodID method_id;
};

struct JVMPI_CallTrace {
    JNIEnv *env_id;
    jint num_frames;
    JVMPI_CallFrame *frames;
};

struct JVMPI_Event {
    jint event_type;
    JNIEnv *env_id;
    union {
        struct {
            const char *class_name;
            char *source_name;
            jint num_interfaces;
            jint num_methods;
            JVMPI_Method *methods;
            jint num_static_fields;
            JVMPI_Field *statics;
            jint num_instance_fields;
            JVMPI_Field *instances;
            jobjectID class_id;
        } class_load;

        struct {
            jobjectID class_id;
        } class_unload;

        struct {
            unsigned char *class_data;
            jint class_data_len;
            unsigned char *new_class_data;
            jint new_class_data_len;
            void *(*malloc_f)(unsigned int);
        } class_load_hook;

        struct {
            jint arena_id;
            jobjectID class_id;
            jint is_array;
            jint size;
            jobjectID obj_id;
        } obj_alloc;

        struct {
            jobjectID obj_id;
        } obj_free;

        struct {
            jint arena_id;
            jobjectID obj_id;
            jint new_arena_id;
            jobjectID new_obj_id;
        } obj_move;

        struct {
            jmethodID method_id;
            void *code_addr;
            jint code_size;
            jint lineno_table_size;
            JVMPI_Lineno *lineno_table;
        } compiled_method_load;

        struct {
            jmethodID method_id;
        } method;

        struct {
            jmethodID method_id;
            jobjectID obj_id;
        } method_entry2;

        struct {
            char *thread_name;
            char *group_name;
            char *parent_name;
            jobjectID thread_id;
            JNIEnv *thread_env_id;
        } thread_start;

        struct {
            jint dump_level;
            char *begin;
            char *end;
            jint num_traces;
            JVMPI_CallTrace *traces;
        } heap_dump;

        struct {
            jint data_len;
            char *data;
        } object_dump;

        struct {
            jlong used_objects;
            jlong used_object_space;
            jlong total_object_space;
        } gc_info;
    } u;
};

struct JVMPI_Interface {
    jint version;

    void (*NotifyEvent)(JVMPI_Event *event);

    jint (*EnableEvent)(jint event_type, void *arg);
    jint (*DisableEvent)(jint event_type, void *arg);
    jint (*RequestEvent)(jint event_type, void *arg);

    void (*GetCallTrace)(JVMPI_CallTrace *trace, jint depth);
    void (*ProfilerExit)(jint exit_code);

    JVMPI_RawMonitor (*RawMonitorCreate)(char *lock_name);
    void (*RawMonitorEnter)(JVMPI_RawMonitor lock_id);
    void (*RawMonitorExit)(JVMPI_RawMonitor lock_id);
    void (*RawMonitorWait)(JVMPI_RawMonitor lock_id, jlong ms);
    void (*RawMonitorNotifyAll)(JVMPI_RawMonitor lock_id);
    void (*RawMonitorDestroy)(JVMPI_RawMonitor lock_id);

    jlong (*GetCurrentThreadCpuTime)(void);
    void (*SuspendThread)(JNIEnv *env);
    void (*ResumeThread)(JNIEnv *env);
    jint (*GetThreadStatus)(JNIEnv *env);
    jboolean (*ThreadHasRun)(JNIEnv *env);
    jint (*CreateSystemThread)(char *name, jint priority, void (*f)(void *));
    void (*SetThreadLocalStorage)(JNIEnv *env_id, void *ptr);
    void *(*GetThreadLocalStorage)(JNIEnv *env_id);

    void (*DisableGC)(void);
    void (*EnableGC)(void);
    void (*RunGC)(void);

    jobjectID (*GetThreadObject)(JNIEnv *env);
    jobjectID (*GetMethodClass)(jmethodID mid);

    // Present from JVMPI_VERSION_1_1 on.
    jobject (*jobjectID2jobject)(jobjectID jid);
    jobjectID (*jobject2jobjectID)(jobject jobj);

    void (*SuspendThreadList)(jint reqCount, JNIEnv **reqList, jint *results);
    void (*ResumeThreadList)(jint reqCount, JNIEnv **reqList, jint *results);
};

/* ------------------------------------------------------------ the shared heap */

/* size bytes of uninitialised memory, or null (a failed non-zero request
 * prints a message). Release with sFree. */
ZVI_API void *sMalloc(int size);
/* Releases memory of sMalloc or sStrdup; null is accepted. */
ZVI_API void sFree(void *pointer);
/* A new copy of a NUL-terminated string, the caller's to sFree; null for
 * null or when memory is out. */
ZVI_API char *sStrdup(const char *string);

/* ------------------------------------------------------------ method identifiers
 * A method identifier is 32 bits. Ordinary methods count from 1 in the low
 * 28 bits; bits 28 and 29 are flags the class filters set; the top two bits
 * 10 mark a filter group (group number | ZV_ID_GROUP), 11 a marker (marker
 * number | ZV_ID_MARKER; ZV_ID_MARKER itself is the "Overhead" marker).
 * The Java context class keeps the same masks. */

#define ZV_ID_NUMBER_MASK 0x0FFFFFFFu  /* the ordinary identifier without its flags */
#define ZV_ID_IGNORE_CPU 0x10000000u   /* bit 28: the CPU profiler leaves the method out */
#define ZV_ID_IGNORE_MEMORY 0x20000000u /* bit 29: the memory profiler leaves it out */
#define ZV_ID_KIND_MASK 0xC0000000u    /* the top two bits: 00 ordinary, 10 group, 11 marker */
#define ZV_ID_GROUP 0x80000000u
#define ZV_ID_MARKER 0xC0000000u
#define ZV_ID_OVERHEAD_MARKER ZV_ID_MARKER

static inline int ZVIsOrdinaryID(uint32_t id) { return (id & ZV_ID_KIND_MASK) == 0; }
static inline int ZVIsGroupMethodID(uint32_t id) { return (id & ZV_ID_KIND_MASK) == ZV_ID_GROUP; }
static inline int ZVIsMarkerID(uint32_t id) { return (id & ZV_ID_KIND_MASK) == ZV_ID_MARKER; }
/* The ordinary identifier without its filter flags (index of the method). */
static inline uint32_t ZVIDNumber(uint32_t id) { return id & ZV_ID_NUMBER_MASK; }
/* The number of a group or marker identifier. */
static inline int32_t ZVIDKindNumber(uint32_t id) { return (int32_t)(id & ~ZV_ID_KIND_MASK); }

/* ------------------------------------------------------------ the handler table
 * The listener table of the main extension (zviSetHandlers). The agent keeps
 * the table's address: it must outlive the process. Entries marked optional
 * may be null; the others are always called. Class, method and field names
 * and the arrays handed to classLoaded become the handler's, to sFree. */
typedef struct ZVHandlerTable {
    void (*classLoaded)(const char *className, ZVWord classKey, char *sourceName, jint methodCount,
                        JVMPI_Method *methods, jint staticCount, JVMPI_Field *statics, jint instanceCount,
                        JVMPI_Field *instances, jint interfaceCount);
    void (*classUnloaded)(jobjectID classID);
    void (*objectAllocated)(JNIEnv *env, jobjectID object, ZVWord classKey, jint isArray, jint size);
    void (*objectMoved)(jobjectID oldID, jobjectID newID);
    void (*objectFreed)(jobjectID object);
    void (*methodEntered)(JNIEnv *env, int32_t handle, int32_t *arguments);
    void (*methodExited)(JNIEnv *env, int32_t handle);
    void (*gcStarted)(void);
    void (*gcFinished)(void);
    void (*threadStarted)(JNIEnv *env);
    void (*threadEnded)(JNIEnv *env);
    void (*dataDumpRequested)(void);                    /* optional */
    void (*extensionAdded)(ZVExtensionRecord *record);  /* optional */
    void (*vmShutDown)(void);
    jint (*gcInfoCount)(void);
    jint (*classCount)(void);
    jint (*activeThreadCount)(void);
    jint (*totalThreadCount)(void);
    void (*auditThreadRegistered)(JNIEnv *env);
    void (*auditErrorPosted)(ZVWord a, ZVWord b);  /* optional */
} ZVHandlerTable;

/* ------------------------------------------------------------ the extension record
 * What ZVInitFunction returns. The agent keeps only its address: the record
 * stays the extension's and must outlive the process. Every entry may be
 * null (order and reserved are plain values). */
struct ZVExtensionRecord {
    int32_t order;  /* <= 0: sees classes before the agent's instrumentation; >= 0: after */
    const char *backendClassName;
    const char *guiClassName;
    void (*javaInit)(JNIEnv *env);  /* when the VM is initialised (or at once when added later) */
    void (*connect)(ZVWord word);
    unsigned char (*classLoadHook)(JCRClass *jclass, int phase);
    void (*classLoaded)(JVMPI_Event *event);
    void (*objectAllocated)(JNIEnv *env, jobjectID object, jobjectID classID, jint isArray, jint size);
    void (*objectMoved)(jobjectID oldID, jobjectID newID);
    void (*objectFreed)(jobjectID object);
    void (*threadEnded)(JNIEnv *env);  /* after the thread left the registry */
    ZVWord reserved;
    ZVWord (*archiveHeader)(ZVWord a, ZVWord b, ZVWord c);
    ZVWord (*archiveData)(ZVWord a, ZVWord b, ZVWord c);
};

/* ------------------------------------------------------------ the services record
 * 32 words of agent services handed to every ZVInitFunction and to metrics;
 * the record is the agent's. Function words are cast to the signature given
 * beside their index. */
typedef enum ZVServiceWord {
    ZV_SERVICE_TAG_NINE = 0,  /* the number 9 */
    ZV_SERVICE_TAG_EIGHT = 1, /* the number 8 */
    ZV_SERVICE_SET_THREAD_STORAGE = 2,   /* zviSetThreadLocalStorage */
    ZV_SERVICE_GET_THREAD_STORAGE = 3,   /* zviGetThreadLocalStorage */
    ZV_SERVICE_CREATE_SYSTEM_THREAD = 4, /* zviCreateSystemThread */
    ZV_SERVICE_SYSTEM_THREAD_ENV = 5,    /* zviGetJNIEnvForSystemThreadNamed */
    /* void *() a new recursive lock; void (void *) enter; void (void *) leave.
     * Null until the first extension is added or the VM is initialised. */
    ZV_SERVICE_LOCK_CREATE = 6,
    ZV_SERVICE_LOCK_ENTER = 7,
    ZV_SERVICE_LOCK_LEAVE = 8,
    ZV_SERVICE_MONITOR_ALLOCATE = 9,  /* zviMonitorAllocate */
    ZV_SERVICE_MONITOR_ENTER = 10,    /* zviMonitorEnter */
    ZV_SERVICE_MONITOR_EXIT = 11,     /* zviMonitorExit */
    ZV_SERVICE_MONITOR_WAIT = 12,     /* zviMonitorWait */
    ZV_SERVICE_MONITOR_NOTIFY = 13,   /* zviMonitorNotify */
    /* The marker services answer 0 while the instrumentation runtime is off. */
    ZV_SERVICE_PUSH_MARKER = 14,    /* int32_t (JNIEnv *, int32_t markerNumber, int32_t location) */
    ZV_SERVICE_POP_MARKER = 15,     /* void (JNIEnv *) */
    ZV_SERVICE_MARKER_EXISTS = 16,  /* int (const PRIMarkerKey *) */
    ZV_SERVICE_ADD_EXTENSION = 17,  /* zviAddExtension */
    ZV_SERVICE_HANDLE_FOR_OBJECT = 18,    /* zviHandleForObject */
    ZV_SERVICE_MARKER_NAME = 19,          /* const char *(int32_t markerNumber) */
    ZV_SERVICE_BACKTRACE_PUSH_MARKER = 20, /* zviGetBacktraceUsingBacktracePushMarker */
    /* void (JNIEnv *, jclass, jmethodID, jobject argument): runs the static
     * method (argument, flag), on a system thread where the VM needs one. */
    ZV_SERVICE_PRIORITIZED_CALL = 21,
    ZV_SERVICE_REGISTER_STACK_NAME = 22,  /* void (int32_t event, const char *stackName) */
    ZV_SERVICE_GET_CONTEXT = 23,    /* jobject (JNIEnv *): the thread's ZVContext, a local reference */
    ZV_SERVICE_STORE_CONTEXT = 24,  /* void (JNIEnv *, jobject context): the thread's context from now on */
    /* void (const char *name, ZVHashTable *set): adds a copy of each entry
     * name of the directory install/name to the set, as key and value. */
    ZV_SERVICE_LIST_DIRECTORY = 25,
    /* void (const char *name): creates or truncates install/name, making its directories. */
    ZV_SERVICE_CREATE_FILE = 26,
    ZV_SERVICE_MARKER_DATA = 27,          /* PRIMarkerRecord *(int32_t id) */
    ZV_SERVICE_GC_INFO = 28,              /* zviGetGCInfo */
    ZV_SERVICE_CLASS_COUNT = 29,          /* zviGetClassCountValue */
    ZV_SERVICE_ACTIVE_THREAD_COUNT = 30,  /* zviGetActiveThreadCountValue */
    ZV_SERVICE_TOTAL_THREAD_COUNT = 31,   /* zviGetTotalThreadCountValue */
    ZV_SERVICE_WORDS = 32
} ZVServiceWord;

typedef struct ZVServices {
    ZVWord words[ZV_SERVICE_WORDS];
} ZVServices;

/* The entry point every extension library exports as "ZVInitFunction".
 * identifier: the number of extensions loaded before it + 7. initArgs: the
 * arguments map of its table entry and the options (null when none), the
 * agent's, valid during the call only (read it with zviGetArgument*).
 * constant: 2. Returns the extension's record, or null to stay out. */
typedef ZVExtensionRecord *(*ZVInitFunctionType)(JavaVM *vm, int32_t identifier, ZVServices *services,
                                                 SEElement *initArgs, int32_t constant);

/* ------------------------------------------------------------ samples and backtraces */

/* One sampled thread for zviSampleThreads: created zeroed by the caller, who
 * sets thread; the agent fills the rest and keeps frames and context until
 * zviFreeLowLevelBuffer. The record itself stays the caller's. */
typedef struct ZVSampleRecord {
    JNIEnv *thread;
    int32_t frameCount;  /* frames of the last snapshot */
    int32_t capacity;    /* 0 until frames were first copied, then as deep as the thread was seen (at most 7400) */
    int32_t *frames;     /* frames of (location, method identifier, unused), bottom first */
    ZVWord callerWord;   /* the caller's, never touched */
    int32_t hasRun;      /* 1: ran since the previous snapshot */
    jobject context;     /* the thread's context (a global reference), or null */
} ZVSampleRecord;

typedef struct PRIMethodEntry {
    int32_t location;
    int32_t method;
} PRIMethodEntry;

/* A method buffer (zviAllocateMethodBuffer): the first three words are the
 * interface; capacity keeps every fill within the entries allocated. */
typedef struct PRIMethodBuffer {
    ZVWord owner;
    int32_t count;
    PRIMethodEntry *entries;
    int32_t capacity;
} PRIMethodBuffer;

typedef struct PRIBacktraceFrame {
    int32_t location;  /* 0 for a group frame */
    int32_t method;
    int32_t zero;
} PRIBacktraceFrame;

typedef struct PRIBacktrace {
    int32_t count;
    int32_t capacity;
    PRIBacktraceFrame *frames;
} PRIBacktrace;

/* Owned by the caller; the references and the copy buffer belong to the
 * thread and are only remembered here. The thread replaces its references
 * when its call stack moves to a larger array, so they are good only until
 * the thread runs on: read them again through the backtrace services. */
typedef struct PRIBacktraceWorkspace {
    PRIBacktrace *backtrace;
    jobject context;
    jintArray callStack;
    jint *copyBuffer;
    ZVWord reserved;
} PRIBacktraceWorkspace;

/* A marker's record; the marker table's, never freed. The text's first three
 * words are a counted 16-bit string with its hash. */
typedef struct PRIMarkerRecord {
    uint16_t *text;
    uint32_t length;  /* 16-bit units */
    uint32_t hash;
    const char *stackName;  /* null when the event had none */
    int32_t event;
    uint32_t identifier;  /* marker number | ZV_ID_MARKER */
    ZVWord reserved;
    ZVWord last;  /* 0 at creation */
} PRIMarkerRecord;

/* A marker key as ZV_SERVICE_MARKER_EXISTS looks it up: the first four words of a record. */
typedef struct PRIMarkerKey {
    const uint16_t *text;
    uint32_t length;
    uint32_t hash;  /* 0: computed on use */
    const char *stackName;
} PRIMarkerKey;

/* ------------------------------------------------------------ threads, monitors and VM facts */

/* VM flavours (zviGetVMFlavor). */
enum {
    ZV_VM_UNKNOWN = 0,
    ZV_VM_CLASSIC = 1,
    ZV_VM_IBM = 2,
    ZV_VM_HOTSPOT = 3,
    ZV_VM_JEODE = 4,
    ZV_VM_JROCKIT = 5
};

/* What a thread is doing, in more detail than its status (zviGetThreadState). */
enum {
    ZV_THREAD_RUNNING = 1,
    ZV_THREAD_BLOCKED = 2,   /* waiting to enter a monitor */
    ZV_THREAD_WAITING = 3,   /* Object.wait, park, join */
    ZV_THREAD_SLEEPING = 4,
    ZV_THREAD_NATIVE = 5     /* running native code */
};

/* A lock on a JVMPI raw monitor (zviMonitorAllocate). */
typedef struct zviMonitor {
    int32_t depth;  /* entries minus exits; informational only */
    JVMPI_RawMonitor rawMonitor;
} zviMonitor;

/* The memory profiler's options; the first word is the enabled flag. */
typedef struct ZVMemoryProfilerOptions {
    int32_t enabled;
} ZVMemoryProfilerOptions;

typedef void *(*ZVGetStorageFunction)(JNIEnv *env);

/* The profiler interface record (JVMPI), for calls into the VM. */
ZVI_API JVMPI_Interface *zvipi;

// ---------------------------------------------------------------- the VM

ZVI_API int zviGetVMFlavor(void);
ZVI_API const char *zviGetVMFlavorDescription(void);
ZVI_API JavaVM *zviGetCurrentVM(void);
ZVI_API int zviIsInitialized(void);
ZVI_API int zviSupportsSuspendingThreads(void);
ZVI_API int zviSupportsLowLevelSampler(void);
ZVI_API int zviIsMemoryProfilerDisabled(void);
ZVI_API int zviIsQADisabled(void);
/* Snapshots the call stacks of the threads of records (pointers to
 * ZVSampleRecord) into the records; sampler is the calling thread. */
ZVI_API void zviSampleThreads(JNIEnv *sampler, ZVVector *records, int includeIdle);
/* Releases what the agent keeps for a sample record (frames, context);
 * the record itself stays the caller's. */
ZVI_API void zviFreeLowLevelBuffer(JNIEnv *env, void *record);
ZVI_API jint zviDetachCurrentThread(void);
ZVI_API unsigned char zviSetExitEnabled(unsigned char flag);

// ---------------------------------------------------------------- locks

/* A new named monitor, released with zviMonitorDestroy. */
ZVI_API zviMonitor *zviMonitorAllocate(const char *name);
ZVI_API int zviMonitorEnter(zviMonitor *monitor);
ZVI_API void zviMonitorExit(zviMonitor *monitor);
ZVI_API void zviMonitorWait(zviMonitor *monitor, int32_t milliseconds);
ZVI_API void zviMonitorNotify(zviMonitor *monitor);
ZVI_API void zviMonitorDestroy(zviMonitor *monitor);
ZVI_API int zviMutexSize(void);
ZVI_API void zviMutexInit(void *storage);
ZVI_API void zviMutexEnter(void *storage);
ZVI_API void zviMutexExit(void *storage);
/* The agent's data lock (re-entrant): guards the thread registry. */
ZVI_API void zviDataLock(void);
ZVI_API void zviDataUnlock(void);

// ---------------------------------------------------------------- GC and dumps

ZVI_API void zviDisableGC(void);
ZVI_API void zviEnableGC(void);
ZVI_API void zviRunGC(void);
ZVI_API int zviGetGCGeneration(void);
/* Takes a heap dump; the bytes stay the agent's until the next dump. */
ZVI_API char *zviHeapDump(int *outLength, int *outGeneration);
/* Takes a heap dump and hands its bytes to callback, valid during the call. */
ZVI_API void zviProcessHeapDump(void (*callback)(char *bytes, int length));
ZVI_API int32_t zviConvertHeapDumpClassID(ZVWord classID);
ZVI_API unsigned char zviObjectArrayDescription(jobjectID object, uint32_t *outClassID,
                                                  int32_t *outCount, uint32_t *outElements,
                                                  int32_t maximum);

// ---------------------------------------------------------------- object references

ZVI_API int zviSupportsHandleForObject(void);
ZVI_API int zviSupportsObjectForHandle(void);
ZVI_API jobject zviHandleForObject(jobjectID object);
ZVI_API jobjectID zviObjectForHandle(jobject reference);
ZVI_API int zviIsValidJNIEnv(JNIEnv *env);

// ---------------------------------------------------------------- handlers

/* Installs the main extension's handler table; the agent keeps its address. */
ZVI_API void zviSetHandlers(ZVHandlerTable *table);
ZVI_API void zviPostAuditErrorEvent(ZVWord a, ZVWord b);
ZVI_API jint zviGetGCInfo(void);
ZVI_API jint zviGetClassCountValue(void);
ZVI_API jint zviGetActiveThreadCountValue(void);
ZVI_API jint zviGetTotalThreadCountValue(void);
ZVI_API void zviSetMemoryProfilerEnabled(unsigned char flag);
ZVI_API ZVMemoryProfilerOptions *zviGetMemProfilerOptions(void);

// ---------------------------------------------------------------- threads

/* The registered threads, null-terminated. The array is the agent's and the
 * next call rewrites it: call and read it under zviDataLock. */
ZVI_API JNIEnv **zviGetActiveThreads(void);
ZVI_API void zviSuspendThread(JNIEnv *env);
ZVI_API void zviResumeThread(JNIEnv *env);
ZVI_API jint zviGetThreadStatus(JNIEnv *env);
ZVI_API jint zviGetThreadState(JNIEnv *env);
// The CPU time a registered thread has used, in nanoseconds, from its own
// CPU clock; -1 when it cannot be read (no native handle, thread gone).
ZVI_API jlong zviGetThreadCPUTime(JNIEnv *env);
ZVI_API jlong zviGetCPUTime(void);
ZVI_API int zviIsGreenThreads(void);
ZVI_API unsigned char zviThreadHasRun(JNIEnv *env);
ZVI_API unsigned char zviThreadHasRun2(JNIEnv *sampler, JNIEnv *env, int useSampler,
                                         int useStatus);
ZVI_API void zviInitThreadHasRun(JNIEnv *sampler);
ZVI_API void zviEnableMethodsNotifications(int flag);
/* Runs function on a new VM system thread, its argument the thread's
 * JNIEnv; JNI_OK when the thread started. */
ZVI_API jint zviCreateSystemThread(const char *name, void (*function)(void *));
ZVI_API jint zviCreatePrioritizedSystemThread(const char *name, int priority,
                                                void (*function)(void *));
ZVI_API JNIEnv *zviGetJNIEnvForSystemThreadNamed(const char *name);
/* The thread's name, the registry's (freed when the thread ends): read it
 * under zviDataLock. */
ZVI_API const char *zviGetThreadName(JNIEnv *env);
ZVI_API const char *zviGetThreadGroupPathForJNIEnv(JNIEnv *env);
ZVI_API void *zviGetNativeThreadID(JNIEnv *env);
// Another thread's storage is freed at its end, just after it leaves the
// registry: read it only under zviDataLock, for a thread still registered.
ZVI_API ZVWord zviGetThreadLocalStorage(JNIEnv *env, int slot);
ZVI_API ZVGetStorageFunction zviGetThreadLocalStorageFunction(void);
ZVI_API void zviSetThreadLocalStorage(JNIEnv *env, int slot, ZVWord value);
ZVI_API void zviRegisterAuditThread(JNIEnv *env);
ZVI_API void zviSetSamplerThread(JNIEnv *env);
ZVI_API int zviIsAuditThread(JNIEnv *env);
ZVI_API jobjectID zviThreadObjectForJNIEnv(JNIEnv *env);
ZVI_API JNIEnv *zviJNIEnvForThreadHandle(jobject handle);
ZVI_API int zviIsVMShuttingDown(void);

/* ---------------------------------------------------------------- extensions */

ZVI_API void zviAddExtension(JNIEnv *env, SEElement *item);
ZVI_API void zviInitExtensions(JNIEnv *env);
ZVI_API int zviGetNumExtensions(void);
// An index outside the list gives "" or 0, as for an extension without the entry.
ZVI_API const char *zviGetBackendExtensionJavaClassName(ZVWord ignored, int index);
ZVI_API const char *zviGetGUIExtensionJavaClassName(ZVWord ignored, int index);
ZVI_API ZVWord zviArchiveHeaderForExtension(ZVWord a, ZVWord b, ZVWord c, int index);
ZVI_API ZVWord zviArchiveDataForExtension(ZVWord a, ZVWord b, ZVWord c, int index);

ZVI_API int zviGetToolID(void);
ZVI_API const char *zviGetLogFile(void);
ZVI_API int zviGetLogFileSeverity(void);
ZVI_API const char *zviGetUnitTestSnapDB(void);
ZVI_API const char *zviGetUnitTestSnapDir(void);

/* ---------------------------------------------------------------- backtraces, method buffers and markers */

/* A new buffer of count entries, released with zviFreeMethodBuffer. */
ZVI_API PRIMethodBuffer *zviAllocateMethodBuffer(int count);
ZVI_API int zviClearMethodBuffer(PRIMethodBuffer *buffer, int count);
ZVI_API void zviGetMethodBufferValues(PRIMethodBuffer *buffer, int32_t *outMethod,
                                        int32_t *outLocation, int index);
ZVI_API void zviFreeMethodBuffer(PRIMethodBuffer *buffer);
ZVI_API int zviGetMethodBufferSize(PRIMethodBuffer *buffer);
ZVI_API int zviGetCurrentMethodForEnvIn(JNIEnv *env, PRIMethodBuffer *buffer, int max);
/* The thread's backtrace in a per-thread record of the agent's (as is
 * zviConvertMethodBufferToBacktrace's result): never release it. */
ZVI_API PRIBacktrace *zviGetCurrentBacktraceForEnv(JNIEnv *env);
ZVI_API PRIBacktrace *zviConvertMethodBufferToBacktrace(PRIMethodBuffer *buffer);
ZVI_API PRIBacktrace *zviConvertMethodBufferToBacktraceFrom(PRIMethodBuffer *buffer,
                                                              PRIBacktrace *backtrace, int first);

/* Backtraces read into the caller's workspace (zviInitBacktraceWorkspace
 * before, zviClearBacktraceWorkspace after). */
ZVI_API PRIBacktrace *zviGetStackTraceForEnvWithLength(JNIEnv *env, PRIBacktraceWorkspace *workspace,
                                                         int length);
ZVI_API PRIBacktrace *zviGetCurrentBacktraceForEnvUsingBacktrace(JNIEnv *env,
                                                                   PRIBacktraceWorkspace *workspace);
ZVI_API PRIBacktrace *zviGetBacktraceUsingBacktracePushMarker(JNIEnv *env,
                                                                PRIBacktraceWorkspace *workspace,
                                                                int32_t markerNumber, int32_t location);
ZVI_API void zviInitBacktraceWorkspace(JNIEnv *env, PRIBacktraceWorkspace *workspace);
ZVI_API void zviClearBacktraceWorkspace(JNIEnv *env, PRIBacktraceWorkspace *workspace);

ZVI_API int zviIsStackTraceMethodMarker(int32_t id);
ZVI_API int zviIsOverheadMarker(int32_t id, int32_t other);
ZVI_API int zviHasOverheadMarker(void);
/* Whether id is a group or marker identifier; *outName (when not null) is
 * then its display name, the agent's. */
ZVI_API int zviIsGroupID(int32_t id, int32_t event, const char **outName);
ZVI_API int32_t zviConverMarkerLineToUniqueMethod(int32_t id, int32_t event);
/* The marker table's record of a marker identifier, or null; never freed. */
ZVI_API PRIMarkerRecord *zviGetMarkerDataForID(JNIEnv *env, int32_t id);
ZVI_API int32_t *zviCodeForSpecialMethodID(int32_t id, int32_t event);
ZVI_API int32_t zviGetClassIDForMethodID(int32_t id);
/* The non-Java source a method's lines come from (SMAP data), the agent's;
 * null when it has none. */
ZVI_API const char *zviGetAlternateSourceForMethodID(int32_t id, ZVWord *outExtra);

/* ---------------------------------------------------------------- class filters */

/* Appends the entries of a new filter file; they alone answer queries from now on. */
ZVI_API int zviReloadFilter(const char *path);
ZVI_API int zviFilterAffectsMemoryProfiler(void);
ZVI_API int zviFilterAffectsCPUProfiler(void);
ZVI_API int zviShouldIgnoreMemory(int32_t methodID);
ZVI_API int zviShouldIgnoreCPU(int32_t methodID);

/* Whether a method gets entry and exit probes: its class's name in dotted
 * form ("java.util.HashMap", as class-load events name it), its name,
 * descriptor and access flags; nonzero: instrument it. Asked for every method
 * of every class the agent instruments, on the thread that loads the class,
 * without a lock held: it must be quick and thread-safe. */
typedef int (*ZVMethodWanted)(const char *className, const char *methodName, const char *descriptor,
                              int32_t access);
/* Instruments only the methods that wanted answers yes for (the filters still
 * apply to them); the other methods, and classes with none of them, stay as
 * the VM loaded them, the classes loaded while the VM starts included. For an
 * extension that needs the stacks of a few methods only (timing the methods
 * of a filter); the stacks then hold those methods' frames alone. A
 * constructor's frame then starts when its super() or this() call has
 * returned (the callers, perhaps left as loaded, could not close a frame that
 * call's exception left open): the superclass's constructor, if wanted, is a
 * frame of its own beside it, and a call whose super() throws has none. Call
 * from ZVInitFunction, before classes load. 1 when in force; 0 when wanted is null,
 * a restriction is in force already, or a class has been instrumented. */
ZVI_API int zviInstrumentOnly(ZVMethodWanted wanted);

/* ---------------------------------------------------------------- services for extensions */

/* The kinds of argument value zviGetArgumentText reports. */
enum {
    ZV_ARGUMENT_MISSING = 0,
    ZV_ARGUMENT_TEXT = 1,    /* a string, handed over as it is */
    ZV_ARGUMENT_NUMBER = 2,  /* a 32-bit number, handed over in decimal */
    ZV_ARGUMENT_OTHER = 3    /* a list, map or data: no text */
};

/* The number of keys of an initArgs map; -1 when args is null or no map. */
ZVI_API int32_t zviGetArgumentCount(const SEElement *args);
/* The key at index (0 <= index < count, in the map's order), or null. The
 * text is the map's: valid as long as the map, during ZVInitFunction. */
ZVI_API const char *zviGetArgumentKey(const SEElement *args, int32_t index);
/* The value of key as text, a new string the caller releases with sFree;
 * null when the key is missing or its value has no text. *outKind (when
 * not null) says which of ZV_ARGUMENT_* the value is. */
ZVI_API char *zviGetArgumentText(const SEElement *args, const char *key, int32_t *outKind);

/* The CPU sampler options of the agent's options: period in milliseconds and
 * time (1 wall clock, 2 CPU). 1 when the options start the CPU profiler and
 * the words were filled, else 0 (nothing filled). Known from ZVInitFunction on. */
ZVI_API int zviGetSamplerOptions(int32_t *outPeriod, int32_t *outTime);

/* Switches exact call counting on: from now on the instrumented methods count
 * their calls, per thread and per method number (ZVIDNumber). env is the
 * caller's, after the VM is initialised (javaInit on). 1 when counting is on,
 * 0 when the instrumentation runtime is inactive. */
ZVI_API int zviStartCallCounting(JNIEnv *env);
/* Hibernation on (1) or off (0): while on, instrumented methods skip their
 * entry and exit calls (one flag read each), so no frames are pushed and no
 * calls counted; frames pushed before still pop. env as for
 * zviStartCallCounting. 1 when switched, 0 when the runtime is inactive. */
ZVI_API int zviSetHibernation(JNIEnv *env, int on);
/* The calls counted so far by every thread, ended ones included: a new array
 * indexed by method number, *outLength long, the caller's to sFree. Null
 * (and *outLength 0) when counting never started or the runtime is inactive. */
ZVI_API int32_t *zviGetCallCounts(JNIEnv *env, int32_t *outLength);

/* Exact method timing. Once switched on, the instrumented methods that are
 * timed read the agent's clock (ZVTime.time0) at entry and at every
 * exit, a return or an exception, and each thread adds the times up in its
 * call tree: per call path the calls, the total time and the least and
 * greatest time of one call. Methods entered and left without a frame of
 * their own count a call of no time. env is the caller's, after the VM is
 * initialised (javaInit on). With onlyMarked 0 every ordinary method is
 * timed, else only those marked with zviTimeMethods. 1 when timing is on, 0
 * when the instrumentation runtime is inactive. */
ZVI_API int zviStartMethodTiming(JNIEnv *env, int onlyMarked);
/* Marks methods for timing by their numbers (ZVIDNumber), count of them;
 * they are timed from their next entry on. 1 when marked, else 0. */
ZVI_API int zviTimeMethods(JNIEnv *env, const int32_t *numbers, int32_t count);
/* The words of one node of zviGetMethodTimes: the index of its parent node
 * (node 0, the root, has none and is its own), the method identifier as
 * entered, calls, total nanoseconds, least and greatest nanoseconds of a call. */
enum { ZV_TIMED_NODE_WORDS = 6 };
/* Every thread's call tree merged by call path, ended threads included: a
 * new array of *outNodes nodes of ZV_TIMED_NODE_WORDS words, parents before
 * their children, the caller's to sFree. Calls still running count the time
 * they have run so far. Null (and *outNodes 0) when the runtime is inactive. */
ZVI_API int64_t *zviGetMethodTimes(JNIEnv *env, int32_t *outNodes);

/* Sampled allocations: called on the allocating thread (env) just after it
 * allocated an object that the VM's heap sampler picked, with the object's
 * class signature ("Ljava/lang/String;", "[I"; valid during the call) and its
 * size in bytes. The handler may read the thread's backtrace
 * (zviGetCurrentBacktraceForEnv) and must not call Java code. */
typedef void (*ZVAllocationSampled)(JNIEnv *env, const char *classSignature, int64_t size);
/* Starts sampling allocations: on average one sample for every intervalBytes
 * (1 to 1 GB) a thread allocates, each handed to handler. Not every
 * allocation is seen, so the cost stays small. 1 when started; 0 when the VM
 * cannot sample allocations, the interval is out of range, sampling already
 * runs, or the memory profiler's allocation events are on (they need every
 * allocation). Call it once the VM is initialised (javaInit on). */
ZVI_API int zviStartAllocationSampling(int64_t intervalBytes, ZVAllocationSampled handler);

/* Monitor contention: called on a thread (env) that had to wait for a monitor
 * another thread held, once it has entered it, with the class signature of
 * the monitor's object (valid during the call) and the nanoseconds it waited.
 * The same rules as for ZVAllocationSampled apply. */
typedef void (*ZVMonitorContended)(JNIEnv *env, const char *classSignature, int64_t blockedNanos);
/* Starts reporting monitor contention to handler. 1 when started; 0 when the
 * VM cannot report it or it already runs. Call it once the VM is initialised. */
ZVI_API int zviStartContentionEvents(ZVMonitorContended handler);

/* Answers one request of the audit port, on the port's listener thread (env).
 * argument is the rest of the request line after the command's name, spaces
 * trimmed ("" when none). Returns 1 with the reply's bytes in *outReply and
 * their number in *outLength, or 0 with a NUL-terminated error text in
 * *outReply. Either way *outReply is new memory from sMalloc (or null) that
 * the agent releases. The client reads "OK <length>" and the bytes, or
 * "ERROR <text>". */
typedef int (*ZVAuditCommand)(JNIEnv *env, const char *argument, char **outReply, int32_t *outLength);
/* Registers a command of the audit port under name (one word, copied);
 * usage (e.g. "profile KIND", copied) is quoted when a request names no
 * known command. 1 when registered; 0 when the name is empty, has a space or
 * is taken, answer is null, or 16 commands are registered. */
ZVI_API int zviRegisterAuditCommand(const char *name, const char *usage, ZVAuditCommand answer);

#endif /* ZVI_H */
