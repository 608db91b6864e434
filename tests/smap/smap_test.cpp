// SMAP source maps: parsing with its messages, line mapping and mapped line
// tables thinned to the room given.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "classfile/classfile.h"
#include "smap/smap.h"
#include "support/heap.h"

namespace {

// Parsed from an exactly sized heap copy, so that a read past the end shows.
SMAP *parse(const std::string &text, int verbose = 0) {
    std::vector<uint8_t> bytes(text.begin(), text.end());
    return SMAPParse(bytes.data(), static_cast<int>(bytes.size()), verbose);
}

std::string parseError(const std::string &text) {
    testing::internal::CaptureStderr();
    SMAP *smap = parse(text, 1);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(smap, nullptr) << text;
    SMAPFree(smap);
    return err;
}

const std::string kTwoStrata =
    "SMAP\nPage_jsp.java\nJSP\n"
    "*S Other\n*F\n1 other.txt\n*L\n1:1\n"
    "*S JSP\n*F\n+ 1 page.jsp\npages/page.jsp\n2 header.jspf\n"
    "*L\n1#2,3:10,2\n20#1,5:30\n40:35\n*V\nvendor text\n*E\n";

struct Mapped {
    int count;
    std::vector<std::pair<int, int>> entries;  // start pc, line
    const char *source = nullptr;
    int32_t first = -1, last = -1;
};

Mapped mapTable(const SMAP *smap, std::vector<JCRLineEntry> entries, int room) {
    JCRLineTable table{0, 0, static_cast<uint16_t>(entries.size()), entries.data()};
    uint16_t *pcs = nullptr;
    uint16_t *lines = nullptr;
    Mapped m;
    m.count = SMAPMapLineTable(smap, &table, &pcs, &lines, &m.source, room, &m.first, &m.last);
    for (int i = 0; i < m.count; ++i) m.entries.push_back({pcs[i], lines[i]});
    sFree(pcs);
    sFree(lines);
    return m;
}

TEST(SMAPParse, ReadsStrataAndResolvesTheDefaultOneWithAnyLineEnd) {
    std::string crlf;
    for (char c : kTwoStrata) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    std::string cr = crlf;
    std::erase(cr, '\n');
    for (const std::string &text : {kTwoStrata, crlf, cr}) {
        SMAP *smap = parse(text);
        ASSERT_NE(smap, nullptr);
        EXPECT_STREQ(smap->generatedFileName, "Page_jsp.java");
        ASSERT_EQ(smap->stratumCount, 2);
        ASSERT_EQ(smap->resolved, &smap->strata[1]);
        const SMAPStratum &jsp = *smap->resolved;
        EXPECT_STREQ(jsp.name, "JSP");
        ASSERT_EQ(jsp.fileSection->count, 2);
        EXPECT_STREQ(jsp.fileSection->entries[0].sourceName, "page.jsp");
        EXPECT_STREQ(jsp.fileSection->entries[0].sourcePath, "pages/page.jsp");
        EXPECT_EQ(jsp.fileSection->entries[1].fileID, 2);
        EXPECT_EQ(jsp.fileSection->entries[1].sourcePath, nullptr);
        ASSERT_EQ(jsp.lineSection->count, 3);
        // An entry without a file ID stays in the file of the entry before it.
        const SMAPLineEntry &last = jsp.lineSection->entries[2];
        EXPECT_EQ(std::make_tuple(last.lineFileID, last.repeatCount, last.outputLineIncrement), std::make_tuple(1, 1, 1));
        SMAPFree(smap);
    }
}

TEST(SMAPParse, RefusesBadInputWithItsMessage) {
    const std::string head = "SMAP\nA.java\nJSP\n";
    const std::string ok = "*F\n1 a.jsp\n*L\n1:1\n";
    const std::pair<std::string, const char *> cases[] = {
        {"", "empty first line"},
        {"SMAP2\n", "first line is not SMAP"},
        {"SMAP\n\nJSP\n", "empty second line"},
        {"SMAP\nA.java\n", "no default stratum"},
        {head + "x\n*E\n", "invalid line, shorter than 2 bytes"},
        {head + "*S JSP\nSJSP\n*E\n", "invalid section, * missing"},
        {head + "*S J\n*E\n", "stratum section with no name"},
        {head + "*S JSP\n*L\n1:1\n*S XY\n" + ok + "*E\n",
         "unexpected new stratum section, previous stratum section is missing a file section"},
        {head + "*S JSP\n*F\n1 a.jsp\n*S XY\n" + ok + "*E\n",
         "unexpected new stratum section, previous stratum section is missing a line section"},
        {head + "*F\n1 a.jsp\n*E\n", "file section outside of a stratum section"},
        {head + "*S JSP\n" + ok + "*F\n2 b.jsp\n*E\n", "more than one file section in a stratum section"},
        {head + "*L\n1:1\n*E\n", "line section outside of a stratum section"},
        {head + "*S JSP\n" + ok + "*L\n2:2\n*E\n", "more than one line section in a stratum section"},
        {head + "*V\nx\n*S JSP\n" + ok + "*E\n", "vendor section outside of a stratum section"},
        {head + "*S JSP\n" + ok + "*O XY\nSMAP\n*E\n", "open embedded sections cannot be part of a resolved SMAP"},
        {head + "*S JSP\n" + ok + "*C XY\n*E\n", "close embedded sections cannot be part of a resolved SMAP"},
        {head + "*S JSP\n" + ok, "unexpected end of SMAP section"},
        {head + "*S JSPX\n" + ok + "*E\n", "failed to resolve default stratum"},
    };
    for (const auto &[text, message] : cases) {
        EXPECT_EQ(parseError(text), std::string("Error in SMAP: ") + message + "\n") << text;
    }
    // A malformed file line (an ID of 1024 digits, one past 32 bits, a path
    // line missing) discards the file section; a malformed line entry the
    // line section. Each is named.
    const std::string kNoFiles = "Error in SMAP: unexpected new stratum section, previous stratum section is missing a file section\n";
    const std::string kDropped = "Zentrova warning: SMAP file section of stratum JSP has a malformed line '";
    const std::pair<std::string, std::string> dropped[] = {
        {head + "*S JSP\n*F\n1 a.jsp\n" + std::string(1024, '1') + " b.jsp\n*L\n1:1\n*S XY\n*E\n",
         kDropped + std::string(80, '1') + "'. Section ignored.\n" + kNoFiles},
        {head + "*S JSP\n*F\n2147483648 a.jsp\n*L\n1:1\n*S XY\n*E\n",
         kDropped + "2147483648 a.jsp'. Section ignored.\n" + kNoFiles},
        {head + "*S JSP\n*F\n+ 1 a.jsp\n*L\n1:1\n*S XY\n*E\n",
         kDropped + "(its path line is missing)'. Section ignored.\n" + kNoFiles},
        {head + "*S JSP\n*F\n1 a.jsp\n*L\n1:1\n1,2\n*S XY\n*E\n",
         "Zentrova warning: SMAP line section of stratum JSP has a malformed line '1,2'. Section ignored.\nError in SMAP: "
         "unexpected new stratum section, previous stratum section is missing a line section\n"},
    };
    for (const auto &[text, err] : dropped) EXPECT_EQ(parseError(text), err) << text;
}

TEST(SMAPParse, WarnsAboutWhatItIgnores) {
    const std::string text = "SMAP\nA.java\nJSP\n*S JSP\n*F\n 0001 a.jsp\n*Q\nq\n*L\n 1 # 1 , 2 : 3 , 4 \n*E\nmore";
    testing::internal::CaptureStderr();
    SMAP *smap = parse(text, 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Zentrova warning: SMAP contains unknown section *Q. Section ignored.\n"
              "Zentrova warning: SMAP contains bytes after the *E section, bytes ignored\n");
    ASSERT_NE(smap, nullptr);
    EXPECT_EQ(smap->resolved->fileSection->entries[0].fileID, 1);
    const SMAPLineEntry &e = smap->resolved->lineSection->entries[0];
    EXPECT_EQ((std::vector<int32_t>{e.inputStartLine, e.lineFileID, e.repeatCount, e.outputStartLine,
                                    e.outputLineIncrement}),
              (std::vector<int32_t>{1, 1, 2, 3, 4}));
    SMAPFree(smap);
    // Quiet without verbose; a file ID of 1023 digits is still read.
    testing::internal::CaptureStderr();
    smap = parse("SMAP\nA.java\nJSP\n*S JSP\n*F\n" + std::string(1022, '0') + "7 a.jsp\n*L\n1:1\n*X\n*E\n\n");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    ASSERT_NE(smap, nullptr);
    EXPECT_EQ(smap->resolved->fileSection->entries[0].fileID, 7);
    SMAPFree(smap);
}

TEST(SMAPMapLine, MapsRepeatedOutputLinesOfAFile) {
    SMAP *smap = parse(kTwoStrata);
    ASSERT_NE(smap, nullptr);
    std::vector<int32_t> lines, files;
    for (int out = 9; out <= 16; ++out) {
        int32_t file = -1;
        lines.push_back(SMAPMapLine(smap, out, &file));
        files.push_back(file);
    }
    EXPECT_EQ(lines, (std::vector<int32_t>{-1, 1, 1, 2, 2, 3, 3, -1}));
    EXPECT_EQ(files, (std::vector<int32_t>{-1, 2, 2, 2, 2, 2, 2, -1}));
    int32_t file = 1;
    EXPECT_EQ(SMAPMapLine(smap, 10, &file), -1);  // only file 1's entries count
    EXPECT_EQ(SMAPMapLine(smap, 31, &file), 21);
    EXPECT_EQ(SMAPMapLine(smap, 30 + 65536, nullptr), 20);  // lines are 16-bit
    int32_t first, last;
    SMAPFileRange(smap, 1, &first, &last);
    EXPECT_EQ(std::make_pair(first, last), std::make_pair(20, 40));
    SMAPFileRange(smap, 3, &first, &last);
    EXPECT_EQ(std::make_pair(first, last), std::make_pair(-1, -1));
    SMAPFree(smap);
    // Found by fuzzing: a repeat count of 0 gave file 1 the range (1, 0).
    smap = parse("SMAP\nA.kt\nKotlin\n*S Kotlin\n*F\n1 A.kt\n*L\n1#1,00:1\n*E\n");
    ASSERT_NE(smap, nullptr);
    SMAPFileRange(smap, 1, &first, &last);
    EXPECT_EQ(std::make_tuple(first, last, SMAPMapLine(smap, 1, nullptr)), std::make_tuple(-1, -1, -1));
    SMAPFree(smap);
}

TEST(SMAPMapLineTable, KeepsTheFirstFilesLinesInPcOrder) {
    SMAP *smap = parse(kTwoStrata);
    ASSERT_NE(smap, nullptr);
    // Out of pc order; line 5 maps nowhere, line 10 to the other file.
    Mapped m = mapTable(smap, {{8, 32}, {0, 30}, {4, 5}, {6, 10}, {12, 35}}, 0);
    EXPECT_EQ(m.count, 3);
    EXPECT_EQ(m.entries, (std::vector<std::pair<int, int>>{{0, 20}, {8, 22}, {12, 40}}));
    EXPECT_STREQ(m.source, "pages/page.jsp");
    EXPECT_EQ(std::make_pair(m.first, m.last), std::make_pair(20, 40));

    m = mapTable(smap, {{0, 13}, {3, 9}, {5, 10}}, 0);
    EXPECT_EQ(m.entries, (std::vector<std::pair<int, int>>{{0, 2}, {5, 1}}));
    EXPECT_STREQ(m.source, "header.jspf");

    // All on one source line: one entry, the first.
    m = mapTable(smap, {{0, 10}, {2, 11}}, 1);
    EXPECT_EQ(m.entries, (std::vector<std::pair<int, int>>{{0, 1}}));
    EXPECT_EQ(mapTable(smap, {{0, 1}, {2, 2}}, 0).count, 0);
    SMAPFree(smap);
}

TEST(SMAPMapLineTable, ThinsEvenlyToTheRoomGiven) {
    SMAP *smap = parse("SMAP\nA.java\nJSP\n*S JSP\n*F\n1 a.jsp\n*L\n1#1,1000:1\n*E\n");
    ASSERT_NE(smap, nullptr);
    std::vector<JCRLineEntry> entries;
    for (int i = 0; i < 10; ++i) entries.push_back({static_cast<uint16_t>(i), static_cast<uint16_t>(i + 1)});
    Mapped m = mapTable(smap, entries, 5);
    EXPECT_EQ(m.entries, (std::vector<std::pair<int, int>>{{0, 1}, {1, 2}, {3, 4}, {7, 8}, {9, 10}}));
    entries.clear();
    for (int i = 0; i < 1000; ++i) entries.push_back({static_cast<uint16_t>(i), static_cast<uint16_t>(i + 1)});
    for (int room : {1, 3, 200, 999, 1000}) {
        m = mapTable(smap, entries, room);
        ASSERT_EQ(m.count, room);
        for (size_t i = 1; i < m.entries.size(); ++i) EXPECT_LT(m.entries[i - 1].first, m.entries[i].first);
    }
    // Evenly: no gap of more than twice the average.
    m = mapTable(smap, entries, 200);
    for (size_t i = 1; i < m.entries.size(); ++i) EXPECT_LE(m.entries[i].first - m.entries[i - 1].first, 10);
    SMAPFree(smap);
}

TEST(SMAPMapLineTable, AStratumWithoutFileOrLineSectionMapsNothing) {
    for (const char *section : {"*F\n1 a.jsp\n", "*L\n1:1\n"}) {
        SMAP *smap = parse(std::string("SMAP\nA.java\nJSP\n*S JSP\n") + section + "*E\n");
        ASSERT_NE(smap, nullptr) << section;
        EXPECT_EQ(SMAPMapLine(smap, 1, nullptr), -1);
        EXPECT_EQ(mapTable(smap, {{0, 1}}, 0).count, 0);
        SMAPFree(smap);
    }
    // Lines that map to a file the file section lacks keep no source name.
    SMAP *otherFile = parse("SMAP\nA.java\nJSP\n*S JSP\n*F\n1 a.jsp\n*L\n1:1\n*E\n");
    ASSERT_NE(otherFile, nullptr);
    testing::internal::CaptureStderr();
    Mapped m = mapTable(otherFile, {{0, 1}}, 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Zentrova Warning: non java source was not found for file id 0\n");
    EXPECT_EQ(m.count, 1);
    EXPECT_EQ(m.source, nullptr);
    SMAPFree(otherFile);
}

}  // namespace
