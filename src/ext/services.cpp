// The services record handed to extensions and to metrics (the agent core
// fills its words), its lock entries, and the loader's directory and file
// services below the installation directory.
#include <cstdio>
#include <string>

#include "ext/extensions.h"
#include "platform/mutex.h"
#include "support/files.h"
#include "support/heap.h"
#include "support/install_paths.h"

namespace {

constexpr int kTool = 5;

template <typename Function>
ZVWord word(Function function) {
    return reinterpret_cast<ZVWord>(function);
}

void *createLock() { return CreateRecursiveMutex(); }
void enterLock(void *lock) { LockMutex(static_cast<RecursiveMutex *>(lock)); }
void leaveLock(void *lock) { UnlockMutex(static_cast<RecursiveMutex *>(lock)); }

ZVServices gServices{};

}  // namespace

ZVServices *ZVGetServices(void) { return &gServices; }

void ZVFillServiceLocks(void) {
    ZVWord *w = gServices.words;
    if (w[ZV_SERVICE_LOCK_CREATE] != 0) return;
    w[ZV_SERVICE_LOCK_ENTER] = word(enterLock);
    w[ZV_SERVICE_LOCK_LEAVE] = word(leaveLock);
    w[ZV_SERVICE_LOCK_CREATE] = word(createLock);
}

void ZVListToolDirectory(const char *name, ZVHashTable *set) {
    if (name == nullptr || set == nullptr) return;
    const char *install = GetInstallPath(kTool);
    if (install == nullptr) fputs("Can't find Zentrova tool path, trying cwd.\n", stderr);
    std::string directory = install != nullptr ? std::string(install) + '/' + name : name;
    ListDirectory(directory.c_str(), nullptr, &set, 0);
}

void ZVCreateToolFile(const char *name) {
    if (name == nullptr) return;
    const char *install = GetInstallPath(kTool);
    if (install == nullptr) {
        fputs("Can't find Zentrova path, trying cwd.\n", stderr);
        CreateEmptyFile(name);
        return;
    }
    std::string path = std::string(install) + '/' + name;
    char *parent = ParentDirectory(path.data(), 1);
    if (parent != nullptr && *parent != '\0') MakeDirectories(parent);
    sFree(parent);
    CreateEmptyFile(path.c_str());
}
