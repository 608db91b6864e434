// Installation directories: a small per-tool cache, filled from the
// configuration's "installPath" values or looked up in the ".zv_audit" file,
// else the installation that holds the agent library itself.
#include "support/install_paths.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/module.h"
#include "support/files.h"
#include "support/heap.h"
#include "support/text.h"

namespace {

InstallPaths *gPaths = new InstallPaths();

struct ToolAudit {
    int tool;
    const char *auditName;
    int majorVersion;
    // Edition entries of the audit file, tried in order after the versions.
    const char *editions[4];
};

const ToolAudit kTools[] = {
    {0, "Profiler", 7, {"SuiteEnterprise", "SuiteProfessional", "SuiteStandard", "SuitePersonal"}},
    {1, "VivaveZizurivo", 7,
     {"SuiteEnterprise", "SuiteProfessional", "SuiteStandard", "SuitePersonal"}},
    {2, "DizaDeradare", 7, {"SuiteEnterprise", "SuiteProfessional", "SuiteStandard", "SuitePersonal"}},
    {3, "DArara", 3, {}},
    {5, "DuvOzurivud", 3, {"ServerSuiteEnterprise", "ServerSuiteStandard"}},
};

const ToolAudit *FindTool(int tool) {
    for (const ToolAudit &entry : kTools)
        if (entry.tool == tool) return &entry;
    return nullptr;
}

const char *CachedPath(int tool) {
    if (gPaths->cache == nullptr) return nullptr;
    return reinterpret_cast<const char *>(ZVHashGet(gPaths->cache, static_cast<ZVWord>(tool)));
}

void StorePath(int tool, const char *directory) {
    if (gPaths->cache == nullptr) gPaths->cache = ZVHashNew(10, nullptr, nullptr, "PathCache", 0);
    if (gPaths->cache == nullptr) return;
    if (const char *old = CachedPath(tool)) {
        ZVHashRemove(gPaths->cache, static_cast<ZVWord>(tool));
        sFree(const_cast<char *>(old));
    }
    ZVHashPut(gPaths->cache, static_cast<ZVWord>(tool), reinterpret_cast<ZVWord>(sStrdup(directory)));
}

bool IsAuditFile(const std::string &directory, std::string &path) {
    if (directory.empty()) return false;
    path = directory + "/.zv_audit";
    return IsRegularFile(path.c_str()) != 0;
}

// The directory text of an audit entry when it names an existing directory.
const char *DirectoryOf(const SEElement *value) {
    if (value == nullptr || value->type != SE_STRING) return nullptr;
    const char *text = SEGetString(value);
    return IsDirectoryUtf8(text) ? text : nullptr;
}

// Reads "MAJOR.MINOR" (both decimal, nothing after); false when malformed.
bool ParseVersion(const char *text, long &major, long &minor) {
    char *end = nullptr;
    if (*text < '0' || *text > '9') return false;
    major = strtol(text, &end, 10);
    if (*end != '.' || end[1] < '0' || end[1] > '9') return false;
    minor = strtol(end + 1, &end, 10);
    return *end == '\0';
}

const char *NewestVersionDirectory(const SEElement *audit, const char *auditName) {
    size_t nameLength = strlen(auditName);
    const char *best = nullptr;
    long bestMajor = -1, bestMinor = -1;
    ZVHashIterator *iterator = SEMapIterate(audit);
    while ((iterator = ZVHashNext(iterator)) != nullptr) {
        auto key = reinterpret_cast<const char *>(iterator->key);
        if (key == nullptr || strncmp(key, auditName, nameLength) != 0) continue;
        const char *rest = key + nameLength;
        long major, minor;
        if (strcmp(rest, "Props") == 0 || !ParseVersion(rest, major, minor)) continue;
        const char *directory = DirectoryOf(reinterpret_cast<const SEElement *>(iterator->value));
        if (directory == nullptr) continue;
        if (major > bestMajor || (major == bestMajor && minor > bestMinor)) {
            best = directory;
            bestMajor = major;
            bestMinor = minor;
        }
    }
    return best;
}

const char *AuditDirectory(const SEElement *audit, const ToolAudit &tool) {
    char key[64];
    snprintf(key, sizeof key, "%s%d.%d", tool.auditName, tool.majorVersion, 0);
    if (const char *directory = DirectoryOf(SEMapGet(audit, key))) return directory;
    if (const char *directory = NewestVersionDirectory(audit, tool.auditName)) return directory;
    for (const char *edition : tool.editions) {
        if (edition == nullptr) break;
        if (const char *directory = DirectoryOf(SEMapGet(audit, edition))) return directory;
    }
    return nullptr;
}

// The folder above the lib/ folder of the library that holds this code (the
// agent), when it is an installation: -agentpath alone finds the rest.
std::string AgentInstallation() {
    std::string path = ModulePathContaining(reinterpret_cast<const void *>(&GetInstallPath));
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return "";
    path.resize(slash);  // the library's folder
    slash = path.rfind('/');
    if (slash == std::string::npos || strcmp(path.c_str() + slash, "/lib") != 0) return "";
    path.resize(slash > 0 ? slash : 1);
    return IsInstallDirectory(path.c_str()) ? path : "";
}

}  // namespace

int IsInstallDirectory(const char *directory) {
    if (directory == nullptr) return 0;
    std::string archive = std::string(directory) + "/lib/zenva.jar";
    return IsRegularFile(archive.c_str());
}

int RecordInstallPath(int tool, const char *directory) {
    if (directory == nullptr || !IsDirectory(directory) || !IsInstallDirectory(directory)) return 0;
    const char *old = CachedPath(tool);
    if (old == nullptr || strcmp(old, directory) != 0) StorePath(tool, directory);
    return 1;
}

SEElement *ReadAuditFile() {
    std::string path;
    const char *home = getenv("HOME");
    bool found = IsAuditFile(home ? home : "", path);
    if (!found) {
        char *moduleDirectory = ModuleDirectory("libzvi.so", 0);
        found = IsAuditFile(moduleDirectory ? moduleDirectory : "", path);
        sFree(moduleDirectory);
    }
    if (!found) {
        char workingDirectory[1024];
        found = getcwd(workingDirectory, sizeof workingDirectory) != nullptr &&
                IsAuditFile(workingDirectory, path);
    }
    if (!found) return nullptr;
    SEReader *reader = SEReaderFromFile(path.c_str());
    if (reader == nullptr) return nullptr;
    SEElement *element = SERead(reader);
    SEReaderFree(reader);
    return element;
}

const char *GetInstallPath(int tool) {
    if (const char *cached = CachedPath(tool)) return cached;
    const ToolAudit *entry = FindTool(tool);
    if (entry == nullptr) return nullptr;
    SEElement *audit = ReadAuditFile();
    const char *found = audit && audit->type == SE_MAP ? AuditDirectory(audit, *entry) : nullptr;
    char *converted = found ? Utf8ToCodePage(found) : nullptr;
    if (converted != nullptr) StorePath(tool, converted);
    sFree(converted);
    SEFree(audit);
    // Where an installer would have recorded the suite: the agent's own installation.
    if (found == nullptr) {
        std::string agent = AgentInstallation();
        if (!agent.empty()) StorePath(tool, agent.c_str());
    }
    return CachedPath(tool);
}

InstallPaths::~InstallPaths() {
    if (cache == nullptr) return;
    ZVHashIterator *iterator = ZVHashIterate(cache);
    while ((iterator = ZVHashNext(iterator)) != nullptr)
        sFree(reinterpret_cast<char *>(iterator->value));
    ZVHashFree(cache);
}

InstallPaths *UseInstallPaths(InstallPaths *paths) {
    InstallPaths *old = gPaths;
    gPaths = paths;
    return old;
}
