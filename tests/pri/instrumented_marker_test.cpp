// The instrumented-class marker: found in the constant pool, added once.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "classfile/classfile.h"
#include "pri/filters.h"
#include "support/heap.h"

namespace {

void U16(std::vector<uint8_t> &out, int value) {
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value));
}

void Utf8(std::vector<uint8_t> &out, const std::string &text) {
    out.push_back(1);
    U16(out, static_cast<int>(text.size()));
    out.insert(out.end(), text.begin(), text.end());
}

// A class A extending java/lang/Object with a Long constant and one more Utf8.
JCRClass *ParseClass(const std::string &lastUtf8) {
    std::vector<uint8_t> b = {0xCA, 0xFE, 0xBA, 0xBE, 0, 0, 0, 52};
    U16(b, 8);
    Utf8(b, "A");
    b.insert(b.end(), {7, 0, 1});
    Utf8(b, "java/lang/Object");
    b.insert(b.end(), {7, 0, 3});
    b.insert(b.end(), {5, 0, 0, 0, 0, 0, 0, 0, 42});  // Long: slots 5 and 6
    Utf8(b, lastUtf8);
    U16(b, 0x21);
    U16(b, 2);
    U16(b, 4);
    for (int i = 0; i < 4; i++) U16(b, 0);
    return JCRParseClass(b.data(), static_cast<int>(b.size()));
}

TEST(InstrumentedMarker, FoundBehindLongConstants) {
    JCRClass *jclass = ParseClass("__ZV_PRI_INSTR_7");
    ASSERT_NE(jclass, nullptr);
    EXPECT_EQ(PRIIsMarkedInstrumented(jclass), 1);
    JCRFreeClass(jclass);
}

TEST(InstrumentedMarker, NeedsTheWholePrefix) {
    JCRClass *jclass = ParseClass("__ZV_PRI_INSTR");
    ASSERT_NE(jclass, nullptr);
    EXPECT_EQ(PRIIsMarkedInstrumented(jclass), 0);
    EXPECT_EQ(PRIIsMarkedInstrumented(nullptr), 0);
    JCRFreeClass(jclass);
}

TEST(InstrumentedMarker, MarkingSurvivesWritingAndParsing) {
    JCRClass *jclass = ParseClass("plain");
    ASSERT_NE(jclass, nullptr);
    EXPECT_EQ(PRIIsMarkedInstrumented(jclass), 0);
    PRIMarkInstrumented(jclass);
    EXPECT_EQ(PRIIsMarkedInstrumented(jclass), 1);
    EXPECT_GT(JCRFindUtf8(jclass, "__ZV_PRI_INSTR_1"), 0);
    int length = 0;
    uint8_t *bytes = JCRWriteClass(jclass, &length);
    ASSERT_NE(bytes, nullptr);
    JCRClass *again = JCRParseClass(bytes, length);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(PRIIsMarkedInstrumented(again), 1);
    sFree(bytes);
    JCRFreeClass(again);
    JCRFreeClass(jclass);
}

}  // namespace
