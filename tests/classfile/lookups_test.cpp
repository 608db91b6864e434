// Additions on parsed classes up to a full pool. (Plain lookups serve every
// instrumentation test and end-to-end run.)
#include <iterator>
#include <vector>

#include "class_files.h"

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

TEST(ClassAdditions, TextsLongerThan65535BytesAreRefused) {
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
    code.max_locals = 1;
    code.code_length = 1;
    code.code = body;

    JCRMember *helper = JCRAddMethod(c, 0x0002, "zvHelper", "()V", &code, nullptr);
    ASSERT_NE(helper, nullptr);
    ASSERT_EQ(c->methods_count, before + 1);
    EXPECT_EQ(c->methods[before], helper);  // (with Code and Synthetic: the rewritten Thread's, end to end)

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
    JCRRelease(&c->arena, c->constant_pool);
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

