// Class names, and additions on parsed classes up to a full pool. (Plain
// lookups serve every instrumentation test and end-to-end run.)
#include <iterator>
#include <vector>

#include "class_test_support.h"

namespace {

int CountTag(const JCRClass *jclass, int tag) {
    int count = 0;
    for (int i = 1; i < jclass->constant_pool_count; i++)
        if (jclass->constant_pool[i] != nullptr && jclass->constant_pool[i]->tag == tag) count++;
    return count;
}

}  // namespace

TEST(ClassLookups, ClassNameMatchesDottedAndInternalForms) {
    ClassPtr jclass = Parse(SampleClass("zvtest/Shapes$Circle"));
    ASSERT_NE(jclass, nullptr);
    EXPECT_STREQ(JCRClassName(jclass.get()), "zvtest/Shapes$Circle");
    EXPECT_TRUE(JCRClassNameIs(jclass.get(), "zvtest.Shapes$Circle"));
    EXPECT_TRUE(JCRClassNameIs(jclass.get(), "zvtest/Shapes$Circle"));
    EXPECT_FALSE(JCRClassNameIs(jclass.get(), "zvtest.Shapes$Circl"));
    EXPECT_FALSE(JCRClassNameIs(jclass.get(), "zvtest.Shapes$Circles"));
    EXPECT_FALSE(JCRClassNameIs(jclass.get(), "zvtest$Shapes$Circle"));
}

TEST(ClassAdditions, MethodrefTwiceSharesClassNameAndTypeAndTexts) {
    ClassPtr jclass = Parse(SampleClass("zvtest/Flow"));
    ASSERT_NE(jclass, nullptr);
    JCRClass *c = jclass.get();
    int utf8Before = CountTag(c, JCR_CONSTANT_Utf8), classBefore = CountTag(c, JCR_CONSTANT_Class);
    int first = JCRAddMethodref(c, "zv/Probe", "enterProbe", "(II)V");
    int second = JCRAddMethodref(c, "zv/Probe", "enterProbe", "(II)V");
    ASSERT_GT(first, 0);
    ASSERT_GT(second, 0);
    EXPECT_NE(first, second);
    EXPECT_EQ(second, c->constant_pool_count - 1);
    EXPECT_EQ(c->constant_pool[first]->index1, c->constant_pool[second]->index1);
    EXPECT_EQ(c->constant_pool[first]->index2, c->constant_pool[second]->index2);
    EXPECT_EQ(CountTag(c, JCR_CONSTANT_Utf8), utf8Before + 3);
    EXPECT_EQ(CountTag(c, JCR_CONSTANT_Class), classBefore + 1);
    EXPECT_EQ(JCRFindMethodref(c, "zv/Probe", "enterProbe", "(II)V"), first);

    int field = JCRAddFieldref(c, "zv/Probe", "depth", "I");
    ASSERT_GT(field, 0);
    EXPECT_EQ(c->constant_pool[field]->tag, JCR_CONSTANT_Fieldref);
    EXPECT_EQ(JCRFindFieldref(c, "zv/Probe", "depth", "I"), field);
    EXPECT_EQ(JCRAddClassRef(c, "zv/Probe"), c->constant_pool[first]->index1);

    // The edited class writes and parses again with the additions in place.
    ClassPtr again = Parse(Write(c));
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(JCRFindMethodref(again.get(), "zv/Probe", "enterProbe", "(II)V"), first);
}

// The batch finds or adds exactly what one-by-one lookups and additions
// would, in the same pool order: with some references there already, shared
// texts, a name used by a method and a field, and a spec given twice.
TEST(ClassAdditions, MemberRefBatchBuildsThePoolOfOneByOneCalls) {
    const JCRMemberRefSpec specs[] = {{true, "enterProbe", "(II)V"}, {false, "depth", "I"},
                                      {true, "depth", "()I"},        {true, "enterProbe", "(II)V"},
                                      {false, "out", "Ljava/io/PrintStream;"}, {true, "exit", "(I)V"}};
    const int n = static_cast<int>(std::size(specs));
    for (const char *owner : {"zv/Probe", "java/lang/System"}) {
        ClassPtr one = Parse(SampleClass("zvtest/Flow")), batch = Parse(SampleClass("zvtest/Flow"));
        ASSERT_NE(one, nullptr);
        ASSERT_NE(batch, nullptr);
        JCRAddFieldref(one.get(), owner, "depth", "I");
        JCRAddFieldref(batch.get(), owner, "depth", "I");
        for (int round = 0; round < 2; ++round) {
            int32_t expected[n], got[n];
            for (int i = 0; i < n; ++i) {
                const JCRMemberRefSpec &s = specs[i];
                int found = s.method ? JCRFindMethodref(one.get(), owner, s.name, s.descriptor)
                                     : JCRFindFieldref(one.get(), owner, s.name, s.descriptor);
                expected[i] = found > 0 ? found
                              : s.method ? JCRAddMethodref(one.get(), owner, s.name, s.descriptor)
                                         : JCRAddFieldref(one.get(), owner, s.name, s.descriptor);
            }
            JCRFindOrAddMemberRefs(batch.get(), owner, specs, n, got);
            EXPECT_EQ(std::vector<int32_t>(got, got + n), std::vector<int32_t>(expected, expected + n)) << owner;
            EXPECT_EQ(Write(batch.get()), Write(one.get())) << owner << " round " << round;
        }
    }
}

TEST(ClassAdditions, StringAndUtf8AlwaysAddNewEntriesAndTooLongTextsAreRefused) {
    ClassPtr jclass = Parse(MinimalClass("Top"));
    ASSERT_NE(jclass, nullptr);
    JCRClass *c = jclass.get();
    int a = JCRAddUtf8(c, "text");
    EXPECT_NE(JCRAddUtf8(c, "text"), a);
    int string = JCRAddString(c, "text");
    EXPECT_NE(c->constant_pool[string]->index1, a) << "a string gets a text of its own";
    EXPECT_STREQ(JCRUtf8At(c, c->constant_pool[string]->index1), "text");
    int integer = JCRAddInteger(c, -5);
    EXPECT_EQ(JCRFindInteger(c, -5), integer);
    EXPECT_EQ(JCRAddClassRef(c, "Top"), JCRFindClassRef(c, "Top")) << "the existing class entry";
    int nat = JCRAddNameAndType(c, "text", "()V");
    EXPECT_EQ(c->constant_pool[nat]->index1, a);
    ClassPtr fresh = Parse(MinimalClass("Top"));
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(JCRAddUtf8(fresh.get(), std::string(70000, 'x').c_str()), 0);
    EXPECT_EQ(fresh->constant_pool_count, 5);
    EXPECT_GT(JCRAddUtf8(fresh.get(), std::string(65535, 'y').c_str()), 0);
}

TEST(ClassAdditions, ClinitGoesFirstWithoutSyntheticOthersAppendWithIt) {
    ClassPtr jclass = Parse(SampleClass("zvtest/Flow"));
    ASSERT_NE(jclass, nullptr);
    JCRClass *c = jclass.get();
    int before = c->methods_count;
    uint8_t body[] = {0xb1};  // return
    JCRCode code{};
    code.name_index = static_cast<uint16_t>(JCRFindUtf8(c, "Code"));
    code.max_stack = 0;
    code.max_locals = 1;
    code.code_length = 1;
    code.code = body;

    JCRMember *helper = JCRAddMethod(c, 0x0002, "zvHelper", "()V", &code, nullptr);
    ASSERT_NE(helper, nullptr);
    ASSERT_EQ(c->methods_count, before + 1);
    EXPECT_EQ(c->methods[before], helper);
    ASSERT_EQ(helper->attributes_count, 2);
    EXPECT_STREQ(JCRUtf8At(c, helper->attributes[0]->name_index), "Code");
    EXPECT_TRUE(JCRIsSynthetic(c, helper));

    JCRAttribute *extra = JCRMakeSynthetic(c);
    extra->name_index = static_cast<uint16_t>(JCRAddUtf8(c, "ZVMarker"));
    JCRMember *clinit = JCRAddMethod(c, JCR_ACC_STATIC, "<clinit>", "()V", &code, extra);
    ASSERT_NE(clinit, nullptr);
    EXPECT_EQ(c->methods[0], clinit);
    EXPECT_EQ(c->methods[before + 1], helper);
    ASSERT_EQ(clinit->attributes_count, 2);
    EXPECT_EQ(clinit->attributes[1], extra);
    EXPECT_FALSE(JCRIsSynthetic(c, clinit));
    EXPECT_EQ(JCRFindStaticMethod(c, "<clinit>", "()V"), clinit);

    JCRMember *field = JCRAddField(c, 0x0002, "zvCount", "I");
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(c->fields[c->fields_count - 1], field);
    EXPECT_EQ(field->attributes_count, 0);

    ClassPtr again = Parse(Write(c));
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->methods_count, before + 2);
    EXPECT_NE(JCRFindMethod(again.get(), "zvHelper", "()V"), nullptr);
}

TEST(ClassAdditions, FullConstantPoolRefusesAdditionsWithAWarning) {
    ClassPtr jclass = Parse(MinimalClass("Top"));
    ASSERT_NE(jclass, nullptr);
    JCRClass *c = jclass.get();
    // Fill the pool to 65534 slots directly; growing it one addition at a time
    // would copy the slot array 65,000 times.
    auto **pool = static_cast<JCRConstant **>(sMalloc(65534 * sizeof(JCRConstant *)));
    std::memcpy(pool, c->constant_pool, 5 * sizeof(JCRConstant *));
    for (int i = 5; i < 65534; i++) {
        pool[i] = static_cast<JCRConstant *>(sMalloc(sizeof(JCRConstant)));
        *pool[i] = JCRConstant{};
        pool[i]->tag = JCR_CONSTANT_Integer;
        pool[i]->value = static_cast<uint32_t>(i);
    }
    sFree(c->constant_pool);
    c->constant_pool = pool;
    c->constant_pool_count = 65534;

    EXPECT_EQ(JCRAddInteger(c, -1), 65534);
    EXPECT_EQ(c->constant_pool_count, 65535);
    int refused = -1;
    std::string messages = StderrOf([&] { refused = JCRAddUtf8(c, "one too many"); });
    EXPECT_EQ(refused, 0);
    EXPECT_EQ(messages, "\n\nWARNING WARNING -- ConstantPool too large! -- <Top>\n\n");
    EXPECT_EQ(c->constant_pool_count, 65535);
    StderrOf([&] {
        EXPECT_EQ(JCRAddMethodref(c, "a/B", "m", "()V"), 0);
        EXPECT_EQ(JCRAddString(c, "s"), 0);
        EXPECT_EQ(JCRAddMethod(c, 0, "m", "()V", nullptr, nullptr), nullptr);
        EXPECT_EQ(JCRMakeSynthetic(c), nullptr);
    });
    EXPECT_EQ(c->methods_count, 0);
    // Still a valid class of 65535 slots.
    ClassPtr again = Parse(Write(c));
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->constant_pool_count, 65535);
}

// The kinds of newer class files, at the first version that allows each.
TEST(ClassDumps, NewerConstantKindsDumpAndRoundTrip) {
    ClassBytes b;
    b.u32(0xCAFEBABE).u16(0).u16(55).u16(9);
    b.utf8("x");                                          // 1
    b.u8(JCR_CONSTANT_MethodHandle).u8(6).u16(8);         // 2 invokestatic of 8
    b.u8(JCR_CONSTANT_MethodType).u16(1);                 // 3
    b.u8(JCR_CONSTANT_Dynamic).u16(0).u16(7);             // 4
    b.u8(JCR_CONSTANT_InvokeDynamic).u16(1).u16(7);       // 5
    b.u8(JCR_CONSTANT_Module).u16(1);                     // 6
    b.u8(JCR_CONSTANT_NameAndType).u16(1).u16(1);         // 7
    b.u8(JCR_CONSTANT_Package).u16(1);                    // 8
    b.u16(0).u16(0).u16(0).u16(0).u16(0).u16(0).u16(0);
    ClassPtr jclass = Parse(b.bytes);
    ASSERT_NE(jclass, nullptr);
    EXPECT_EQ(Write(jclass.get()), b.bytes);
    std::string out = StdoutOf([&] {
        for (int i = 2; i <= 8; i++) JCRDumpConstant(jclass.get(), i);
    });
    EXPECT_EQ(out,
              "MethodHandle (6,8)\nMethodType 1\nDynamic (0,7)\nInvokeDynamic (1,7)\nModule 1\n"
              "NameAndType (1,1)\nPackage 1\n");
}
