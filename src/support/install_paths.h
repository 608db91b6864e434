// Installation directories of the tool suite, one per tool index, found in
// the configuration, in the per-user ".zv_audit" file, or as the folder above
// the lib/ folder that holds the agent library (when it has lib/zenva.jar).
#pragma once

#include "support/containers.h"
#include "support/elements.h"

// The directories found so far, by tool ("PathCache"). The process's record
// lives as long as the process.
struct InstallPaths {
    ZVHashTable *cache = nullptr;

    InstallPaths() = default;
    InstallPaths(const InstallPaths &) = delete;
    InstallPaths &operator=(const InstallPaths &) = delete;
    ~InstallPaths();
};
// Installs paths as the cache in use and returns the one it replaces (tests
// start from an empty one).
InstallPaths *UseInstallPaths(InstallPaths *paths);

// Stores a copy of the directory for the tool when it is an installation
// directory; returns 1 when stored (or already stored), 0 when ignored.
int RecordInstallPath(int tool, const char *directory);
// 1 when DIRECTORY/lib/zenva.jar is a regular file.
int IsInstallDirectory(const char *directory);
// The element of the first ".zv_audit" found ($HOME, the directory of
// libzvi.so, the working directory), or null.
SEElement *ReadAuditFile();
// The tool's installation directory (owned by the cache), or null.
const char *GetInstallPath(int tool);
