// A scope guard for a JNI local reference: deleted when the scope that took
// it ends, so that no early return leaks it. JNI only, for every layer that
// calls Java.
#pragma once

#include <jni.h>

#include <utility>

// A JNI local reference (jobject, jclass, jstring, ...); null is allowed.
template <typename T = jobject>
class LocalRef {
public:
    LocalRef(JNIEnv *env, T reference) : env_(env), reference_(reference) {}
    LocalRef(LocalRef &&other) noexcept : env_(other.env_), reference_(std::exchange(other.reference_, nullptr)) {}
    LocalRef(const LocalRef &) = delete;
    LocalRef &operator=(const LocalRef &) = delete;
    ~LocalRef() {
        if (reference_ != nullptr && env_ != nullptr) env_->DeleteLocalRef(reference_);
    }
    T get() const { return reference_; }
    operator T() const { return reference_; }
    explicit operator bool() const { return reference_ != nullptr; }

private:
    JNIEnv *env_;
    T reference_;
};
