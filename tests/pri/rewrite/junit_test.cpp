// The JUnit loader rewrite: a stand-in with stack maps run through
// isExcluded in a verifying VM, and the classes it leaves alone. (The real
// JUnit loader, rewritten, runs a suite end to end.)
#include <gtest/gtest.h>

#include <string>

#include "class_files.h"
#include "classfile/bytecode.h"
#include "pri/rewrite/instrument.h"
#include "scratch_directory.h"

namespace {

constexpr char kLoader[] = "junit/runner/TestCaseClassLoader";
const std::string kClasses = std::string(ZV_PRI_JAVA_CLASSES) + "/junit";

ClassPtr load(const std::string &source, const char *name, Bytes *bytes) {
    *bytes = ClassBytesOf(source, name);
    return Parse(*bytes);
}

std::string runCheck(const std::string &classPath) {
    return run(std::string(ZV_JDK_JAVA) + " -Xverify:all -cp " + classPath + " junitcheck.Check");
}

// The rewritten loader in a directory of its own, placed first on the class path.
class JUnitLoader : public testing::Test {
protected:
    std::string runRewritten(const JCRClass *jclass, const std::string &rest) {
        Bytes bytes = Write(jclass);
        dir_.Write("junit/runner/TestCaseClassLoader.class", std::string(bytes.begin(), bytes.end()));
        return runCheck(dir_.path() + ":" + rest);
    }
    ScratchDirectory dir_;
};

}  // namespace

// Version 61 with stack maps; its loop branches back to offset 0 and its
// switch makes the editor pad the inserted code.
TEST_F(JUnitLoader, LoopToTheFirstInstructionDoesNotRerunTheTestAndFramesVerify) {
    Bytes original;
    ClassPtr jclass = load(kClasses, kLoader, &original);
    ASSERT_NE(jclass, nullptr);
    ASSERT_EQ(PRIAdjustJUnitClassLoader(jclass.get()), 1);
    EXPECT_EQ(runRewritten(jclass.get(), kClasses),
              "meridyn.x=true calls=0\n"
              "meridyn.audit.profiler.ZVContext=true calls=0\n"
              "meridyn=false calls=1\n"
              "meridynx=false calls=2\n"
              "java.lang.String=false calls=3\n"
              "org.example.A=false calls=4\n"
              "-meridyn.x=false calls=5\n"
              "x=true calls=6\n"
              "x.y=true calls=7\n"
              "abc=false calls=8\n");
}

TEST(JUnitLoaderLeftAlone, OtherClassesAndALoaderWithoutIsExcludedKeepTheirBytes) {
    Bytes bytes;
    for (auto [source, name] : {std::pair{kClasses, "junit/runner/TestCaseClassLoader2"},
                                {std::string(ZV_JUNIT_JAR), "junit/runner/ReloadingTestSuiteLoader"}}) {
        ClassPtr other = load(source, name, &bytes);
        ASSERT_NE(other, nullptr) << name;
        EXPECT_EQ(PRIAdjustJUnitClassLoader(other.get()), 0) << name;
        EXPECT_EQ(Write(other.get()), bytes) << name;
    }

    ClassPtr renamed = load(ZV_JUNIT_JAR, kLoader, &bytes);
    ASSERT_NE(renamed, nullptr);
    JCRFindMethod(renamed.get(), "isExcluded", "(Ljava/lang/String;)Z")->name_index =
        static_cast<uint16_t>(JCRFindUtf8(renamed.get(), "loadClass"));
    Bytes written = Write(renamed.get());
    testing::internal::CaptureStderr();
    EXPECT_EQ(PRIAdjustJUnitClassLoader(renamed.get()), 0);
    EXPECT_EQ(PRIAdjustJUnitClassLoader(renamed.get()), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Zentrova Warning: isExcluded method not found in JUnit class loader\n"
              "Zentrova Warning: isExcluded method not found in JUnit class loader\n");
    EXPECT_EQ(Write(renamed.get()), written);
}
