// Scope guards for what JNI and JVMTI hand out: a local reference is deleted,
// and JVMTI memory given back, when the scope that took it ends, so that no
// early return can leak them. They own exactly one thing each and move, not copy.
#pragma once

#include <jni.h>
#include <jvmti.h>

#include "platform/local_ref.h"

#include <cstddef>
#include <utility>
#include <vector>

// One block of JVMTI memory: an array or string that a JVMTI call fills
// through out(); given back with Deallocate.
template <typename T>
class JvmtiMemory {
public:
    explicit JvmtiMemory(jvmtiEnv *jvmti) : jvmti_(jvmti) {}
    JvmtiMemory(const JvmtiMemory &) = delete;
    JvmtiMemory &operator=(const JvmtiMemory &) = delete;
    ~JvmtiMemory() {
        if (memory_ != nullptr && jvmti_ != nullptr) jvmti_->Deallocate(reinterpret_cast<unsigned char *>(memory_));
    }
    T **out() { return &memory_; }
    T *get() const { return memory_; }
    T &operator[](std::size_t i) const { return memory_[i]; }

private:
    jvmtiEnv *jvmti_;
    T *memory_ = nullptr;
};

// Many blocks of JVMTI memory (the strings of one event), given back together.
class JvmtiAllocations {
public:
    explicit JvmtiAllocations(jvmtiEnv *jvmti) : jvmti_(jvmti) {}
    JvmtiAllocations(const JvmtiAllocations &) = delete;
    JvmtiAllocations &operator=(const JvmtiAllocations &) = delete;
    ~JvmtiAllocations() {
        for (void *memory : owned_) jvmti_->Deallocate(static_cast<unsigned char *>(memory));
    }
    template <typename T>
    T *keep(T *memory) {
        if (memory != nullptr) owned_.push_back(const_cast<void *>(static_cast<const void *>(memory)));
        return memory;
    }

private:
    jvmtiEnv *jvmti_;
    std::vector<void *> owned_;
};

// JVMTI's arrays of local references (classes, threads, objects): each
// reference deleted, then the array given back.
template <typename T>
class JvmtiRefArray {
public:
    JvmtiRefArray(jvmtiEnv *jvmti, JNIEnv *env) : memory_(jvmti), env_(env) {}
    ~JvmtiRefArray() {
        for (jint i = 0; i < count_ && env_ != nullptr; ++i)
            if (memory_[i] != nullptr) env_->DeleteLocalRef(memory_[i]);
    }
    jint *count() { return &count_; }
    T **out() { return memory_.out(); }
    jint size() const { return memory_.get() != nullptr ? count_ : 0; }
    T operator[](jint i) const { return memory_[static_cast<std::size_t>(i)]; }
    // The reference at i stays with the caller, who deletes it.
    T take(jint i) { return std::exchange(memory_[static_cast<std::size_t>(i)], nullptr); }

private:
    JvmtiMemory<T> memory_;
    JNIEnv *env_;
    jint count_ = 0;
};
