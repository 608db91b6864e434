// The scriptable JNIEnv. One instance is current at a time (the last made).
#include "agent/fake_jni.h"

#include <cstdarg>
#include <deque>
#include <map>

namespace {

struct Member {
    std::string owner, name, signature;
};

FakeJNI *gCurrent = nullptr;
std::deque<std::string> gClasses;  // a jclass is a pointer to its name here
std::deque<Member> gMembers;        // a jmethodID or jfieldID points to one
std::deque<std::string> gStrings;   // a jstring points to its text

jclass classFor(const std::string &name) {
    for (std::string &known : gClasses) {
        if (known == name) return reinterpret_cast<jclass>(&known);
    }
    gClasses.push_back(name);
    return reinterpret_cast<jclass>(&gClasses.back());
}

const std::string &className(jclass clazz) { return *reinterpret_cast<std::string *>(clazz); }

void *memberFor(jclass clazz, const char *name, const char *signature) {
    const std::string &owner = className(clazz);
    if (gCurrent->missing.count(owner + "." + name) != 0) return nullptr;
    gMembers.push_back(Member{owner, name, signature});
    return &gMembers.back();
}

std::string shortName(const std::string &owner) { return owner.substr(owner.rfind('/') + 1); }

// The arguments as text, read from the va_list by the method's descriptor.
std::string arguments(const Member &m, va_list args) {
    std::string text;
    for (size_t i = 1; i < m.signature.size() && m.signature[i] != ')'; ++i) {
        if (!text.empty()) text += ",";
        char type = m.signature[i];
        if (type == 'L') {
            i = m.signature.find(';', i);
            auto *value = va_arg(args, jobject);
            text += value != nullptr ? "\"" + *reinterpret_cast<std::string *>(value) + "\"" : "null";
        } else if (type == 'J') {
            text += std::to_string(va_arg(args, jlong));
        } else if (type == 'Z') {
            text += va_arg(args, int) ? "true" : "false";
        } else {
            text += std::to_string(va_arg(args, int));
        }
    }
    return text;
}

void record(jclass clazz, jmethodID method, va_list args) {
    const Member &m = *reinterpret_cast<Member *>(method);
    gCurrent->calls.push_back(shortName(className(clazz)) + "." + m.name + "(" + arguments(m, args) + ")");
    if (m.name == "waitForever") throw FakeJNI::WaitForever{};
}

jclass JNICALL FindClass(JNIEnv *, const char *name) {
    if (gCurrent->missing.count(name) != 0) return nullptr;
    return classFor(name);
}
jobject JNICALL NewGlobalRef(JNIEnv *, jobject object) { return object; }
void JNICALL DeleteLocalRef(JNIEnv *, jobject) {}
jint JNICALL RegisterNatives(JNIEnv *, jclass, const JNINativeMethod *methods, jint count) {
    for (jint i = 0; i < count; ++i) {
        gCurrent->nativeFunctions.push_back(methods[i].fnPtr);
    }
    return JNI_OK;
}
jmethodID JNICALL GetStaticMethodID(JNIEnv *, jclass clazz, const char *name, const char *signature) {
    return static_cast<jmethodID>(memberFor(clazz, name, signature));
}
jmethodID JNICALL GetMethodID(JNIEnv *, jclass clazz, const char *name, const char *signature) {
    return static_cast<jmethodID>(memberFor(clazz, name, signature));
}
jfieldID JNICALL GetFieldID(JNIEnv *, jclass clazz, const char *name, const char *signature) {
    return static_cast<jfieldID>(memberFor(clazz, name, signature));
}
jobject JNICALL NewLocalRef(JNIEnv *, jobject object) { return object; }
void JNICALL DeleteGlobalRef(JNIEnv *, jobject) {}
jboolean JNICALL ExceptionCheck(JNIEnv *) { return JNI_FALSE; }
jfieldID JNICALL GetStaticFieldID(JNIEnv *, jclass clazz, const char *name, const char *signature) {
    return static_cast<jfieldID>(memberFor(clazz, name, signature));
}
jint JNICALL GetStaticIntField(JNIEnv *, jclass, jfieldID field) {
    return gCurrent->fieldValue(reinterpret_cast<Member *>(field)->name);
}
void JNICALL CallStaticVoidMethodV(JNIEnv *, jclass clazz, jmethodID method, va_list args) {
    record(clazz, method, args);
}
jobject JNICALL CallStaticObjectMethodV(JNIEnv *, jclass clazz, jmethodID method, va_list args) {
    record(clazz, method, args);
    return nullptr;
}
jthrowable JNICALL ExceptionOccurred(JNIEnv *) { return nullptr; }
void JNICALL ExceptionDescribe(JNIEnv *) {}
void JNICALL ExceptionClear(JNIEnv *) {}
jstring JNICALL NewStringUTF(JNIEnv *, const char *text) {
    gStrings.push_back(text);
    return reinterpret_cast<jstring>(&gStrings.back());
}
const char *JNICALL GetStringUTFChars(JNIEnv *, jstring text, jboolean *) {
    return reinterpret_cast<std::string *>(text)->c_str();
}
void JNICALL ReleaseStringUTFChars(JNIEnv *, jstring, const char *) {}

}  // namespace

FakeJNI::FakeJNI() {
    gCurrent = this;
    functions_.FindClass = FindClass;
    functions_.NewGlobalRef = NewGlobalRef;
    functions_.DeleteLocalRef = DeleteLocalRef;
    functions_.RegisterNatives = RegisterNatives;
    functions_.GetStaticMethodID = GetStaticMethodID;
    functions_.GetStaticFieldID = GetStaticFieldID;
    functions_.GetMethodID = GetMethodID;
    functions_.GetFieldID = GetFieldID;
    functions_.NewLocalRef = NewLocalRef;
    functions_.DeleteGlobalRef = DeleteGlobalRef;
    functions_.ExceptionCheck = ExceptionCheck;
    functions_.GetStaticIntField = GetStaticIntField;
    functions_.CallStaticVoidMethodV = CallStaticVoidMethodV;
    functions_.CallStaticObjectMethodV = CallStaticObjectMethodV;
    functions_.ExceptionOccurred = ExceptionOccurred;
    functions_.ExceptionDescribe = ExceptionDescribe;
    functions_.ExceptionClear = ExceptionClear;
    functions_.NewStringUTF = NewStringUTF;
    functions_.GetStringUTFChars = GetStringUTFChars;
    functions_.ReleaseStringUTFChars = ReleaseStringUTFChars;
    env_.functions = &functions_;
}

int FakeJNI::fieldValue(const std::string &name) const {
    static const std::map<std::string, int> bits = {
        {"MEMORY_PROFILER_ALWAYS_DISABLED", 1}, {"SYSTEM_EXIT_DISABLED", 2},
        {"PROFILERS_ALWAYS_ENABLED", 4}, {"WAIT_FOR_ZENTROVA", 8}, {"AUTO_START_CPU_PROFILER", 16}};
    auto it = bits.find(name);
    return it != bits.end() ? it->second : 0;
}

jclass FakeJNI::findClass(const char *name) { return FindClass(&env_, name); }

jmethodID FakeJNI::staticMethod(jclass clazz, const char *name, const char *signature) {
    return GetStaticMethodID(&env_, clazz, name, signature);
}

jstring FakeJNI::string(const char *text) { return NewStringUTF(&env_, text); }

std::string FakeJNI::text(jstring string) {
    return string != nullptr ? *reinterpret_cast<std::string *>(string) : "(null)";
}
