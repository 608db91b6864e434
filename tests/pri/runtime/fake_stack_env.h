// A JNIEnv for the runtime's call-stack readers: one thread whose context
// has an int array as its call stack. Array accesses outside the array raise
// an exception, as the VM's do; the tests also see them with ASan.
#pragma once

#include <jni.h>

#include <cstdint>
#include <vector>

class FakeStackEnv {
public:
    // Installs the runtime's thread storage and fields; the thread's
    // context is cached in its slots with a stack of room ints.
    explicit FakeStackEnv(int room = 2 + 2 * 1024);
    ~FakeStackEnv();
    JNIEnv *env() { return &env_; }

    // Pushes a frame as instrumented code does.
    void push(int32_t location, int32_t method);
    int stackPointer() const { return context_.stackPointer; }
    // Drops the cached context: the thread then has none.
    void forgetContext();
    int exceptions = 0;

    struct Context {
        int stackPointer;
        std::vector<jint> *stack;
        int hasRunCounter;
    };
    Context &context() { return context_; }

private:
    std::vector<jint> stack_;
    Context context_{};
    JNINativeInterface_ functions_{};
    JNIEnv env_{};
};
