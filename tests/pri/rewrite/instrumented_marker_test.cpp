// The instrumented-class marker on a JDK class (whose pool holds long
// constants): found only whole. (A rewritten Thread, written and loaded in
// another VM, is found marked end to end.)
#include <gtest/gtest.h>

#include "class_files.h"
#include "pri/filters/filters.h"

TEST(InstrumentedMarker, MarkingIsFoundOnlyWhole) {
    ClassPtr jclass = Parse(ClassBytesOf(ZV_JAVA_BASE_JMOD, "java/lang/Long"));
    ASSERT_NE(jclass, nullptr);
    EXPECT_EQ(PRIIsMarkedInstrumented(jclass.get()), 0);
    EXPECT_EQ(PRIIsMarkedInstrumented(nullptr), 0);
    JCRAddUtf8(jclass.get(), "__ZV_PRI_INSTR");
    EXPECT_EQ(PRIIsMarkedInstrumented(jclass.get()), 0) << "the prefix alone is no marker";
    PRIMarkInstrumented(jclass.get());
    EXPECT_EQ(PRIIsMarkedInstrumented(jclass.get()), 1);
}
