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

// A class whose method "m", its Code attribute and the class carry 3000 empty
// attributes each: their records and array slots take more room than the
// class's arena holds. Parts replaced afterwards are each freed once.
TEST(ClassRoundTrip, PartsBeyondTheArenaAndReplacedPartsGoWithTheClass) {
    const int n = 3000;
    ClassBytes c;
    c.u32(0xCAFEBABE).u16(0).u16(52).u16(8).utf8("T").u8(JCR_CONSTANT_Class).u16(1).utf8("java/lang/Object");
    c.u8(JCR_CONSTANT_Class).u16(3).utf8("Code").utf8("m").utf8("()V").u16(0x21).u16(2).u16(4).u16(0).u16(0);
    c.u16(1).u16(JCR_ACC_STATIC).u16(6).u16(7).u16(n + 1);
    for (int owner = 0; owner < 3; owner++) {
        if (owner == 1) c.u16(5).u32(13 + 6 * n).u16(0).u16(0).u32(1).u8(JCR_OP_RETURN).u16(0);
        if (owner > 0) c.u16(n);
        for (int i = 0; i < n; i++) c.u16(6).u32(0);
    }
    ClassPtr jclass = Parse(c.bytes);
    ASSERT_NE(jclass, nullptr);
    auto *last = reinterpret_cast<uint8_t *>(jclass->attributes[n - 1]);
    EXPECT_FALSE(last >= jclass->arena.base && last < jclass->arena.base + jclass->arena.size);  // the premise
    EXPECT_EQ(Write(jclass.get()), c.bytes);

    JCRMember *m = jclass->methods[0];
    CodePtr code(JCRParseCode(jclass.get(), m->attributes[n]));
    ASSERT_NE(code, nullptr);
    for (int type : {1, 2}) JCRAddExceptionEntry(code.get(), 0, 1, 0, type);
    JCRAttribute *written = JCRWriteCode(jclass.get(), code.get());
    JCRRelease(&jclass->arena, m->attributes[n]);
    m->attributes[n] = written;
    AddAttribute(jclass.get(), m, "Extra");
    ASSERT_NE(JCRAddField(jclass.get(), 0, "f", "I"), nullptr);
    ClassPtr again = Parse(Write(jclass.get()));
    ASSERT_NE(again, nullptr);
    CodePtr reread(JCRParseCode(again.get(), again->methods[0]->attributes[n]));
    ASSERT_NE(reread, nullptr);
    EXPECT_EQ(again->methods[0]->attributes_count, n + 2);
    EXPECT_EQ(reread->exception_table_length, 2);
    EXPECT_EQ(reread->exception_table[1].catch_type, 2);
    EXPECT_EQ(reread->attributes_count, n);
}
