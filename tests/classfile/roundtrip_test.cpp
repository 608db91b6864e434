// Parsing and writing back javac-compiled classes without edits.
#include "class_test_support.h"

// (Every sample class, and every class of the JDK and the system's jars, comes
// back byte for byte through zvtool roundtrip --strict, registered beside
// this suite.) A minimal hand-made class has no member arrays at all.
TEST(ClassRoundTrip, MinimalHandMadeClassRoundTrips) {
    Bytes bytes = MinimalClass("Top");
    ClassPtr jclass = Parse(bytes);
    ASSERT_NE(jclass, nullptr);
    EXPECT_TRUE(jclass->fields == nullptr && jclass->methods == nullptr && jclass->interfaces == nullptr &&
                jclass->attributes == nullptr);
    EXPECT_EQ(Write(jclass.get()), bytes);
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
