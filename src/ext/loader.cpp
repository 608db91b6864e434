// Loading extension libraries: the extension table below the installation
// directory, each item's library and its ZVInitFunction, and the list of
// loaded extensions that the agent core keeps.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "ext/extension_table.h"
#include "ext/extensions.h"
#include "support/elements.h"
#include "support/files.h"
#include "support/install_paths.h"

namespace {

constexpr int kTool = 5;
constexpr char kSeparator = '/';
constexpr const char *kEdition = "darara";
constexpr const char *kInitFunction = "ZVInitFunction";
// The loader of this platform appends no suffix on its own.
constexpr const char *kLibrarySuffix = ".so";

const ZVExtensionHost *gHost = nullptr;

// Sized to fit: library names and directories have no length limit.
std::string format(const char *pattern, ...) {
    va_list args;
    va_start(args, pattern);
    va_list again;
    va_copy(again, args);
    int length = vsnprintf(nullptr, 0, pattern, args);
    va_end(args);
    std::string text(length > 0 ? static_cast<size_t>(length) : 0, '\0');
    if (length > 0) vsnprintf(text.data(), text.size() + 1, pattern, again);
    va_end(again);
    return text;
}

std::string tablePath(const char *install) {
    const char s = kSeparator;
    return install != nullptr
               ? format("%s%cext%c%s%caudit%cextensions.table", install, s, s, kEdition, s, s)
               : format("ext%c%s%caudit%cextensions.table", s, kEdition, s, s);
}

std::string libraryPath(const char *install, const char *name) {
    const char s = kSeparator;
    return install != nullptr
               ? format("%s%cext%c%s%clib%czen_%sdev_i", install, s, s, kEdition, s, s, name)
               : format("ext%c%s%clib%czen_%sdev_i", s, kEdition, s, s, name);
}

// A name that leads out of the extension directory is no extension's.
bool isPlainName(const char *name) { return *name != '\0' && strchr(name, kSeparator) == nullptr; }

// The reader's message, after the table's path so that the user knows which
// file to mend.
void reportReadError(const std::string &path, const SEReader *reader) {
    const char *error = SEReaderError(reader);
    // Lexical errors do not reach the reader's own error text.
    if (error == nullptr) error = SEReaderLexerError(reader);
    if (error == nullptr) return;
    // The reader's texts may end in a newline of their own: one line ends the note.
    std::string_view text(error);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
    if (!text.empty())
        fprintf(stderr, "Zentrova Error: %s: %.*s\n", path.c_str(), static_cast<int>(text.size()), text.data());
}

}  // namespace

void ZVSetExtensionHost(const ZVExtensionHost *host) { gHost = host; }

SEElement *ZVReadExtensionTable(const char *path, bool *opened) {
    SEReader *reader = SEReaderFromFile(path);
    if (opened != nullptr) *opened = reader != nullptr;
    if (reader == nullptr) return nullptr;
    SEElement *tree = SERead(reader);
    if (tree == nullptr) reportReadError(path, reader);
    SEReaderFree(reader);
    if (tree != nullptr && tree->type != SE_LIST) {
        fprintf(stderr, "Zentrova Error: %s does not hold a list of extensions\n", path);
        SEFree(tree);
        tree = nullptr;
    }
    return tree;
}

void ZVLoadExtensions(SEElement *exclusion, SEElement *arguments) {
    const char *install = GetInstallPath(kTool);
    if (install == nullptr) fputs("Can't find Zentrova install location, trying cwd.\n", stderr);
    bool opened = false;
    SEElement *tree = ZVReadExtensionTable(tablePath(install).c_str(), &opened);
    // No table: no extensions, and nothing to say.
    if (!opened) return;
    for (int i = 0; i < SEListSize(tree); ++i) {
        SEElement *item = SEListGet(tree, i);
        if (ZVPrepareExtensionItem(item, exclusion, arguments)) zviAddExtension(nullptr, item);
    }
    fprintf(stderr, "%d Extension(s) Activated.\n", gHost != nullptr ? gHost->count() : 0);
    SEFree(tree);
}

void zviAddExtension(JNIEnv *env, SEElement *item) {
    const char *install = GetInstallPath(kTool);
    if (install == nullptr) {
        install = getenv("ZENVA_HOME");
        if (install != nullptr && *install == '\0') install = nullptr;
        if (install == nullptr) fputs("Can't find ZENVA_HOME, trying cwd.\n", stderr);
    }
    const char *name = ZVExtensionName(item);
    SEElement *args = item != nullptr && item->type == SE_MAP ? SEMapGet(item, "initArgs") : nullptr;

    std::string path;
    void *function = nullptr;
    if (name != nullptr) {
        path = libraryPath(install, name);
        if (isPlainName(name)) function = LoadLibraryFunction((path + kLibrarySuffix).c_str(), kInitFunction);
    }
    ZVFillServiceLocks();
    if (function == nullptr) {
        fprintf(stderr, "Could not load the dll <%s> or dll is missing function named <%s>\n", path.c_str(),
                kInitFunction);
        return;
    }
    if (gHost == nullptr) return;
    auto init = reinterpret_cast<ZVInitFunctionType>(function);
    ZVExtensionRecord *record = init(gHost->vm(), gHost->count() + 7, ZVGetServices(), args, 2);
    if (record == nullptr) return;
    if (env != nullptr && record->javaInit != nullptr) record->javaInit(env);
    gHost->add(record);
}
