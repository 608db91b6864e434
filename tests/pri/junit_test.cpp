// The JUnit loader rewrite: the real JUnit 3.8.2 loader's line table, and a
// stand-in with stack maps run through isExcluded in a verifying VM.
#include <gtest/gtest.h>

#include <string>

#include "class_helpers.h"
#include "classfile/bytecode.h"
#include "pri/junit.h"
#include "scratch_directory.h"

namespace {

constexpr char kLoader[] = "junit/runner/TestCaseClassLoader";
const std::string kClasses = std::string(ZV_PRI_JAVA_CLASSES) + "/junit";

ClassPtr load(const std::string &source, const char *name, Bytes *bytes) {
    *bytes = classBytes(source, name);
    return parse(*bytes);
}

std::string runCheck(const std::string &classPath) {
    return run(std::string(ZV_JDK_JAVA) + " -Xverify:all -cp " + classPath + " junitcheck.Check");
}

// The rewritten loader in a directory of its own, placed first on the class path.
class JUnitLoader : public testing::Test {
protected:
    std::string runRewritten(const JCRClass *jclass, const std::string &rest) {
        Bytes bytes = write(jclass);
        dir_.Write("junit/runner/TestCaseClassLoader.class", std::string(bytes.begin(), bytes.end()));
        return runCheck(dir_.path() + ":" + rest);
    }
    ScratchDirectory dir_;
};

JCRLineTable *lineTable(const JCRClass *jclass, JCRCode **code) {
    *code = JCRParseCode(jclass, JCRFindMemberAttribute(jclass, JCRFindMethod(jclass, "isExcluded", "(Ljava/lang/String;)Z"), "Code"));
    for (int i = 0; *code != nullptr && i < (*code)->attributes_count; i++) {
        if (std::string(JCRUtf8At(jclass, (*code)->attributes[i]->name_index)) == "LineNumberTable")
            return JCRParseLineTable(jclass, (*code)->attributes[i]);
    }
    return nullptr;
}

}  // namespace

TEST_F(JUnitLoader, RealLoaderKeepsItsLinesOnTheirCode) {
    Bytes original;
    ClassPtr jclass = load(ZV_JUNIT_JAR, kLoader, &original);
    ASSERT_NE(jclass, nullptr);
    JCRCode *before = nullptr;
    JCRLineTable *oldLines = lineTable(jclass.get(), &before);
    ASSERT_EQ(PRIAdjustJUnitClassLoader(jclass.get()), 1);

    // (What the rewritten real loader answers is checked in a real VM end to end.)
    // The first line still starts at 0 and covers the test; every later line moved with its code.
    JCRCode *after = nullptr;
    JCRLineTable *newLines = lineTable(jclass.get(), &after);
    ASSERT_TRUE(oldLines != nullptr && newLines != nullptr);
    int bytes = static_cast<int>(after->code_length - before->code_length);
    EXPECT_EQ(bytes, 12);  // the new string constant is past 255: ldc_w
    ASSERT_EQ(newLines->count, oldLines->count);
    for (int e = 0; e < oldLines->count; e++) {
        EXPECT_EQ(newLines->entries[e].line_number, oldLines->entries[e].line_number);
        int start = oldLines->entries[e].start_pc;
        EXPECT_EQ(newLines->entries[e].start_pc, start == 0 ? 0 : start + bytes);
    }
    EXPECT_EQ(after->max_locals, before->max_locals);
    JCRFreeLineTable(oldLines);
    JCRFreeLineTable(newLines);
    JCRFreeCode(before);
    JCRFreeCode(after);
}

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
    ClassPtr similar = load(kClasses, "junit/runner/TestCaseClassLoader2", &bytes);
    ASSERT_NE(similar, nullptr);
    EXPECT_EQ(PRIAdjustJUnitClassLoader(similar.get()), 0);
    EXPECT_EQ(write(similar.get()), bytes);
    ClassPtr runner = load(ZV_JUNIT_JAR, "junit/runner/ReloadingTestSuiteLoader", &bytes);
    ASSERT_NE(runner, nullptr);
    EXPECT_EQ(PRIAdjustJUnitClassLoader(runner.get()), 0);
    EXPECT_EQ(write(runner.get()), bytes);

    ClassPtr renamed = load(ZV_JUNIT_JAR, kLoader, &bytes);
    ASSERT_NE(renamed, nullptr);
    JCRFindMethod(renamed.get(), "isExcluded", "(Ljava/lang/String;)Z")->name_index =
        static_cast<uint16_t>(JCRFindUtf8(renamed.get(), "loadClass"));
    Bytes written = write(renamed.get());
    testing::internal::CaptureStderr();
    EXPECT_EQ(PRIAdjustJUnitClassLoader(renamed.get()), 0);
    EXPECT_EQ(PRIAdjustJUnitClassLoader(renamed.get()), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Zentrova Warning: isExcluded method not found in JUnit class loader\n"
              "Zentrova Warning: isExcluded method not found in JUnit class loader\n");
    EXPECT_EQ(write(renamed.get()), written);
}
