// File and directory tests, directory listing and creation, path helpers on
// '/'-separated paths, loading library functions, and the host name.
#include "support/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/module.h"
#include "support/heap.h"
#include "support/text.h"

int FileExists(const char *path) { return path != nullptr && access(path, F_OK) == 0 ? 1 : 0; }

int IsRegularFile(const char *path) {
    struct stat info;
    return path != nullptr && stat(path, &info) == 0 && S_ISREG(info.st_mode) ? 1 : 0;
}

int IsDirectory(const char *path) {
    if (path == nullptr) return 0;
    std::string name(path);
    // "dir/" names the same directory; the root "/" is kept whole.
    if (name.size() > 1 && name.back() == '/') name.pop_back();
    struct stat info;
    return stat(name.c_str(), &info) == 0 && S_ISDIR(info.st_mode) ? 1 : 0;
}

int IsDirectoryUtf8(const char *path) {
    char *native = Utf8ToCodePage(path);
    int result = IsDirectory(native);
    sFree(native);
    return result;
}

// Entries come in name order, so that callers see the same order on every
// file system.
void ListDirectory(const char *directory, ZVVector **names, ZVHashTable **table, int fullPaths) {
    if (names == nullptr && table == nullptr) return;
    if (!IsDirectory(directory)) return;
    DIR *stream = opendir(directory);
    if (stream == nullptr) return;
    std::vector<std::string> entries;
    while (struct dirent *entry = readdir(stream)) {
        if (strcmp(entry->d_name, ".") == 0 || strcmp(entry->d_name, "..") == 0) continue;
        entries.emplace_back(fullPaths ? std::string(directory) + "/" + entry->d_name : entry->d_name);
    }
    closedir(stream);
    std::sort(entries.begin(), entries.end());

    if (names != nullptr && *names == nullptr) *names = ZVNewVector(64);
    if (table != nullptr && *table == nullptr) {
        *table = ZVHashNew(64, ZVStringHash, ZVStringEquals, "ListFileH", 0);
    }
    ZVVector *vector = names != nullptr ? *names : nullptr;
    ZVHashTable *hash = table != nullptr ? *table : nullptr;
    if (vector == nullptr && hash == nullptr) return;
    for (const std::string &entry : entries) {
        char *copy = sStrdup(entry.c_str());
        if (copy == nullptr) continue;
        auto word = reinterpret_cast<ZVWord>(copy);
        if (vector != nullptr) ZVAddElement(vector, word);
        if (hash != nullptr) ZVHashPut(hash, word, word);
    }
}

void FreeNameList(ZVVector *names) {
    if (names == nullptr) return;
    for (int i = 0; i < ZVVectorSize(names); i++) sFree(reinterpret_cast<void *>(ZVElementAt(names, i)));
    ZVFreeVector(names);
}

namespace {

enum class Level { kOk, kNotADirectory, kCannotCreate };

// Makes sure one level of a path is a directory, creating it when missing.
Level EnsureDirectory(const std::string &path) {
    struct stat info;
    if (stat(path.c_str(), &info) == 0) return S_ISDIR(info.st_mode) ? Level::kOk : Level::kNotADirectory;
    if (mkdir(path.c_str(), 0777) == 0) return Level::kOk;
    // Another thread or process may have created it meanwhile.
    return IsDirectory(path.c_str()) ? Level::kOk : Level::kCannotCreate;
}

}  // namespace

int MakeDirectories(const char *path) {
    if (path == nullptr || *path == '\0') return 0;
    std::string whole(path);
    for (size_t slash = whole.find('/', 1); slash != std::string::npos; slash = whole.find('/', slash + 1)) {
        std::string prefix = whole.substr(0, slash);
        switch (EnsureDirectory(prefix)) {
            case Level::kOk:
                break;
            case Level::kNotADirectory:
                printf("The file named %s needed to have been a directory!\n", prefix.c_str());
                return 0;
            case Level::kCannotCreate:
                printf("Could not create the directory named '%s'\n", prefix.c_str());
                return 0;
        }
    }
    if (whole.back() == '/') return 1;
    switch (EnsureDirectory(whole)) {
        case Level::kOk:
            return 1;
        case Level::kNotADirectory:
            printf("The file named %s needed to have been a directory!\n", whole.c_str());
            return 0;
        case Level::kCannotCreate:
            printf("Could not create the directory named %s\n", whole.c_str());
            return 0;
    }
    return 0;
}

int CreateEmptyFile(const char *path) {
    if (path == nullptr) return 0;
    int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (fd < 0) return 0;
    close(fd);
    return 1;
}

// A path without any '/' has the empty parent (the current directory).
char *ParentDirectory(char *path, int copy) {
    if (path == nullptr) return nullptr;
    char *slash = strrchr(path, '/');
    size_t length = slash == nullptr ? 0 : static_cast<size_t>(slash - path);
    if (!copy) {
        path[length] = '\0';
        return path;
    }
    std::string parent(path, slash == nullptr ? 0 : length + 1);
    return sStrdup(parent.c_str());
}

void *LoadLibraryFunction(const char *libraryPath, const char *functionName) {
    std::string error;
    void *library = OpenLibrary(libraryPath, &error);
    if (library == nullptr) {
        fprintf(stderr, "Zentrova Error: the library %s was not found.\n", libraryPath != nullptr ? libraryPath : "(null)");
        return nullptr;
    }
    void *function = LibrarySymbol(library, functionName);
    if (function == nullptr) {
        fprintf(stderr, "Zentrova: %s not found in %s\n", functionName != nullptr ? functionName : "(null)",
                libraryPath);
    }
    return function;
}

// Without a name: the program's own executable.
char *ModuleDirectory(const char *moduleName, int fullPath) {
    std::string path = moduleName == nullptr ? ExecutablePath() : LoadedModulePath(moduleName);
    if (path.empty()) return nullptr;
    if (!fullPath) {
        size_t slash = path.rfind('/');
        // The directory keeps no trailing '/' unless it is the root.
        path.resize(slash == std::string::npos ? 0 : std::max<size_t>(slash, 1));
    }
    return sStrdup(path.c_str());
}

const char *GetHostName(char buffer[2048]) {
    if (gethostname(buffer, 2048) != 0 || buffer[0] == '\0') {
        strcpy(buffer, "localhost");
    }
    buffer[2047] = '\0';  // a truncated name need not be terminated
    return buffer;
}
