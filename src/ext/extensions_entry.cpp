// Entry points of extension loading as the agent core calls them. These are
// minimal stand-ins: the extension loader fills them in with the real work.
#include "ext/extensions.h"

#include "agent/agent.h"

namespace {
ZVServices gServices;
}

ZVServices *ZVGetServices(void) { return &gServices; }

// Stand-in: the lock entries stay null until the loader provides them.
void ZVFillServiceLocks(void) {}

// Stand-in: no extension table is read yet, so no extension is loaded.
void ZVLoadExtensions(SEElement *, SEElement *) {}

// Stand-in: extensions are added only through the agent state for now.
void zviAddExtension(JNIEnv *, SEElement *) {}

void zviInitExtensions(JNIEnv *env) {
    ZVAgentState &state = ZVState();
    for (int i = 0; i < state.extensionCount; ++i) {
        ZVExtensionRecord *record = state.extensions[i];
        if (record != nullptr && record->javaInit != nullptr) record->javaInit(env);
    }
}

int zviGetNumExtensions(void) { return ZVState().extensionCount; }

int zviGetToolID(void) { return 5; }
