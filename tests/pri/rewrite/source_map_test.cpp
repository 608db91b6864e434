// A javac-compiled class given a SourceDebugExtension attribute: with source
// maps on, its methods are registered and probed with the mapped source lines
// and remember the mapped file; with them off the class's own lines stay.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "class_files.h"
#include "pri/filters/class_tables.h"
#include "pri/filters/filters.h"
#include "pri/rewrite/instrument.h"
#include "support/heap.h"

namespace {

// Shapes.twoReturns spans lines 37, 38 and 40; the map sends generated lines
// 37..40 to lines 1..4 of page.jsp.
const char kMap[] = "SMAP\nShapes.java\nJSP\n*S JSP\n*F\n1 page.jsp\n*L\n1#1,4:37\n*E\n";

JCRClass *shapesWithMap(const std::string &map = kMap) {
    Bytes bytes = ClassBytesOf(std::string(ZV_PRI_JAVA_CLASSES) + "/shapes", "shapes/Shapes");
    JCRClass *jclass = JCRParseClass(bytes.data(), static_cast<int>(bytes.size()));
    if (jclass != nullptr) AddAttribute(jclass, jclass, "SourceDebugExtension", Bytes(map.begin(), map.end()));
    return jclass;
}

// The line numbers the method's probes store.
std::set<int> probedLines(const JCRClass *jclass, const char *name) {
    std::set<int> lines;
    for (int m = 0; m < jclass->methods_count; ++m) {
        if (strcmp(JCRUtf8At(jclass, jclass->methods[m]->name_index), name) != 0) continue;
        JCRCode *code = JCRParseCode(jclass, JCRFindMemberAttribute(jclass, jclass->methods[m], "Code"));
        JCRInsnList *list = JCRDecodeCode(code);
        for (int i = 1; i < list->count; ++i) {
            if (list->insns[i].opcode != 0x4f) continue;  // iastore
            const JCRInsn &push = list->insns[i - 1];
            if (push.opcode >= 0x02 && push.opcode <= 0x08) lines.insert(push.opcode - 0x03);
            if (push.opcode == 0x10) lines.insert(static_cast<int8_t>(push.operands[0]));
            if (push.opcode == 0x11) lines.insert(static_cast<int16_t>(push.operands[0] << 8 | push.operands[1]));
        }
        JCRFreeInsnList(list);
        JCRFreeCode(code);
    }
    return lines;
}

struct Registered {
    int start = 0, end = 0;
    std::string source;
};

Registered registered() {
    JVMPI_Method vm{const_cast<char *>("twoReturns"), const_cast<char *>("(I)I"), 0, 0, nullptr};
    int32_t classID = 0;
    JVMPI_Method *record = PRIMatchLoadedClass("shapes.Shapes", nullptr, 1, &vm, &classID);
    Registered r{record->start_lineno, record->end_lineno, ""};
    const char *source = PRIMethodSource(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(record->method_id)), nullptr);
    if (source != nullptr) r.source = source;
    sFree(record->method_name);
    sFree(record->method_signature);
    sFree(record);
    return r;
}

}  // namespace

TEST(SourceMappedClass, ReportsMappedLinesOnlyWhenSourceMapsAreOn) {
    PRIRuntimeSettings settings;
    settings.instrumentLines = 1;
    PRISetSettings(settings);
    for (int njpl : {1, 0}) {
        PRIFreeClassTables(PRIInstallClassTables(PRINewClassTables()));
        PRIFreeFilters(PRIInstallFilters(PRINewFilters()));
        JCRClass *jclass = shapesWithMap();
        ASSERT_NE(jclass, nullptr);
        ASSERT_EQ(PRIInstrumentClass(jclass, nullptr, njpl), 1);
        Registered r = registered();
        if (njpl) {
            EXPECT_EQ(probedLines(jclass, "twoReturns"), (std::set<int>{2, 4}));
            EXPECT_EQ(r.start, 1);
            EXPECT_EQ(r.end, 4);
            EXPECT_EQ(r.source, "page.jsp");
        } else {
            EXPECT_EQ(probedLines(jclass, "twoReturns"), (std::set<int>{38, 40}));
            EXPECT_EQ(r.start, 37);
            EXPECT_EQ(r.source, "");
        }
        JCRFreeClass(jclass);
    }
}

// Bad source maps with maps on: the parser's message, then the class named;
// the class is instrumented with its own Java lines and no source file.
// (Each of the parser's messages is checked in smap_test.cpp.)
TEST(SourceMappedClass, BadInputTable) {
    PRIRuntimeSettings settings;
    settings.instrumentLines = 1;
    PRISetSettings(settings);
    const std::string kKept = "Zentrova Warning: the SourceDebugExtension of class shapes/Shapes is not a usable SMAP; "
                              "its Java lines are kept\n";
    const std::string head = "SMAP\nShapes.java\nJSP\n";
    const std::pair<std::string, std::string> rows[] = {
        {"", "Error in SMAP: empty first line\n" + kKept},
        {head + "*S JSP\n*F\n1 page.jsp\n*L\n1#1,4\n*E\n",
         "Zentrova warning: SMAP line section of stratum JSP has a malformed line '1#1,4'. Section ignored.\n" + kKept},
        {head + "*S JSP\n*L\n1#1,4:37\n*E\n", kKept},
    };
    for (const auto &[map, err] : rows) {
        PRIFreeClassTables(PRIInstallClassTables(PRINewClassTables()));
        PRIFreeFilters(PRIInstallFilters(PRINewFilters()));
        JCRClass *jclass = shapesWithMap(map);
        testing::internal::CaptureStderr();
        EXPECT_EQ(PRIInstrumentClass(jclass, nullptr, 1), 1) << map;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), err) << map;
        EXPECT_EQ(probedLines(jclass, "twoReturns"), (std::set<int>{38, 40})) << map;
        Registered r = registered();
        EXPECT_EQ(std::make_pair(r.start, r.source), std::make_pair(37, std::string())) << map;
        JCRFreeClass(jclass);
    }
}
