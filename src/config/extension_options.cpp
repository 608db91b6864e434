// Extension options: which extensions not to load, and the argument tree
// handed to each extension, from "E..." argument keys or from the XML
// "components" element.
#include <libxml/tree.h>

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "config/config_internal.h"
#include "support/heap.h"

namespace {

constexpr const char *kComponents = "/zentrova-configuration/%s/components";
constexpr const char *kVmStitchingOff =
    "/zentrova-configuration/%s/components/vm-stitching[@enabled=\"false\"]";

// Puts the value under the key, releasing an older value of that key.
void PutReplacing(SEElement *map, const char *key, SEElement *value) {
    if (SEElement *old = SEMapGet(map, key)) {
        SEMapRemove(map, key);
        SEFree(old);
    }
    SEMapPut(map, key, value);
}

void Exclude(SEElement *&exclusion, const char *name) {
    if (exclusion == nullptr) exclusion = SENewMap(5, "extension exclusion");
    if (exclusion != nullptr && SEMapGet(exclusion, name) == nullptr)
        SEMapPut(exclusion, name, SENewInt32(0));
}

// The dotted key of the first `count` components, as the user wrote it.
std::string DottedKey(const char *prefix, const std::vector<std::string> &path, size_t count) {
    std::string key = prefix;
    for (size_t i = 0; i < count; i++) key += (i > 0 ? "." : "") + path[i];
    return key;
}

// An argument that holds a value and also arguments below it keeps the
// arguments below it, whichever came first: the value is dropped, and said so.
void ReportConflict(const std::string &key) {
    ReportRefusedValue("Invalid extension argument %s: it has a value and also arguments %s.*; "
                       "the value is ignored\n",
                       key.c_str(), key.c_str());
}

// The map under the key, created with the given name when missing; a value
// that is not a map is replaced by one, after ReportConflict.
SEElement *ChildMap(SEElement *map, const char *key, const char *name, const std::string &dotted) {
    SEElement *child = SEMapGet(map, key);
    if (child != nullptr && child->type == SE_MAP) return child;
    if (child != nullptr) {
        ReportConflict(dotted);
        SEMapRemove(map, key);
        SEFree(child);
    }
    child = SENewMap(5, name);
    if (child != nullptr) SEMapPut(map, key, child);
    return child;
}

std::vector<std::string> SplitDotted(std::string_view text) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t dot = text.find('.', start);
        parts.emplace_back(text.substr(start, dot == std::string_view::npos ? dot : dot - start));
        if (dot == std::string_view::npos) return parts;
        start = dot + 1;
    }
}

// Places the value (taken over) at the dotted path below the root, making
// the maps on the way with the given name. Keys with an empty component are
// ignored. `prefix` is what the user's key had before the path ("E" for
// argument keys), for the messages.
void PlaceArgument(SEElement *&root, const std::vector<std::string> &path, SEElement *value,
                   const char *mapName, const char *prefix) {
    bool usable = value != nullptr && !path.empty();
    for (const std::string &part : path) usable = usable && !part.empty();
    if (usable && root == nullptr) root = SENewMap(5, "extension args");
    SEElement *map = usable ? root : nullptr;
    for (size_t i = 0; map != nullptr && i + 1 < path.size(); i++)
        map = ChildMap(map, path[i].c_str(), mapName, DottedKey(prefix, path, i + 1));
    const char *last = map ? path.back().c_str() : nullptr;
    const SEElement *existing = map ? SEMapGet(map, last) : nullptr;
    if (map == nullptr) {
        SEFree(value);
        return;
    }
    // A nested argument already placed there keeps its map.
    if (existing != nullptr && existing->type == SE_MAP && value->type != SE_MAP) {
        ReportConflict(DottedKey(prefix, path, path.size()));
        SEFree(value);
        return;
    }
    PutReplacing(map, last, value);
}

const char *ExtensionNameOf(const char *element) {
    if (strcmp(element, "web-services") == 0) return "wsvc";
    if (strcmp(element, "error") == 0) return "j2error";
    if (strcmp(element, "cci") == 0) return "jcci";
    return element;
}

const char *ArgumentNameOf(const char *attribute) {
    if (strcmp(attribute, "errorSize") == 0) return "errSize";
    if (strcmp(attribute, "nonSerializable") == 0) return "nonSer";
    return attribute;
}

template <typename Visit>
void ForEachElementChild(xmlNodePtr node, Visit visit) {
    if (node == nullptr) return;
    for (xmlNodePtr child = node->children; child != nullptr; child = child->next)
        if (child->type == XML_ELEMENT_NODE) visit(child);
}

template <typename Visit>
void ForEachArgument(const ConfigSource *source, Visit visit) {
    auto *arguments = static_cast<const SEElement *>(source->mapOrDocument);
    ZVHashIterator *iterator = SEMapIterate(arguments);
    while ((iterator = ZVHashNext(iterator)) != nullptr) {
        auto key = reinterpret_cast<const char *>(iterator->key);
        if (key != nullptr && key[0] == 'E')
            visit(key + 1, reinterpret_cast<const SEElement *>(iterator->value));
    }
}

void AddEjbConfiguration(SEElement *&root, xmlNodePtr ejb) {
    ForEachElementChild(ejb, [&](xmlNodePtr child) {
        if (strcmp(reinterpret_cast<const char *>(child->name), "ejb-configuration") != 0) return;
        char *path = NodeAttribute(child, "path");
        char *reload = NodeAttribute(child, "reloadOnChange");
        if (path != nullptr)
            PlaceArgument(root, {"ejb", "configFile"}, SENewStringFromC(path), "extension args", "");
        if (reload != nullptr && reload[0] == 't')
            PlaceArgument(root, {"ejb", "reloadOnChange"}, SENewInt32(1), "extension args", "");
        sFree(path);
        sFree(reload);
    });
}

}  // namespace

SEElement *ArgumentExtensionExclusion(const ConfigSource *source) {
    SEElement *exclusion = nullptr;
    ForEachArgument(source, [&](const char *rest, const SEElement *value) {
        if (rest[0] != '\0' && strchr(rest, '.') == nullptr && SEGetBoolean(value) == 0)
            Exclude(exclusion, rest);
    });
    return exclusion;
}

SEElement *ArgumentExtensionArgs(const ConfigSource *source) {
    SEElement *root = nullptr;
    ForEachArgument(source, [&](const char *rest, const SEElement *value) {
        if (strchr(rest, '.') != nullptr)
            PlaceArgument(root, SplitDotted(rest), SECopy(value), "extension arg", "E");
    });
    // A space after a comma ends up before the next key (", Ename.key=v"):
    // such an argument still reaches its extension, the space before its own
    // key, so that the extension can name the mistake instead of losing it.
    ZVHashIterator *iterator = SEMapIterate(static_cast<const SEElement *>(source->mapOrDocument));
    while ((iterator = ZVHashNext(iterator)) != nullptr) {
        auto key = reinterpret_cast<const char *>(iterator->key);
        size_t spaces = key != nullptr ? strspn(key, " \t") : 0;
        if (spaces == 0 || key[spaces] != 'E') continue;
        std::vector<std::string> path = SplitDotted(key + spaces + 1);
        if (path.size() < 2) continue;
        path.back().insert(0, key, spaces);
        PlaceArgument(root, path, SECopy(reinterpret_cast<const SEElement *>(iterator->value)), "extension arg", "E");
    }
    return root;
}

SEElement *XmlExtensionExclusion(const ConfigSource *source, int tool) {
    SEElement *exclusion = nullptr;
    auto components = static_cast<xmlNodePtr>(FindToolNode(source, kComponents, tool));
    ForEachElementChild(components, [&](xmlNodePtr component) {
        char *enabled = NodeAttribute(component, "enabled");
        if (enabled != nullptr && !IsTrueText(enabled))
            Exclude(exclusion, ExtensionNameOf(reinterpret_cast<const char *>(component->name)));
        sFree(enabled);
    });
    if (FindToolNode(source, kVmStitchingOff, tool) != nullptr) Exclude(exclusion, "remote");
    return exclusion;
}

SEElement *XmlExtensionArgs(const ConfigSource *source, int tool) {
    SEElement *root = nullptr;
    auto components = static_cast<xmlNodePtr>(FindToolNode(source, kComponents, tool));
    ForEachElementChild(components, [&](xmlNodePtr component) {
        const char *elementName = reinterpret_cast<const char *>(component->name);
        std::string extension = ExtensionNameOf(elementName);
        for (xmlAttrPtr attribute = component->properties; attribute; attribute = attribute->next) {
            const char *name = reinterpret_cast<const char *>(attribute->name);
            if (strcmp(name, "enabled") == 0) continue;
            char *text = NodeAttribute(component, name);
            PlaceArgument(root, {extension, ArgumentNameOf(name)},
                          SENewStringFromC(text ? text : ""), "extension args", "");
            sFree(text);
        }
        if (strcmp(elementName, "ejb") == 0) AddEjbConfiguration(root, component);
    });
    return root;
}
