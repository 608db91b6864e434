// Java string creation against a fake JNI environment: a pending exception
// is described and ends the VM with the caller's message.
#include <gtest/gtest.h>

#include <jni.h>

#include <string>

#include "support/containers.h"

namespace {

struct FakeVm {
    bool exceptionPending = false;
    int describes = 0;
    std::string fatalMessage;
    std::string createdText;
    int order = 0;
    int describeOrder = 0;
    int fatalOrder = 0;
};
FakeVm vm;
_jobject fakeString;
_jobject fakeThrowable;

jstring JNICALL newStringUTF(JNIEnv *, const char *utf8) {
    vm.createdText = utf8;
    return static_cast<jstring>(&fakeString);
}
jthrowable JNICALL exceptionOccurred(JNIEnv *) {
    return vm.exceptionPending ? static_cast<jthrowable>(&fakeThrowable) : nullptr;
}
void JNICALL exceptionDescribe(JNIEnv *) {
    vm.describes++;
    vm.describeOrder = ++vm.order;
}
void JNICALL fatalError(JNIEnv *, const char *message) {
    vm.fatalMessage = message;
    vm.fatalOrder = ++vm.order;
}

class FakeJniEnv : public testing::Test {
protected:
    void SetUp() override {
        vm = FakeVm();
        functions.NewStringUTF = newStringUTF;
        functions.ExceptionOccurred = exceptionOccurred;
        functions.ExceptionDescribe = exceptionDescribe;
        functions.FatalError = fatalError;
        env.functions = &functions;
    }
    JNINativeInterface_ functions{};
    JNIEnv env{};
};

}  // namespace

TEST_F(FakeJniEnv, StringIsCreatedWhenNoExceptionIsPending) {
    EXPECT_EQ(ZVAllocateStringUTF(&env, "caf\xc3\xa9"), &fakeString);
    EXPECT_EQ(vm.createdText, "caf\xc3\xa9");
    EXPECT_EQ(vm.describes, 0);
    EXPECT_EQ(vm.fatalMessage, "");
}

TEST_F(FakeJniEnv, PendingExceptionIsDescribedThenFatal) {
    vm.exceptionPending = true;
    ZVAllocateStringUTF(&env, "x");
    EXPECT_EQ(vm.describes, 1);
    EXPECT_EQ(vm.fatalMessage, "ZVAllocateStringUTF");
    EXPECT_LT(vm.describeOrder, vm.fatalOrder);
    vm = FakeVm();
    vm.exceptionPending = true;
    ZVCheckJNIException(&env, "while loading");
    EXPECT_EQ(vm.fatalMessage, "while loading");
}

TEST_F(FakeJniEnv, NullTextCreatesNoString) {
    EXPECT_EQ(ZVAllocateStringUTF(&env, nullptr), nullptr);
    EXPECT_EQ(vm.createdText, "");
}
