// What an action writes to standard error or standard output, through
// GoogleTest's capture; shared by the unit-test suites.
#pragma once

#include <gtest/gtest.h>

#include <string>

template <typename F>
std::string StderrOf(F action) {
    testing::internal::CaptureStderr();
    action();
    return testing::internal::GetCapturedStderr();
}

template <typename F>
std::string StdoutOf(F action) {
    testing::internal::CaptureStdout();
    action();
    return testing::internal::GetCapturedStdout();
}
