// Heap and object dump records built from the live VM: the record of one
// object through JNI and JVMTI, and whole heap dumps from a heap walk.
#pragma once

#include <jni.h>

#include <string>
#include <unordered_map>
#include <vector>

#include "platform/dump_writer.h"
#include "platform/jvmpi.h"

// JVMPI's type code for a signature's first character: 2 for references
// (objects and arrays), 4 boolean, 5 char, 6 float, 7 double, 8 byte,
// 9 short, 10 int, 11 long; 0 for anything else.
jint JvmpiTypeCode(char signature);

// Writes the records of objects, keeping what it learnt about their classes
// for the next object of the same class. At level 0 a record is the object's
// type and ID; at level 1 primitive values are left out (instance and class
// records hold their reference fields only, primitive arrays no elements);
// at level 2 everything is written.
class DumpRecords {
public:
    DumpRecords(JNIEnv *env, jint level) : env_(env), level_(level) {}
    ~DumpRecords();
    DumpRecords(const DumpRecords &) = delete;
    DumpRecords &operator=(const DumpRecords &) = delete;

    // False when the object cannot be described (nothing is written then).
    bool write(DumpWriter &out, jobject object);

private:
    struct Field {
        jfieldID id;
        char type;  // first character of the signature
    };
    struct ClassInfo {
        std::string signature;
        jclass super = nullptr;  // global reference, null for Object and interfaces
        std::vector<Field> instanceFields, staticFields;
        jclass element = nullptr;  // global reference: arrays of references only
    };

    ClassInfo *infoFor(jclass klass);
    bool wanted(char type) const { return level_ >= JVMPI_DUMP_LEVEL_2 || type == 'L' || type == '['; }
    void writeValue(DumpWriter &out, jobject holder, const Field &field, bool isStatic);
    void writeInstanceValues(DumpWriter &out, jobject object, ClassInfo *info);
    uint32_t instanceSize(ClassInfo *info);
    void writeClass(DumpWriter &out, jclass klass, ClassInfo *info);
    void writeObjectArray(DumpWriter &out, jobjectArray array, ClassInfo *info);
    void writePrimitiveArray(DumpWriter &out, jarray array, char type);

    JNIEnv *env_;
    jint level_;
    std::unordered_map<jlong, ClassInfo> classes_;  // by class tag
};

// A heap dump at the level: the roots, then the record of every object
// reachable from them. False when the heap cannot be walked.
bool JvmpiWriteHeapDump(DumpWriter &out, JNIEnv *env, jint level);
