// Java string creation against a fake JNI environment: a pending exception
// is described and then ends the VM with the caller's message.
#include <gtest/gtest.h>

#include <jni.h>

#include <string>

#include "support/containers.h"

namespace {

_jobject fakeString, fakeThrowable;
bool exceptionPending;
std::string calls;  // the JNI functions called, in order, with their texts

jstring JNICALL newStringUTF(JNIEnv *, const char *utf8) {
    calls += std::string("new:") + utf8 + ";";
    return static_cast<jstring>(&fakeString);
}
jthrowable JNICALL exceptionOccurred(JNIEnv *) { return exceptionPending ? static_cast<jthrowable>(&fakeThrowable) : nullptr; }
void JNICALL exceptionDescribe(JNIEnv *) { calls += "describe;"; }
void JNICALL fatalError(JNIEnv *, const char *message) { calls += std::string("fatal:") + message + ";"; }

JNIEnv *fakeEnv(bool pending) {
    static JNINativeInterface_ functions{};
    static JNIEnv env{};
    functions.NewStringUTF = newStringUTF;
    functions.ExceptionOccurred = exceptionOccurred;
    functions.ExceptionDescribe = exceptionDescribe;
    functions.FatalError = fatalError;
    env.functions = &functions;
    exceptionPending = pending;
    calls.clear();
    return &env;
}

}  // namespace

TEST(JniString, PendingExceptionIsDescribedThenFatal) {
    ZVAllocateStringUTF(fakeEnv(true), "x");
    EXPECT_EQ(calls, "new:x;describe;fatal:ZVAllocateStringUTF;");
    ZVCheckJNIException(fakeEnv(true), "while loading");
    EXPECT_EQ(calls, "describe;fatal:while loading;");
}
