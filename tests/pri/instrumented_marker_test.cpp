// The instrumented-class marker on a JDK class (whose pool holds long
// constants): found only whole, added once, kept through writing.
#include <gtest/gtest.h>

#include <vector>

#include "classfile/classfile.h"
#include "pri/filters.h"
#include "support/heap.h"
#include "zvtool/class_sources.h"

TEST(InstrumentedMarker, MarkingIsFoundWholeAndSurvivesWritingAndParsing) {
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(ReadClass(ZV_JAVA_BASE_JMOD, "java/lang/Long", &bytes));
    JCRClass *jclass = JCRParseClass(bytes.data(), static_cast<int>(bytes.size()));
    ASSERT_NE(jclass, nullptr);
    EXPECT_EQ(PRIIsMarkedInstrumented(jclass), 0);
    EXPECT_EQ(PRIIsMarkedInstrumented(nullptr), 0);
    JCRAddUtf8(jclass, "__ZV_PRI_INSTR");
    EXPECT_EQ(PRIIsMarkedInstrumented(jclass), 0) << "the prefix alone is no marker";
    PRIMarkInstrumented(jclass);
    EXPECT_EQ(PRIIsMarkedInstrumented(jclass), 1);
    int length = 0;
    uint8_t *written = JCRWriteClass(jclass, &length);
    ASSERT_NE(written, nullptr);
    JCRClass *again = JCRParseClass(written, length);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(PRIIsMarkedInstrumented(again), 1);
    sFree(written);
    JCRFreeClass(again);
    JCRFreeClass(jclass);
}
