// Files, directories, libraries and the host: small stateless helpers on
// '/'-separated paths.
#pragma once

#include "support/containers.h"

int FileExists(const char *path);
int IsRegularFile(const char *path);
int IsDirectory(const char *path);
int IsDirectoryUtf8(const char *path);
// Appends a new string per entry to *names (created when null) and puts it
// into *table (created when null) as key and value; either may be null.
void ListDirectory(const char *directory, ZVVector **names, ZVHashTable **table, int fullPaths);
void FreeNameList(ZVVector *names);
int MakeDirectories(const char *path);
int CreateEmptyFile(const char *path);
char *ParentDirectory(char *path, int copy);
void *LoadLibraryFunction(const char *libraryPath, const char *functionName);
char *ModuleDirectory(const char *moduleName, int fullPath);
const char *GetHostName(char buffer[2048]);
