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
    return gCurrent->missing.count(name) != 0 ? nullptr : classFor(name);
}
jstring JNICALL NewStringUTF(JNIEnv *, const char *text) {
    return reinterpret_cast<jstring>(&gStrings.emplace_back(text));
}
template <typename ID>
ID JNICALL GetMember(JNIEnv *, jclass clazz, const char *name, const char *signature) {
    return static_cast<ID>(memberFor(clazz, name, signature));
}

}  // namespace

FakeJNI::FakeJNI() {
    gCurrent = this;
    JNINativeInterface_ &f = functions_;
    f.FindClass = FindClass;
    f.NewStringUTF = NewStringUTF;
    f.GetStaticMethodID = f.GetMethodID = GetMember<jmethodID>;
    f.GetStaticFieldID = f.GetFieldID = GetMember<jfieldID>;
    f.NewGlobalRef = f.NewLocalRef = [](JNIEnv *, jobject object) { return object; };
    f.DeleteLocalRef = f.DeleteGlobalRef = [](JNIEnv *, jobject) {};
    f.RegisterNatives = [](JNIEnv *, jclass clazz, const JNINativeMethod *methods, jint count) {
        for (jint i = 0; i < count; ++i)  // fails, as a VM does, when one is not declared
            if (gCurrent->missing.count(className(clazz) + "." + methods[i].name) != 0) return jint{JNI_ERR};
        return jint{JNI_OK};
    };
    f.GetStaticIntField = [](JNIEnv *, jclass, jfieldID field) {
        return jint{gCurrent->fieldValue(reinterpret_cast<Member *>(field)->name)};
    };
    f.CallStaticVoidMethodV = [](JNIEnv *, jclass clazz, jmethodID method, va_list args) { record(clazz, method, args); };
    f.CallStaticObjectMethodV = [](JNIEnv *, jclass clazz, jmethodID method, va_list args) {
        record(clazz, method, args);
        return jobject{};
    };
    f.ExceptionCheck = [](JNIEnv *) { return jboolean{JNI_FALSE}; };
    f.ExceptionOccurred = [](JNIEnv *) { return jthrowable{}; };
    f.ExceptionDescribe = f.ExceptionClear = [](JNIEnv *) {};
    f.GetStringUTFChars = [](JNIEnv *, jstring text, jboolean *) { return reinterpret_cast<std::string *>(text)->c_str(); };
    f.ReleaseStringUTFChars = [](JNIEnv *, jstring, const char *) {};
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
    return GetMember<jmethodID>(&env_, clazz, name, signature);
}

jstring FakeJNI::string(const char *text) { return NewStringUTF(&env_, text); }

