// The class dump archive: package directories, file names and refusals.
#include "class_files.h"
#include "scratch_directory.h"

namespace fs = std::filesystem;

namespace {

class ArchiveTest : public testing::Test {
protected:
    std::string Archive(const JCRClass *jclass, const std::string &base) {
        return StderrOf([&] { StdoutOf([&] { JCRArchiveClass(jclass, base.c_str()); }); });
    }

    ScratchDirectory scratch_;
    const fs::path base_ = scratch_.path();
};

}  // namespace

TEST_F(ArchiveTest, ClassesGoIntoTheirPackageDirectoriesUnderTheBase) {
    Bytes original = MinimalClass("zvtest/Shapes$Circle");
    ClassPtr jclass = Parse(original);
    ASSERT_NE(jclass, nullptr);
    std::string base = (base_ / "dump").string();  // created on the way
    EXPECT_EQ(Archive(jclass.get(), base), "");
    EXPECT_EQ(ReadBytes(base_ / "dump" / "zvtest" / "Shapes$Circle.class"), original);
    // A second archive replaces the file.
    EXPECT_EQ(Archive(jclass.get(), base + "/"), "");
    EXPECT_EQ(ReadBytes(base_ / "dump" / "zvtest" / "Shapes$Circle.class"), original);
    // A class of the default package goes into the base itself.
    Bytes top = MinimalClass("Top");
    ClassPtr topClass = Parse(top);
    ASSERT_NE(topClass, nullptr);
    EXPECT_EQ(Archive(topClass.get(), base_.string()), "");
    EXPECT_EQ(ReadBytes(base_ / "Top.class"), top);
}

TEST_F(ArchiveTest, PlainFileInPlaceOfAPackageDirectoryFailsAtFileCreation) {
    std::ofstream(base_ / "a") << "not a directory";
    ClassPtr jclass = Parse(MinimalClass("a/b/C"));
    ASSERT_NE(jclass, nullptr);
    std::string path = (base_ / "a" / "b").string();
    std::string messages = Archive(jclass.get(), base_.string());
    EXPECT_THAT(messages, testing::HasSubstr("Cannot create directory " + path + "\n"));
    EXPECT_THAT(messages, testing::HasSubstr("JCRArchiveClass could not validate " + path + "\n"));

    ClassPtr flat = Parse(MinimalClass("a/C"));
    messages = Archive(flat.get(), base_.string());
    EXPECT_THAT(messages, testing::StartsWith("Cannot create file " + (base_ / "a" / "C.class").string() + "\n"));
}

TEST_F(ArchiveTest, PathsLongerThanTheBufferAreRefused) {
    std::string longName;
    for (int i = 0; i < 12; i++) longName += std::string(200, 'p') + "/";
    longName += "C";
    ClassPtr jclass = Parse(MinimalClass(longName));
    ASSERT_NE(jclass, nullptr);
    std::string messages = Archive(jclass.get(), base_.string());
    EXPECT_THAT(messages, testing::HasSubstr("path too long"));
    // The directories that fitted were made; no file was written anywhere.
    for (const auto &entry : fs::recursive_directory_iterator(base_)) EXPECT_FALSE(entry.is_regular_file());

    ClassPtr shortClass = Parse(MinimalClass("Top"));
    messages = Archive(shortClass.get(), base_.string() + "/" + std::string(2100, 'q'));
    EXPECT_FALSE(fs::exists(base_ / "Top.class"));
    EXPECT_NE(messages, "");
}

TEST_F(ArchiveTest, ClassNamesThatWouldLeaveTheBaseAreRefused) {
    for (const char *name : {"../Evil", "a/../../Evil", "a//Evil", "a/.", "/abs/Evil", "a/"}) {
        ClassPtr jclass = Parse(MinimalClass(name));
        ASSERT_NE(jclass, nullptr);
        EXPECT_THAT(Archive(jclass.get(), (base_ / "in").string()), testing::HasSubstr("unsafe class name")) << name;
    }
    EXPECT_FALSE(fs::exists(base_ / "Evil.class"));
    EXPECT_FALSE(fs::exists(base_ / "in" / "Evil.class"));
}
