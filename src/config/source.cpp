// Choosing the option source: the -Xrun option string is either an XML file
// path or old-style arguments (it holds '=') read into an element map.
#include <libxml/parser.h>
#include <libxml/xpath.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "config/config_internal.h"
#include "support/elements.h"
#include "support/files.h"
#include "support/heap.h"
#include "support/text.h"

namespace {

char gConfigurationError[1024];

void SetConfigurationError(const char *format, ...) __attribute__((format(printf, 1, 2)));
void SetConfigurationError(const char *format, ...) {
    va_list arguments;
    va_start(arguments, format);
    vsnprintf(gConfigurationError, sizeof gConfigurationError, format, arguments);
    va_end(arguments);
}

void NoteEmptyKey(const char *key, void *keys) {
    static_cast<std::vector<std::string> *>(keys)->emplace_back(key);
}

// Options written with nothing after their '=' are named, and those of the
// top level dropped so that they keep their defaults; the others are read
// as usual. (A value given as "" is an empty text, as the user wrote it.)
void DropEmptyValues(SEElement *map, const std::vector<std::string> &keys) {
    for (const std::string &key : keys) {
        ReportRefusedValue("Invalid value for %s: '' (expected a value after '=')\n", key.c_str());
        SEElement *value = SEMapGet(map, key.c_str());
        if (value == nullptr || value->type != SE_STRING || SEGetString(value)[0] != '\0') continue;
        SEMapRemove(map, key.c_str());
        SEFree(value);
    }
}

ConfigSource *ParseArguments(const char *text, int verbose) {
    std::vector<std::string> emptyKeys;
    char *normalized = SENormalizeArguments(text, NoteEmptyKey, &emptyKeys);
    if (normalized == nullptr) {
        SetConfigurationError("Error parsing arguments '%s'", text);
        return nullptr;
    }
    SEReader *reader = SEReaderFromString(normalized, static_cast<int>(strlen(normalized)));
    SEElement *element = reader ? SERead(reader) : nullptr;
    if (element == nullptr) {
        // A lexical error leaves the reader's own text empty; it still says more
        // than no text at all.
        const char *error = reader ? SEReaderError(reader) : nullptr;
        if (error == nullptr && reader != nullptr) error = SEReaderLexerError(reader);
        SetConfigurationError("Error deserializing arguments '%s'", error ? error : "Unknown error");
        SEReaderFree(reader);
        sFree(normalized);
        return nullptr;
    }
    SEReaderFree(reader);
    sFree(normalized);
    if (element->type != SE_MAP) {
        SetConfigurationError("Error deserializing arguments, wrong type %d. Syntax is incorrect",
                              element->type);
        SEFree(element);
        return nullptr;
    }
    DropEmptyValues(element, emptyKeys);
    if (const SEElement *xml = SEMapGet(element, "xmlConfig")) {
        char *path = sStrdup(SEGetString(xml));
        SEFree(element);
        ConfigSource *source = LoadXMLConfiguration(path, verbose);
        sFree(path);
        return source;
    }
    auto *source = static_cast<ConfigSource *>(sMalloc(sizeof(ConfigSource)));
    if (source == nullptr) {
        SEFree(element);
        return nullptr;
    }
    *source = ConfigSource{CONFIG_SOURCE_ARGUMENTS, element, nullptr, nullptr};
    return source;
}

// The text, without the quotes that may surround it, names a regular file.
bool NamesRegularFile(const char *text) {
    size_t length = strlen(text);
    if (length >= 2 && text[0] == '"' && text[length - 1] == '"') {
        char *unquoted = sStrdup(text + 1);
        if (unquoted == nullptr) return false;
        unquoted[length - 2] = '\0';
        bool found = IsRegularFile(unquoted) != 0;
        sFree(unquoted);
        return found;
    }
    return IsRegularFile(text) != 0;
}

}  // namespace

const char *GetToolName(int tool) {
    switch (tool) {
    case TOOL_THREAD_DEBUGGER: return "thread-debugger";
    case TOOL_CODE_COVERAGE: return "code-coverage";
    case TOOL_SERVER_TRACE: return "server-trace";
    case TOOL_REQUEST_ANALYZER: return "request-analyzer";
    default: return "profiler";
    }
}

const char *GetConfigurationError() { return gConfigurationError; }

ConfigSource *LoadConfiguration(const char *options, int verbose) {
    gConfigurationError[0] = '\0';
    if (options == nullptr || options[0] == '\0') return nullptr;
    // Escaping keeps backslashes in paths and non-ASCII characters intact
    // through the text syntax's own escapes.
    char *converted = CodePageToEscapedAscii(options);
    if (converted == nullptr) return nullptr;
    ConfigSource *source;
    // A file's name may hold '=' too: an existing file wins.
    if (!NamesRegularFile(options) && strchr(converted, '=') != nullptr) {
        if (verbose) fprintf(stderr, "No XML configuration specified, using old style parameters...\n");
        source = ParseArguments(converted, verbose);
    } else {
        source = LoadXMLConfiguration(options, verbose);
    }
    sFree(converted);
    return source;
}

void FreeConfigSource(ConfigSource *source) {
    if (source == nullptr) return;
    if (source->kind == CONFIG_SOURCE_ARGUMENTS) {
        SEFree(static_cast<SEElement *>(source->mapOrDocument));
    } else {
        xmlXPathFreeContext(static_cast<xmlXPathContextPtr>(source->xpathContext));
        xmlFreeDoc(static_cast<xmlDocPtr>(source->mapOrDocument));
    }
    sFree(source);
}
