// The JVM profiler interface (JVMPI) as the agent uses it: the interface
// record, the event record, event numbers, thread-status bits and dump codes.
// The layout follows the classic interface; pointers are pointer-sized.
#pragma once

#include <jni.h>

#include <cstdint>

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
