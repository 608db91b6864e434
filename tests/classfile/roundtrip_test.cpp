// Parsing and writing back javac-compiled classes without edits.
#include "class_files.h"

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

TEST(ClassRoundTrip, BytesAfterTheLastAttributeAreDropped) {
    Bytes original = SampleClass("zvtest/Flow");
    Bytes padded = original;
    padded.insert(padded.end(), {1, 2, 3, 4, 5});
    ClassPtr jclass = Parse(padded);
    ASSERT_NE(jclass, nullptr);
    EXPECT_EQ(Write(jclass.get()), original);
}
