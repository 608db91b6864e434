// Rewrites that keep instrumentation invisible to Java serialization and give
// java/lang/Thread a slot for the thread's profiler context, and the natives
// through which the Java side applies them to class bytes.
#pragma once

#include <jni.h>

#include "platform/export.h"

struct JCRClass;

// 1 when java/io/ObjectStreamClass was rewritten to pass its serial-UID
// inputs through the context class's filters (also when some call sites were
// missing); 0 when its UID method is missing or its code is unreadable.
int PRIRewriteObjectStreamClass(JCRClass *jclass);
// 1 when java/lang/Thread got its context field and accessor; 0 when the class
// is another one, already carries the marker, or cannot take the additions.
int PRIRewriteThreadClass(JCRClass *jclass);

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
