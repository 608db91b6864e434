// Questions about the loaded extensions, asked by index from outside the agent.
#include "agent/agent_fixture.h"

namespace {

ZVWord sum(ZVWord a, ZVWord b, ZVWord c) { return a + b + c; }

TEST_F(AgentTest, ExtensionQueriesAnswerNoneForMissingEntriesAndIndices) {
    load();
    ZVExtensionRecord named{};
    named.backendClassName = "b.Backend";
    named.guiClassName = "g.Gui";
    named.archiveHeader = sum;
    ZVExtensionRecord bare{};
    addExtension(&named);
    addExtension(&bare);
    ASSERT_EQ(zviGetNumExtensions(), 2);
    struct Case {
        int index;
        const char *backend, *gui;
        ZVWord header, data;
    } cases[] = {{0, "b.Backend", "g.Gui", 6, 0}, {1, "", "", 0, 0}, {2, "", "", 0, 0}, {-1, "", "", 0, 0}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.index);
        EXPECT_STREQ(zviGetBackendExtensionJavaClassName(0, c.index), c.backend);
        EXPECT_STREQ(zviGetGUIExtensionJavaClassName(0, c.index), c.gui);
        EXPECT_EQ(zviArchiveHeaderForExtension(1, 2, 3, c.index), c.header);
        EXPECT_EQ(zviArchiveDataForExtension(1, 2, 3, c.index), c.data);
    }
}

}  // namespace
