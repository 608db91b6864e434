// Parsing and writing back javac-compiled classes without edits.
#include <set>

#include "class_test_support.h"

TEST(ClassRoundTrip, EverySampleClassComesBackByteIdentical) {
    auto files = SampleClassFiles();
    ASSERT_GE(files.size(), 10u);  // the sample sources and their nested classes
    for (const auto &file : files) {
        Bytes original = ReadBytes(file);
        ClassPtr jclass = Parse(original);
        ASSERT_NE(jclass, nullptr) << file;
        EXPECT_EQ(Write(jclass.get()), original) << file;
    }
}

TEST(ClassRoundTrip, LongAndDoubleEntriesKeepTheirEmptySecondSlot) {
    ClassPtr jclass = Parse(SampleClass("zvtest/Constants"));
    ASSERT_NE(jclass, nullptr);
    int wide = 0;
    for (int i = 1; i < jclass->constant_pool_count; i++) {
        const JCRConstant *entry = jclass->constant_pool[i];
        if (entry == nullptr) continue;
        if (entry->tag == JCR_CONSTANT_Long || entry->tag == JCR_CONSTANT_Double) {
            wide++;
            ASSERT_LT(i + 1, jclass->constant_pool_count);
            EXPECT_EQ(jclass->constant_pool[i + 1], nullptr);
        }
    }
    EXPECT_GE(wide, 4);
    EXPECT_EQ(jclass->constant_pool[0], nullptr);
}

TEST(ClassRoundTrip, BytesAfterTheLastAttributeAreDropped) {
    Bytes original = SampleClass("zvtest/Flow");
    Bytes padded = original;
    padded.insert(padded.end(), {1, 2, 3, 4, 5});
    ClassPtr jclass = Parse(padded);
    ASSERT_NE(jclass, nullptr);
    EXPECT_EQ(Write(jclass.get()), original);
}

TEST(ClassRoundTrip, ModifiedUtf8TextKeepsItsBytes) {
    ClassPtr jclass = Parse(SampleClass("zvtest/Constants"));
    ASSERT_NE(jclass, nullptr);
    // javac writes U+1F600 as two 3-byte surrogates in modified UTF-8.
    bool found = false;
    for (int i = 1; i < jclass->constant_pool_count; i++) {
        const char *text = JCRUtf8At(jclass.get(), i);
        if (text != nullptr && std::string(text).find("\xED\xA0\xBD") != std::string::npos) found = true;
    }
    EXPECT_TRUE(found);
}

TEST(ClassRoundTrip, ClassesThatUseInvokedynamicComeBackByteIdentical) {
    Bytes bytes = ReadBytes(std::string(ZV_MODERN_CLASSES) + "/Lambdas.class");
    ClassPtr jclass = Parse(bytes);
    ASSERT_NE(jclass, nullptr);
    EXPECT_EQ(Write(jclass.get()), bytes);
    std::set<int> tags;
    for (int i = 1; i < jclass->constant_pool_count; i++)
        if (jclass->constant_pool[i] != nullptr) tags.insert(jclass->constant_pool[i]->tag);
    for (int tag : {JCR_CONSTANT_MethodHandle, JCR_CONSTANT_MethodType, JCR_CONSTANT_InvokeDynamic})
        EXPECT_EQ(tags.count(tag), 1u) << tag;
}

TEST(ClassRoundTrip, MinimalHandMadeClassRoundTrips) {
    Bytes bytes = MinimalClass("Top");
    ClassPtr jclass = Parse(bytes);
    ASSERT_NE(jclass, nullptr);
    EXPECT_EQ(jclass->fields, nullptr);
    EXPECT_EQ(jclass->methods, nullptr);
    EXPECT_EQ(jclass->interfaces, nullptr);
    EXPECT_EQ(jclass->attributes, nullptr);
    EXPECT_EQ(Write(jclass.get()), bytes);
}
