// The native methods of the context class, exported under their own names
// and bound with RegisterNatives at the context bootstrap.
#pragma once

#include <jni.h>

#include "platform/export.h"

ZV_EXPORT jobject JNICALL ZVContext_getContext0(JNIEnv *env, jclass type);
ZV_EXPORT void JNICALL ZVContext_initStarted0(JNIEnv *env, jclass type);
ZV_EXPORT void JNICALL ZVContext_initEnded0(JNIEnv *env, jclass type);
ZV_EXPORT void JNICALL ZVContext_notifyMethodEntered(JNIEnv *env, jclass type, jlong time, jint a,
                                                     jint b, jint c);
ZV_EXPORT void JNICALL ZVContext_notifyMethodExited(JNIEnv *env, jclass type, jlong time);
ZV_EXPORT void JNICALL ZVContext_notifyMethodEnterWillExit(JNIEnv *env, jclass type, jlong time,
                                                           jint a, jint b, jint c);
ZV_EXPORT void JNICALL ZVContext_directINotEnabled0(JNIEnv *env, jclass type);
ZV_EXPORT void JNICALL ZVContext_storeContext0(JNIEnv *env, jclass type, jobject context);
ZV_EXPORT jint JNICALL ZVContext_getCurrentBacktraceID0(JNIEnv *env, jclass type, jint n);
ZV_EXPORT jint JNICALL ZVContext_createMarker(JNIEnv *env, jclass type, jstring name, jint event);
ZV_EXPORT jint JNICALL ZVContext_convertMarker(JNIEnv *env, jclass type, jint marker, jint event);
ZV_EXPORT void JNICALL ZVContext_debugPrint(JNIEnv *env, jclass type, jstring text);
