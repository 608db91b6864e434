// The XML configuration file: loading it with libxml2 and reading typed
// attribute values from the elements that XPath expressions select.
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xpath.h>

#include <strings.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "config/config_internal.h"
#include "support/files.h"
#include "support/heap.h"
#include "support/text.h"

ConfigSource *LoadXMLConfiguration(const char *path, int verbose) {
    if (path == nullptr) return nullptr;
    char *unquoted = sStrdup(path);
    if (unquoted == nullptr) return nullptr;
    size_t length = strlen(unquoted);
    if (length >= 2 && unquoted[0] == '"' && unquoted[length - 1] == '"') {
        memmove(unquoted, unquoted + 1, length - 2);
        unquoted[length - 2] = '\0';
    }
    if (!IsRegularFile(unquoted)) {
        fprintf(stderr, "Zentrova Error: configuration file %s not found\n", unquoted);
        sFree(unquoted);
        return nullptr;
    }
    if (verbose) fprintf(stderr, "Reading configuration from file %s\n", unquoted);
    xmlDocPtr document = xmlParseFile(unquoted);
    // libxml2 writes its own diagnostics; keep them in order with ours.
    fflush(stdout);
    fflush(stderr);
    sFree(unquoted);
    if (document == nullptr) return nullptr;
    xmlXPathContextPtr context = xmlXPathNewContext(document);
    auto *source = static_cast<ConfigSource *>(sMalloc(sizeof(ConfigSource)));
    if (context == nullptr || source == nullptr) {
        xmlXPathFreeContext(context);
        xmlFreeDoc(document);
        sFree(source);
        return nullptr;
    }
    *source = ConfigSource{CONFIG_SOURCE_XML, document, xmlDocGetRootElement(document), context};
    return source;
}

void CheckXmlLayout(const ConfigSource *source, int tool) {
    if (!IsXmlSource(source)) return;
    auto document = static_cast<xmlDocPtr>(source->mapOrDocument);
    auto root = static_cast<xmlNodePtr>(source->root);
    const char *file = document->URL ? reinterpret_cast<const char *>(document->URL) : "";
    const char *rootName = root ? reinterpret_cast<const char *>(root->name) : "";
    if (strcmp(rootName, "zentrova-configuration") != 0) {
        ReportRefusedValue("Zentrova Error: configuration file %s has the root element <%s>, not "
                           "<zentrova-configuration>; none of its options is used\n",
                           file, rootName);
    } else if (FindToolNode(source, "/zentrova-configuration/%s", tool) == nullptr) {
        ReportRefusedValue("Zentrova Error: configuration file %s has no <%s> element under "
                           "<zentrova-configuration>; only its shared options are used\n",
                           file, GetToolName(tool));
    }
}

void *FindNode(const ConfigSource *source, const char *xpath) {
    if (!IsXmlSource(source) || xpath == nullptr) return nullptr;
    auto context = static_cast<xmlXPathContextPtr>(source->xpathContext);
    xmlXPathObjectPtr result = xmlXPathEvalExpression(BAD_CAST xpath, context);
    if (result == nullptr) return nullptr;
    xmlNodePtr node = nullptr;
    if (result->type == XPATH_NODESET && result->nodesetval != nullptr &&
        result->nodesetval->nodeNr > 0)
        node = result->nodesetval->nodeTab[0];
    xmlXPathFreeObject(result);
    return node;
}

void *FindToolNode(const ConfigSource *source, const char *pathTemplate, int tool) {
    char path[512];
    snprintf(path, sizeof path, pathTemplate, GetToolName(tool));
    return FindNode(source, path);
}

char *NodeAttribute(void *node, const char *attribute) {
    auto element = static_cast<xmlNodePtr>(node);
    if (element == nullptr || element->type != XML_ELEMENT_NODE) return nullptr;
    xmlChar *text = xmlGetProp(element, BAD_CAST attribute);
    if (text == nullptr) return nullptr;
    char *copy = sStrdup(reinterpret_cast<const char *>(text));
    xmlFree(text);
    return copy;
}

char *XmlAttribute(const ConfigSource *source, const char *pathTemplate, int tool,
                   const char *attribute) {
    return NodeAttribute(FindToolNode(source, pathTemplate, tool), attribute);
}

bool IsTrueText(const char *text) { return text != nullptr && (text[0] == 't' || text[0] == 'T'); }

int32_t XmlBoolean(const ConfigSource *source, const char *pathTemplate, int tool,
                   const char *attribute, int32_t defaultValue) {
    char *text = XmlAttribute(source, pathTemplate, tool, attribute);
    if (text == nullptr) return defaultValue;
    int32_t value = IsTrueText(text) ? 1 : 0;
    sFree(text);
    return value;
}

int32_t XmlInteger(const ConfigSource *source, const char *pathTemplate, int tool,
                   const char *attribute, const char *name, int32_t low, int32_t high,
                   int32_t defaultValue) {
    char *text = XmlAttribute(source, pathTemplate, tool, attribute);
    if (text == nullptr) return defaultValue;
    int32_t value = CheckedNumber(name, text, low, high, defaultValue);
    sFree(text);
    return value;
}

int32_t XmlTimeSpan(const ConfigSource *source, const char *pathTemplate, int tool,
                    const char *attribute, const char *name, int32_t defaultValue) {
    char *text = XmlAttribute(source, pathTemplate, tool, attribute);
    if (text == nullptr) return defaultValue;
    int32_t value = ParseTimeSpan(text);
    if (value == -1) ReportBadTimeSpan(name, text);
    sFree(text);
    return value == -1 ? defaultValue : value;
}

char *XmlString(const ConfigSource *source, const char *pathTemplate, int tool,
                const char *attribute, char *defaultValue, bool emptyIsNull) {
    char *text = XmlAttribute(source, pathTemplate, tool, attribute);
    if (text == nullptr) return defaultValue;
    if (emptyIsNull && text[0] == '\0') {
        sFree(text);
        return nullptr;
    }
    return text;
}

char *XmlPathBesideDocument(const ConfigSource *source, char *path) {
    auto document = static_cast<xmlDocPtr>(source->mapOrDocument);
    const char *file = document != nullptr ? reinterpret_cast<const char *>(document->URL) : nullptr;
    const char *slash = file != nullptr ? strrchr(file, '/') : nullptr;
    if (path == nullptr || path[0] == '/' || path[0] == '\0' || slash == nullptr) return path;
    std::string beside = std::string(file, slash + 1) + path;
    sFree(path);
    return sStrdup(beside.c_str());
}

int32_t XmlKeyword(const ConfigSource *source, const char *pathTemplate, int tool,
                   const char *attribute, const char *const *words, const int32_t *values,
                   int count, int32_t defaultValue) {
    char *text = XmlAttribute(source, pathTemplate, tool, attribute);
    if (text == nullptr) return defaultValue;
    int32_t value = defaultValue;
    for (int i = 0; i < count; i++) {
        if (strcasecmp(text, words[i]) == 0) {
            value = values[i];
            break;
        }
    }
    sFree(text);
    return value;
}
