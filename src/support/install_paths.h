// Installation directories of the tool suite, one per tool index, found in
// the configuration, in the per-user ".zv_audit" file, or as the folder above
// the lib/ folder that holds the agent library (when it has lib/zenva.jar).
#pragma once

#include "support/elements.h"

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
// Empties the cache (tests).
void ResetInstallPaths();
