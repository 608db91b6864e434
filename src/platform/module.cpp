// Module lookup and library loading on the dynamic loader (dlopen, dlsym,
// dl_iterate_phdr, dladdr).
#include "platform/module.h"

#include <dlfcn.h>
#include <link.h>
#include <strings.h>
#include <unistd.h>

#include <climits>
#include <cstring>

namespace {

bool EndsWithIgnoringCase(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           strncasecmp(text.data() + text.size() - suffix.size(), suffix.data(), suffix.size()) == 0;
}

std::string_view BaseName(std::string_view path) {
    size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

struct Search {
    std::string_view fileName;
    std::string path;
};

int MatchObject(struct dl_phdr_info *info, size_t, void *data) {
    auto *search = static_cast<Search *>(data);
    if (info->dlpi_name == nullptr || info->dlpi_name[0] == '\0') return 0;
    std::string_view base = BaseName(info->dlpi_name);
    // "libm.so" also finds the versioned "libm.so.6".
    bool versioned = search->fileName.ends_with(".so") && base.size() > search->fileName.size() &&
                     base.starts_with(search->fileName) && base[search->fileName.size()] == '.';
    if (base != search->fileName && !versioned) return 0;
    search->path = info->dlpi_name;
    return 1;
}

}  // namespace

std::string LinuxModuleName(std::string_view name) {
    if (name.find('/') != std::string_view::npos) return std::string(name);
    if (EndsWithIgnoringCase(name, ".dll")) name.remove_suffix(4);
    if (name.starts_with("lib") && name.find(".so") != std::string_view::npos) return std::string(name);
    std::string fileName(name.starts_with("lib") ? "" : "lib");
    fileName += name;
    fileName += ".so";
    return fileName;
}

std::string LoadedModulePath(const char *name) {
    if (name == nullptr || *name == '\0') return {};
    std::string fileName = LinuxModuleName(name);

    // The loader's list of objects gives the path as the object was opened;
    // match its last component first.
    Search search{BaseName(fileName), {}};
    dl_iterate_phdr(MatchObject, &search);
    if (!search.path.empty()) return search.path;

    // A module opened under another name may still be known by its soname.
    void *handle = dlopen(fileName.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle == nullptr) return {};
    struct link_map *map = nullptr;
    std::string path;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) == 0 && map != nullptr && map->l_name != nullptr) {
        path = map->l_name;
    }
    dlclose(handle);
    return path;
}

bool IsModuleLoaded(const char *name) { return !LoadedModulePath(name).empty(); }

void *LoadedModuleHandle(const char *name) {
    std::string path = LoadedModulePath(name);
    if (path.empty()) return nullptr;
    // Keeps the reference: the handle stays valid for the life of the process.
    return dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
}

std::string ExecutablePath() {
    char path[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return {};
    return std::string(path, static_cast<size_t>(length));
}

std::string ModulePathContaining(const void *address) {
    Dl_info info;
    if (dladdr(address, &info) == 0 || info.dli_fname == nullptr) return {};
    return info.dli_fname;
}

void *OpenLibrary(const char *path, std::string *error) {
    if (path == nullptr || *path == '\0') {
        if (error != nullptr) *error = "no library named";
        return nullptr;
    }
    void *handle = dlopen(path, RTLD_NOW);
    if (handle == nullptr && error != nullptr) {
        const char *text = dlerror();
        *error = text != nullptr ? text : "unknown loader error";
    }
    return handle;
}

void *LibrarySymbol(void *library, const char *name) {
    if (library == nullptr || name == nullptr) return nullptr;
    return dlsym(library, name);
}
