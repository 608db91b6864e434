// Structured elements: construction, accessors, deep copy and release of the
// element tree. Maps own their name, their keys and their values.
#include "support/elements.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "support/element_maps.h"
#include "support/heap.h"

namespace {

const char kDefaultMapName[] = "NO_NAME";

SEElement *newElement(int32_t type, ZVWord value, ZVWord data) {
    auto *element = static_cast<SEElement *>(sMalloc(sizeof(SEElement)));
    if (element == nullptr) return nullptr;
    element->type = type;
    element->value = value;
    element->data = data;
    element->owned = 0;
    return element;
}

int itemSize(int type) {
    switch (type) {
    case SE_BYTE_DATA: return 1;
    case SE_INT32_DATA: return 4;
    case SE_INT64_DATA: return 8;
    default: return 0;
    }
}

bool isMap(const SEElement *element) { return element != nullptr && element->type == SE_MAP; }
bool isList(const SEElement *element) { return element != nullptr && element->type == SE_LIST; }

ZVHashTable *tableOf(const SEElement *map) { return reinterpret_cast<ZVHashTable *>(map->value); }
ZVVector *vectorOf(const SEElement *list) { return reinterpret_cast<ZVVector *>(list->value); }

// atoi without its undefined behaviour on overflow: out-of-range values clamp.
int32_t decimalValue(const char *text) {
    errno = 0;
    long value = std::strtol(text, nullptr, 10);
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(value);
}

}  // namespace

// ------------------------------------------------------------ construction

SEElement *SENewInt32(int32_t value) { return newElement(SE_INT32, value, 0); }

SEElement *SENewInt64(uint32_t low, uint32_t high) {
    return newElement(SE_INT64, static_cast<ZVWord>(low), static_cast<ZVWord>(high));
}

SEElement *SENewString(const char *bytes, int length) {
    if (length < 0 || length == INT_MAX || (bytes == nullptr && length > 0)) return nullptr;
    auto *copy = static_cast<char *>(sMalloc(length + 1));
    if (copy == nullptr) return nullptr;
    if (length > 0) std::memcpy(copy, bytes, static_cast<size_t>(length));
    copy[length] = '\0';
    SEElement *element = SEAdoptString(copy, length);
    if (element == nullptr) sFree(copy);
    return element;
}

SEElement *SENewStringFromC(const char *string) {
    if (string == nullptr) return nullptr;
    size_t length = std::strlen(string);
    if (length >= INT_MAX - 1) return nullptr;
    return SENewString(string, static_cast<int>(length) + 1);
}

SEElement *SEAdoptString(char *buffer, int length) {
    if (buffer == nullptr || length < 0) return nullptr;
    return newElement(SE_STRING, length, reinterpret_cast<ZVWord>(buffer));
}

SEElement *SENewData(int type, const void *items, int count, int copy) {
    int size = itemSize(type);
    if (size == 0) {
        SEReportError("SENewData: type mismatch");
        return nullptr;
    }
    if (count <= 0 || items == nullptr) count = 0;
    void *array = nullptr;
    if (copy && count > 0) {
        if (count > INT_MAX / size) return nullptr;
        array = sMalloc(count * size);
        if (array == nullptr) return nullptr;
        std::memcpy(array, items, static_cast<size_t>(count) * size);
    } else if (count > 0) {
        array = const_cast<void *>(items);
    }
    SEElement *element = newElement(type, count, reinterpret_cast<ZVWord>(array));
    if (element == nullptr) {
        if (copy) sFree(array);
        return nullptr;
    }
    element->owned = copy ? 1 : 0;
    return element;
}

SEElement *SENewList(int capacity) {
    ZVVector *vector = ZVNewVector(capacity);
    if (vector == nullptr) return nullptr;
    SEElement *element = newElement(SE_LIST, reinterpret_cast<ZVWord>(vector), 0);
    if (element == nullptr) ZVFreeVector(vector);
    return element;
}

SEElement *SENewMap(int initialSize, const char *name) {
    char *ownName = sStrdup(name != nullptr ? name : kDefaultMapName);
    if (ownName == nullptr) return nullptr;
    ZVHashTable *table = ZVHashNew(initialSize, ZVStringHash, ZVStringEquals, ownName, 0);
    if (table == nullptr) {
        sFree(ownName);
        return nullptr;
    }
    SEElement *element = newElement(SE_MAP, reinterpret_cast<ZVWord>(table), 0);
    if (element == nullptr) {
        ZVHashFree(table);
        sFree(ownName);
    }
    return element;
}

// --------------------------------------------------------------- accessors

int32_t SEGetInt32(const SEElement *element) {
    if (element == nullptr) {
        SEReportError("SEGetInt32: null element");
        return -1;
    }
    if (element->type == SE_INT32) return static_cast<int32_t>(element->value);
    if (element->type == SE_STRING) return decimalValue(reinterpret_cast<const char *>(element->data));
    SEReportError("Type mismatch");
    return -1;
}

const char *SEGetString(const SEElement *element) {
    if (element == nullptr || element->type != SE_STRING) {
        SEReportError("type mismatch");
        return "";
    }
    return reinterpret_cast<const char *>(element->data);
}

int SEGetBoolean(const SEElement *element) {
    if (element == nullptr) return 0;
    switch (element->type) {
    case SE_INT32: return static_cast<int32_t>(element->value);
    case SE_INT64: return (static_cast<uint32_t>(element->value) | static_cast<uint32_t>(element->data)) != 0;
    case SE_STRING: {
        if (element->value < 1) return 0;
        char first = reinterpret_cast<const char *>(element->data)[0];
        return first == 'T' || first == 't' || first == '1';
    }
    default: return 0;
    }
}

void SEAppendToInt32Data(SEElement *element, const int32_t *values, int n) {
    if (n <= 0) return;
    if (element == nullptr || element->type != SE_INT32_DATA) {
        SEReportError("SEAppendToInt32Data: type mismatch (expecting SE_INT32_DATA data)");
        return;
    }
    int32_t count = static_cast<int32_t>(element->value);
    if (values == nullptr || count > INT_MAX / 4 - n) return;
    auto *items = static_cast<int32_t *>(sMalloc((count + n) * 4));
    if (items == nullptr) return;
    if (count > 0) std::memcpy(items, reinterpret_cast<const void *>(element->data), static_cast<size_t>(count) * 4);
    std::memcpy(items + count, values, static_cast<size_t>(n) * 4);
    if (element->owned) sFree(reinterpret_cast<void *>(element->data));
    element->data = reinterpret_cast<ZVWord>(items);
    element->value = count + n;
    element->owned = 1;
}

void SEListAdd(SEElement *list, SEElement *element) {
    if (isList(list)) ZVAddElement(vectorOf(list), reinterpret_cast<ZVWord>(element));
}

SEElement *SEListGet(const SEElement *list, int index) {
    if (!isList(list)) return nullptr;
    return reinterpret_cast<SEElement *>(ZVElementAt(vectorOf(list), index));
}

int SEListSize(const SEElement *list) { return isList(list) ? ZVVectorSize(vectorOf(list)) : -1; }

bool seMapInsert(SEElement *map, char *key, SEElement *value) {
    if (!isMap(map) || key == nullptr) return false;
    return ZVHashPut(tableOf(map), reinterpret_cast<ZVWord>(key), reinterpret_cast<ZVWord>(value)) != 0;
}

void SEMapPut(SEElement *map, const char *key, SEElement *value) {
    if (!isMap(map) || key == nullptr) return;
    char *copy = sStrdup(key);
    if (!seMapInsert(map, copy, value)) sFree(copy);
}

void SEMapPutKey(SEElement *map, char *key, SEElement *value) {
    // The key is always taken over, so it is released when it cannot be stored.
    if (!seMapInsert(map, key, value)) sFree(key);
}

SEElement *SEMapGet(const SEElement *map, const char *key) {
    if (!isMap(map) || key == nullptr) return nullptr;
    return reinterpret_cast<SEElement *>(ZVHashGet(tableOf(map), reinterpret_cast<ZVWord>(key)));
}

void SEMapRemove(SEElement *map, const char *key) {
    if (!isMap(map) || key == nullptr) return;
    // Iteration visits each chain head first, so the first equal key met is the
    // entry that ZVHashRemove unlinks; the map owns that key and releases it.
    char *ownedKey = nullptr;
    for (ZVHashIterator *it = ZVHashIterate(tableOf(map)); (it = ZVHashNext(it)) != nullptr;) {
        if (ZVStringEquals(it->key, reinterpret_cast<ZVWord>(key))) {
            ownedKey = reinterpret_cast<char *>(it->key);
            sFree(it);
            break;
        }
    }
    if (ownedKey == nullptr) return;
    ZVHashRemove(tableOf(map), reinterpret_cast<ZVWord>(ownedKey));
    sFree(ownedKey);
}

ZVHashIterator *SEMapIterate(const SEElement *map) { return isMap(map) ? ZVHashIterate(tableOf(map)) : nullptr; }

std::vector<SEMapEntry> seMapEntries(const SEElement *map) {
    std::vector<SEMapEntry> entries;
    if (!isMap(map)) return entries;
    for (ZVHashIterator *it = ZVHashIterate(tableOf(map)); (it = ZVHashNext(it)) != nullptr;)
        entries.push_back({reinterpret_cast<const char *>(it->key), reinterpret_cast<SEElement *>(it->value)});
    return entries;
}

std::map<std::string_view, const SEElement *> seMapVisibleEntries(const SEElement *map) {
    // Entries of one key share a chain, newest first: the first one met is the
    // one that lookups find, later ones are shadowed.
    std::map<std::string_view, const SEElement *> visible;
    for (const SEMapEntry &entry : seMapEntries(map)) visible.emplace(entry.key, entry.value);
    return visible;
}

SEElement *SECopy(const SEElement *element) {
    if (element == nullptr) return nullptr;
    switch (element->type) {
    case SE_INT32: return SENewInt32(static_cast<int32_t>(element->value));
    case SE_INT64:
        return SENewInt64(static_cast<uint32_t>(element->value), static_cast<uint32_t>(element->data));
    case SE_STRING:
        return SENewString(reinterpret_cast<const char *>(element->data), static_cast<int>(element->value));
    case SE_BYTE_DATA:
    case SE_INT32_DATA:
    case SE_INT64_DATA:
        return SENewData(element->type, reinterpret_cast<const void *>(element->data),
                         static_cast<int>(element->value), 1);
    case SE_LIST: {
        int size = SEListSize(element);
        SEElement *copy = SENewList(size < (INT_MAX - 4) / 2 ? size * 2 + 4 : size);
        if (copy == nullptr) return nullptr;
        for (int i = 0; i < size; i++) {
            const SEElement *item = SEListGet(element, i);
            SEElement *itemCopy = SECopy(item);
            if (item != nullptr && itemCopy == nullptr) {
                SEFree(copy);
                return nullptr;
            }
            SEListAdd(copy, itemCopy);
        }
        return copy;
    }
    case SE_MAP: {
        const ZVHashTable *table = tableOf(element);
        std::string name = std::string(table->name != nullptr ? table->name : kDefaultMapName) + "_COPY";
        SEElement *copy = SENewMap(table->count, name.c_str());
        if (copy == nullptr) return nullptr;
        // Inserted oldest first, so shadowed entries stay shadowed in the copy.
        std::vector<SEMapEntry> entries = seMapEntries(element);
        for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
            SEElement *value = SECopy(entry->value);
            char *key = sStrdup(entry->key);
            if ((entry->value != nullptr && value == nullptr) || !seMapInsert(copy, key, value)) {
                sFree(key);
                SEFree(value);
                SEFree(copy);
                return nullptr;
            }
        }
        return copy;
    }
    default: return nullptr;
    }
}

void SEFree(SEElement *element) {
    if (element == nullptr) return;
    switch (element->type) {
    case SE_STRING: sFree(reinterpret_cast<void *>(element->data)); break;
    case SE_LIST: {
        ZVVector *vector = vectorOf(element);
        for (int i = 0; i < vector->size; i++) SEFree(reinterpret_cast<SEElement *>(vector->data[i]));
        ZVFreeVector(vector);
        break;
    }
    case SE_MAP: {
        ZVHashTable *table = tableOf(element);
        for (ZVHashIterator *it = ZVHashIterate(table); (it = ZVHashNext(it)) != nullptr;) {
            sFree(reinterpret_cast<char *>(it->key));
            SEFree(reinterpret_cast<SEElement *>(it->value));
        }
        char *name = const_cast<char *>(table->name);
        ZVHashFree(table);
        sFree(name);
        break;
    }
    case SE_BYTE_DATA:
    case SE_INT32_DATA:
    case SE_INT64_DATA:
        if (element->owned) sFree(reinterpret_cast<void *>(element->data));
        break;
    default: break;
    }
    sFree(element);
}

void SEReportError(const char *) {}
