// The natives through which the Java side applies the Thread and
// ObjectStreamClass rewrites to class bytes.
#pragma once

#include <jni.h>

#include "platform/export.h"

// The rewritten class file, or null when the bytes do not parse or nothing
// was rewritten. Nothing is thrown to Java.
ZV_EXPORT jbyteArray JNICALL Java_meridyn_audit_instr_PRINative_instrumentThread0(JNIEnv *env, jclass clazz,
                                                                                  jbyteArray classFile);
ZV_EXPORT jbyteArray JNICALL Java_meridyn_audit_instr_DAraraNative_instrumentObjectStream0(JNIEnv *env,
                                                                                          jclass clazz,
                                                                                          jbyteArray classFile);
// True when the bytes parse as a class that carries the instrumented marker.
ZV_EXPORT jboolean JNICALL Java_meridyn_audit_instr_PRINative_isPRIThreadInstrumented0(JNIEnv *env, jclass clazz,
                                                                                      jbyteArray classFile);
ZV_EXPORT jboolean JNICALL Java_meridyn_audit_instr_PreInstrumentation_isPRIObjectStreamInstrumented0(
    JNIEnv *env, jclass clazz, jbyteArray classFile);
