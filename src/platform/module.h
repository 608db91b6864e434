// Shared libraries of the process: finding loaded modules by name, their
// file paths, loading libraries and looking up their exports.
#pragma once

#include <string>
#include <string_view>

// The Linux file name of a module named the Windows way or the short way:
// "jvm.dll", "jvm" and "libjvm.so" all give "libjvm.so" (likewise r2orar,
// pri, z2a, evmcoreDev, zvi). A name with a '/' or already of the form
// lib*.so[.N] is returned unchanged.
std::string LinuxModuleName(std::string_view name);

// The full file path of a loaded module named as LinuxModuleName accepts;
// empty when no such module is loaded.
std::string LoadedModulePath(const char *name);
bool IsModuleLoaded(const char *name);
// A handle for looking up exports of a module that is already loaded, or
// null; the module is never loaded by this call.
void *LoadedModuleHandle(const char *name);
// The path of the program's executable; empty if it cannot be read.
std::string ExecutablePath();
// The file path of the module that contains the address; empty if none.
std::string ModulePathContaining(const void *address);

// Loads a library by its real file name or path, resolving every symbol now.
// On failure gives null and, when error is given, the loader's explanation.
// The library stays loaded for the life of the process.
void *OpenLibrary(const char *path, std::string *error);
// An exported symbol of a library handle, or null (also for a null handle).
void *LibrarySymbol(void *library, const char *name);
