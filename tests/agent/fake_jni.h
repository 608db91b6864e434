// A scriptable JNIEnv for the VM-initialised processing: classes and
// members exist unless listed as missing, and every static call is recorded
// with its arguments.
#pragma once

#include <jni.h>

#include <set>
#include <string>
#include <vector>

class FakeJNI {
public:
    FakeJNI();
    JNIEnv *env() { return &env_; }

    // "meridyn/audit/Main" or "meridyn/audit/Main.setUnitTestMode".
    std::set<std::string> missing;
    // Values of the static int fields of meridyn/audit/Audit, by name.
    int fieldValue(const std::string &name) const;

    // "Class.method(args)" for every static call; strings quoted, null as null.
    std::vector<std::string> calls;
    // Thrown by waitForever, to stand for "never returns".
    struct WaitForever {};

    // Test-side helpers: a class handle, a static method and a Java string.
    jclass findClass(const char *name);
    jmethodID staticMethod(jclass clazz, const char *name, const char *signature);
    jstring string(const char *text);

private:
    JNINativeInterface_ functions_{};
    JNIEnv env_{};
};
