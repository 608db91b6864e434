// Parsing and writing back javac-compiled classes without edits.
#include <set>

#include "class_test_support.h"

// The sample classes, a Java 17 class full of invokedynamic, and a minimal
// hand-made class come back byte for byte.
TEST(ClassRoundTrip, EveryClassComesBackByteIdentical) {
    std::vector<Bytes> classes;
    for (const auto &file : SampleClassFiles()) classes.push_back(ReadBytes(file));
    ASSERT_GE(classes.size(), 10u);  // the sample sources and their nested classes
    classes.push_back(ReadBytes(std::string(ZV_MODERN_CLASSES) + "/Lambdas.class"));
    classes.push_back(MinimalClass("Top"));
    for (const Bytes &original : classes) {
        ClassPtr jclass = Parse(original);
        ASSERT_NE(jclass, nullptr);
        EXPECT_EQ(Write(jclass.get()), original) << JCRClassName(jclass.get());
    }
    ClassPtr lambdas = Parse(classes[classes.size() - 2]);
    std::set<int> tags;
    for (int i = 1; i < lambdas->constant_pool_count; i++)
        if (lambdas->constant_pool[i] != nullptr) tags.insert(lambdas->constant_pool[i]->tag);
    for (int tag : {JCR_CONSTANT_MethodHandle, JCR_CONSTANT_MethodType, JCR_CONSTANT_InvokeDynamic})
        EXPECT_EQ(tags.count(tag), 1u) << tag;
    ClassPtr minimal = Parse(classes.back());
    EXPECT_TRUE(minimal->fields == nullptr && minimal->methods == nullptr && minimal->interfaces == nullptr &&
                minimal->attributes == nullptr);
}

// Longs and doubles keep their empty second slot; javac writes U+1F600 as
// two 3-byte surrogates in modified UTF-8, and the text keeps those bytes.
TEST(ClassRoundTrip, WidePoolEntriesAndModifiedUtf8) {
    ClassPtr jclass = Parse(SampleClass("zvtest/Constants"));
    ASSERT_NE(jclass, nullptr);
    int wide = 0;
    bool surrogates = false;
    for (int i = 1; i < jclass->constant_pool_count; i++) {
        const JCRConstant *entry = jclass->constant_pool[i];
        if (entry == nullptr) continue;
        if (entry->tag == JCR_CONSTANT_Long || entry->tag == JCR_CONSTANT_Double) {
            wide++;
            ASSERT_LT(i + 1, jclass->constant_pool_count);
            EXPECT_EQ(jclass->constant_pool[i + 1], nullptr);
        }
        const char *text = JCRUtf8At(jclass.get(), i);
        if (text != nullptr && std::string(text).find("\xED\xA0\xBD") != std::string::npos) surrogates = true;
    }
    EXPECT_GE(wide, 4);
    EXPECT_TRUE(surrogates);
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
