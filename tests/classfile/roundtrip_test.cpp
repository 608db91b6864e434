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

// A class whose method "m" and the class itself carry `count` empty
// attributes each, and whose Code attribute does too: their records and array
// slots take far more room than their bytes, more than a parsed class's
// arena holds.
Bytes ManyAttributesClass(int count) {
    ClassBytes c;
    c.u32(0xCAFEBABE).u16(0).u16(52).u16(8);
    c.utf8("T").u8(JCR_CONSTANT_Class).u16(1).utf8("java/lang/Object").u8(JCR_CONSTANT_Class).u16(3);
    c.utf8("Code").utf8("m").utf8("()V");
    c.u16(0x21).u16(2).u16(4).u16(0).u16(0);
    c.u16(1).u16(JCR_ACC_STATIC).u16(6).u16(7).u16(count + 1);
    for (int i = 0; i < count; i++) c.u16(6).u32(0);
    c.u16(5).u32(static_cast<uint32_t>(13 + 6 * count)).u16(0).u16(0).u32(1).u8(JCR_OP_RETURN).u16(0).u16(count);
    for (int i = 0; i < count; i++) c.u16(6).u32(0);
    c.u16(count);
    for (int i = 0; i < count; i++) c.u16(6).u32(0);
    return c.bytes;
}

TEST(ClassRoundTrip, PartsBeyondTheArenaAndReplacedPartsGoWithTheClass) {
    const int count = 3000;
    Bytes bytes = ManyAttributesClass(count);
    ClassPtr jclass = Parse(bytes);
    ASSERT_NE(jclass, nullptr);
    EXPECT_EQ(Write(jclass.get()), bytes);

    // Replace parsed parts of the class and of its code: the attribute and
    // the arrays go back to the heap or stay in an arena, never freed twice.
    JCRClass *c = jclass.get();
    JCRMember *m = c->methods[0];
    CodePtr code(JCRParseCode(c, m->attributes[count]));
    ASSERT_NE(code, nullptr);
    EXPECT_EQ(code->attributes_count, count);
    JCRAddExceptionEntry(code.get(), 0, 1, 0, 0);
    JCRAddExceptionEntry(code.get(), 0, 1, 0, 2);
    JCRAttribute *written = JCRWriteCode(c, code.get());
    JCRRelease(&c->arena, m->attributes[count]);
    m->attributes[count] = written;
    AddAttribute(c, m, "Extra");
    ASSERT_NE(JCRAddField(c, 0, "f", "I"), nullptr);

    ClassPtr again = Parse(Write(c));
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->methods[0]->attributes_count, count + 2);
    EXPECT_EQ(again->fields_count, 1);
    CodePtr reread(JCRParseCode(again.get(), again->methods[0]->attributes[count]));
    ASSERT_NE(reread, nullptr);
    EXPECT_EQ(reread->exception_table_length, 2);
    EXPECT_EQ(reread->exception_table[1].catch_type, 2);
    EXPECT_EQ(reread->attributes_count, count);
}
