// Internal helpers over element maps and integers shared by the element
// operations, the readers and the writer.
#pragma once

#include <cstdint>
#include <map>
#include <string_view>
#include <vector>

#include "support/elements.h"

struct SEMapEntry {
    const char *key;
    SEElement *value;
};

// Inserts a key the map takes over; false when the map refused it (the key
// and value are then still the caller's).
bool seMapInsert(SEElement *map, char *key, SEElement *value);

// Every entry, shadowed ones included, in iteration order (newest first
// within a key). Does not reorder the table.
std::vector<SEMapEntry> seMapEntries(const SEElement *map);

// The entries that lookups find, one per key, ordered by key bytes.
std::map<std::string_view, const SEElement *> seMapVisibleEntries(const SEElement *map);

inline int64_t seInt64Value(const SEElement *element) {
    uint64_t low = static_cast<uint32_t>(element->value);
    uint64_t high = static_cast<uint32_t>(element->data);
    return static_cast<int64_t>(high << 32 | low);
}

// Readers stop nesting at this depth so that hostile input cannot exhaust the
// stack of the recursive parsers.
constexpr int kSEMaxDepth = 1000;
