// The list of loaded extensions in the agent state: how the loader adds to
// it, and the questions the Java side and other extensions ask about it.
#include "agent/agent_internal.h"
#include "ext/extensions.h"
#include "support/heap.h"

namespace {

JavaVM *currentVM() { return ZVState().vm; }

int32_t extensionCount() { return ZVState().extensionCount; }

void addExtension(ZVExtensionRecord *record) {
    ZVAgentState &state = ZVState();
    auto **list = static_cast<ZVExtensionRecord **>(
        sMalloc(static_cast<int>(sizeof(ZVExtensionRecord *)) * (state.extensionCount + 1)));
    if (list == nullptr) return;
    for (int i = 0; i < state.extensionCount; ++i) list[i] = state.extensions[i];
    sFree(state.extensions);
    state.extensions = list;
    ZVHandlerTable *table = ZVInstalledHandlers();
    if (table != nullptr && table->extensionAdded != nullptr && record->connect != nullptr) {
        table->extensionAdded(record);
    }
    list[state.extensionCount] = record;
    ++state.extensionCount;
}

const ZVExtensionHost kHost = {currentVM, extensionCount, addExtension};

// Indices come from callers outside the agent: one beyond the list is none.
ZVExtensionRecord *extensionAt(int index) {
    const ZVAgentState &state = ZVState();
    return index >= 0 && index < state.extensionCount ? state.extensions[index] : nullptr;
}

const char *orEmpty(const char *text) { return text != nullptr ? text : ""; }

}  // namespace

void ZVInstallExtensionHost() { ZVSetExtensionHost(&kHost); }

void zviInitExtensions(JNIEnv *env) {
    ZVAgentState &state = ZVState();
    for (int i = 0; i < state.extensionCount; ++i) {
        ZVExtensionRecord *record = state.extensions[i];
        if (record != nullptr && record->javaInit != nullptr) record->javaInit(env);
    }
}

int zviGetNumExtensions(void) { return ZVState().extensionCount; }

const char *zviGetBackendExtensionJavaClassName(ZVWord, int index) {
    ZVExtensionRecord *record = extensionAt(index);
    return record != nullptr ? orEmpty(record->backendClassName) : "";
}

const char *zviGetGUIExtensionJavaClassName(ZVWord, int index) {
    ZVExtensionRecord *record = extensionAt(index);
    return record != nullptr ? orEmpty(record->guiClassName) : "";
}

ZVWord zviArchiveHeaderForExtension(ZVWord a, ZVWord b, ZVWord c, int index) {
    ZVExtensionRecord *record = extensionAt(index);
    return record != nullptr && record->archiveHeader != nullptr ? record->archiveHeader(a, b, c) : 0;
}

ZVWord zviArchiveDataForExtension(ZVWord a, ZVWord b, ZVWord c, int index) {
    ZVExtensionRecord *record = extensionAt(index);
    return record != nullptr && record->archiveData != nullptr ? record->archiveData(a, b, c) : 0;
}
