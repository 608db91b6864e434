// The marker store: a three-level table indexed by marker number, the hash
// table "namedMarkers" from (text, stack name) to number, and the event ->
// stack name table. Entries are written once under the marker mutex and
// published last, so that readers need no lock.
#include "pri/runtime/markers.h"

#include <atomic>
#include <cstdio>
#include <cstring>

#include "platform/mutex.h"
#include "support/heap.h"

namespace {

constexpr int kLevelSize = 1024;
constexpr uint32_t kFibonacci = 0x9E3779B9u;
constexpr int kNamedSlots = 8000;
constexpr int kPairsPerNode = 4;

struct MarkerSlot {
    PRIMarkerRecord *record;
    const char *displayName;
};

// "namedMarkers": one inline pair per bucket, then nodes of four pairs. A
// pair is free while its key is null; its number is written before the key.
struct NamedPair {
    PRIMarkerRecord *key;
    int32_t number;
};

struct NamedNode {
    NamedNode *next;
    NamedPair pairs[kPairsPerNode];
};

struct NamedBucket {
    NamedPair pair;
    NamedNode *next;
};

struct NamedMarkers {
    NamedBucket *buckets = nullptr;
    uint32_t shift = 32;
    int32_t count = 0;
};

struct Markers {
    MarkerSlot ***top = nullptr;   // 1024 -> 1024 -> 1024 slots
    MarkerSlot *first = nullptr;   // the leaf of numbers 0 to 1023
    NamedMarkers named;
    ZVIntTable *stackNames = nullptr;
    RecursiveMutex *mutex = nullptr;  // the marker mutex: every write above
    int32_t next = 1;
};

Markers gMarkers;

template <typename T>
T load(T &word) {
    return std::atomic_ref<T>(word).load(std::memory_order_acquire);
}

template <typename T>
void publish(T &word, T value) {
    std::atomic_ref<T>(word).store(value, std::memory_order_release);
}

template <typename T>
T *zeroed(int count) {
    void *block = sMalloc(count * static_cast<int>(sizeof(T)));
    if (block != nullptr) memset(block, 0, count * sizeof(T));
    return static_cast<T *>(block);
}

uint32_t textHash(const uint16_t *text, uint32_t length) {
    ZVWideString wide{const_cast<uint16_t *>(text), length, 0};
    return ZVWideStringHash(reinterpret_cast<ZVWord>(&wide));
}

uint32_t keyHash(const PRIMarkerKey &key) {
    uint32_t text = key.hash != 0 ? key.hash : textHash(key.text, key.length);
    return text ^ static_cast<uint32_t>(reinterpret_cast<uintptr_t>(key.stackName));
}

bool sameKey(const PRIMarkerRecord *record, const PRIMarkerKey &key) {
    return record->stackName == key.stackName && record->length == key.length &&
           (key.length == 0 || memcmp(record->text, key.text, key.length * sizeof(uint16_t)) == 0);
}

// ------------------------------------------------------------- namedMarkers

bool namedCreate(NamedMarkers &table, int slots) {
    uint32_t bits = 1;
    while ((1 << bits) < slots) ++bits;
    table.buckets = zeroed<NamedBucket>(1 << bits);
    table.shift = 32 - bits;
    return table.buckets != nullptr;
}

NamedBucket *namedBucket(const NamedMarkers &table, const PRIMarkerKey &key) {
    return &table.buckets[(keyHash(key) * kFibonacci) >> table.shift];
}

bool namedFind(const NamedMarkers &table, const PRIMarkerKey &key, int32_t *number) {
    if (table.buckets == nullptr) return false;
    NamedBucket *bucket = namedBucket(table, key);
    auto match = [&](NamedPair &pair) {
        PRIMarkerRecord *record = load(pair.key);
        if (record == nullptr || !sameKey(record, key)) return false;
        *number = pair.number;
        return true;
    };
    if (match(bucket->pair)) return true;
    for (NamedNode *node = load(bucket->next); node != nullptr; node = load(node->next)) {
        for (NamedPair &pair : node->pairs)
            if (match(pair)) return true;
    }
    return false;
}

// Under the marker mutex. Pairs are filled in order and never emptied, so a
// free pair ends the bucket.
bool namedAdd(NamedMarkers &table, PRIMarkerRecord *record, int32_t number) {
    PRIMarkerKey key{record->text, record->length, record->hash, record->stackName};
    NamedBucket *bucket = namedBucket(table, key);
    auto fill = [&](NamedPair &pair) {
        if (pair.key != nullptr) return false;
        pair.number = number;
        publish(pair.key, record);
        ++table.count;
        return true;
    };
    if (fill(bucket->pair)) return true;
    NamedNode **link = &bucket->next;
    for (;;) {
        NamedNode *node = *link;
        if (node == nullptr) {
            node = zeroed<NamedNode>(1);
            if (node == nullptr) return false;
            fill(node->pairs[0]);
            publish(*link, node);
            return true;
        }
        for (NamedPair &pair : node->pairs)
            if (fill(pair)) return true;
        link = &node->next;
    }
}

// ------------------------------------------------------------- marker table

MarkerSlot *slotFor(int32_t number, bool create) {
    if (number < 0 || gMarkers.top == nullptr) return nullptr;
    auto n = static_cast<uint32_t>(number);
    if ((n & 0x3FFFFC00u) == 0) {
        MarkerSlot *first = load(gMarkers.first);
        if (first != nullptr) return &first[n];
    }
    MarkerSlot **&middle = gMarkers.top[(n >> 20) & 1023];
    MarkerSlot **middleLevel = load(middle);
    if (middleLevel == nullptr) {
        if (!create || (middleLevel = zeroed<MarkerSlot *>(kLevelSize)) == nullptr) return nullptr;
        publish(middle, middleLevel);
    }
    MarkerSlot *&leaf = middleLevel[(n >> 10) & 1023];
    MarkerSlot *leafLevel = load(leaf);
    if (leafLevel == nullptr) {
        if (!create || (leafLevel = zeroed<MarkerSlot>(kLevelSize)) == nullptr) return nullptr;
        publish(leaf, leafLevel);
    }
    if ((n & 0x3FFFFC00u) == 0) publish(gMarkers.first, leafLevel);
    return &leafLevel[n & 1023];
}

// Writes the slot and then the key, under the marker mutex; false when
// memory ran out (the slot may then hold the record, but no key leads there).
bool addMarker(PRIMarkerRecord *record, int32_t number, const char *displayName) {
    MarkerSlot *slot = slotFor(number, true);
    if (slot == nullptr) return false;
    record->identifier = static_cast<uint32_t>(number) | kPRIMarkerBits;
    slot->displayName = displayName;
    publish(slot->record, record);
    if (namedAdd(gMarkers.named, record, number)) return true;
    publish(slot->record, static_cast<PRIMarkerRecord *>(nullptr));
    return false;
}

// ------------------------------------------------------------ display names

// Appends text while it fits below limit; false when it did not.
bool append(char *buffer, int &at, int limit, const char *text, int length) {
    if (at + length > limit) return false;
    memcpy(buffer + at, text, static_cast<size_t>(length));
    at += length;
    return true;
}

bool appendUnit(char *buffer, int &at, int limit, uint16_t unit) {
    char escaped[8];
    int length = 0;
    if (unit >= 0x80) {
        length = snprintf(escaped, sizeof escaped, "\\u%04X", unit);
    } else {
        if (unit == '\\' || unit == '"') escaped[length++] = '\\';
        escaped[length++] = static_cast<char>(unit);
    }
    return append(buffer, at, limit, escaped, length);
}

}  // namespace

void PRIFormatMarkerName(const uint16_t *text, uint32_t length, const char *stackName, char *buffer) {
    static constexpr char kEnd[] = "\");}";
    static constexpr char kCutEnd[] = "...\");}";
    // The text goes up to 256 - 8 bytes: room for the longer ending and the NUL.
    constexpr int kText = kPRIMarkerNameBytes - 8;
    constexpr int kLast = kPRIMarkerNameBytes - 1;
    // A stack name longer than half the room is cut, so that the text shows.
    int nameLength = stackName != nullptr ? static_cast<int>(strnlen(stackName, kPRIMarkerNameBytes / 2)) : 0;
    int at = snprintf(buffer, kPRIMarkerNameBytes, "_@{k=\"_@%.*s\";v=(\"", nameLength,
                      stackName != nullptr ? stackName : "");
    bool whole = true;
    for (uint32_t i = 0; i < length && whole; ++i) whole = appendUnit(buffer, at, kText, text[i]);
    if (whole) {
        append(buffer, at, kLast, kEnd, sizeof kEnd - 1);
    } else {
        append(buffer, at, kLast, kCutEnd, sizeof kCutEnd - 1);
    }
    buffer[at] = '\0';
}

void PRICreateMarkerTables() {
    if (gMarkers.top != nullptr) return;
    gMarkers.mutex = CreateRecursiveMutex();
    gMarkers.stackNames = ZVIntTableNew(512, "stack names for markers");
    auto *overhead = zeroed<PRIMarkerRecord>(1);
    if (!namedCreate(gMarkers.named, kNamedSlots) || overhead == nullptr) {
        sFree(overhead);
        return;
    }
    gMarkers.top = zeroed<MarkerSlot **>(kLevelSize);
    static uint16_t noText[1] = {0};
    overhead->text = noText;
    overhead->stackName = "";
    MutexGuard guard(gMarkers.mutex);
    addMarker(overhead, 0, "Overhead");
}

bool PRIMarkerTablesExist() { return gMarkers.top != nullptr; }

bool PRIFindMarker(const PRIMarkerKey *key, int32_t *outNumber) {
    int32_t number = -1;
    bool found = key != nullptr && namedFind(gMarkers.named, *key, &number);
    if (outNumber != nullptr) *outNumber = number;
    return found;
}

int32_t PRIMarkerNumberFor(const uint16_t *text, uint32_t length, const char *stackName,
                           int32_t event, bool copyText) {
    if (gMarkers.top == nullptr || (text == nullptr && length != 0)) return -1;
    PRIMarkerKey key{text, length, textHash(text, length), stackName};
    int32_t number = -1;
    if (namedFind(gMarkers.named, key, &number)) return number;

    // Built outside the mutex; thrown away when another thread was first.
    auto *record = zeroed<PRIMarkerRecord>(1);
    uint16_t *copy = copyText ? zeroed<uint16_t>(static_cast<int>(length) + 1) : nullptr;
    char formatted[kPRIMarkerNameBytes];
    PRIFormatMarkerName(text, length, stackName, formatted);
    char *displayName = sStrdup(formatted + 2);
    auto discard = [&] {
        sFree(record);
        sFree(copy);
        sFree(displayName);
    };
    if (record == nullptr || displayName == nullptr || (copyText && copy == nullptr)) {
        discard();
        return -1;
    }
    if (copy != nullptr && length != 0) memcpy(copy, text, length * sizeof(uint16_t));
    *record = PRIMarkerRecord{copyText ? copy : const_cast<uint16_t *>(text), length, key.hash, stackName,
                              event, 0, 0, 0};

    MutexGuard guard(gMarkers.mutex);
    if (namedFind(gMarkers.named, key, &number)) {
        discard();
        return number;
    }
    number = gMarkers.next++;
    if (!addMarker(record, number, displayName)) {
        --gMarkers.next;
        discard();
        return -1;
    }
    return number;
}

PRIMarkerRecord *PRIMarkerAt(int32_t number) {
    MarkerSlot *slot = slotFor(number, false);
    return slot != nullptr ? load(slot->record) : nullptr;
}

const char *PRIMarkerDisplayName(int32_t number) {
    MarkerSlot *slot = slotFor(number, false);
    return slot != nullptr && load(slot->record) != nullptr ? slot->displayName : nullptr;
}

int32_t PRIConvertMarker(int32_t number, int32_t event, const char *tag) {
    PRIMarkerRecord *record = PRIMarkerAt(number);
    if (record == nullptr) return -1;
    if (event == 0 || event == record->event) return number;
    const char *stackName = PRIMarkerStackNameOrSay(event, tag);
    return PRIMarkerNumberFor(record->text, record->length, stackName, event, false);
}

void PRISetMarkerStackName(int32_t event, const char *stackName) {
    if (gMarkers.stackNames == nullptr || event == 0 || stackName == nullptr) return;
    MutexGuard guard(gMarkers.mutex);
    if (ZVIntTableGet(gMarkers.stackNames, event) != 0) return;
    char *copy = sStrdup(stackName);
    if (copy != nullptr) ZVIntTablePut(gMarkers.stackNames, event, reinterpret_cast<ZVWord>(copy));
}

const char *PRIMarkerStackName(int32_t event) {
    if (gMarkers.stackNames == nullptr || event == 0) return nullptr;
    MutexGuard guard(gMarkers.mutex);
    return reinterpret_cast<const char *>(ZVIntTableGet(gMarkers.stackNames, event));
}

const char *PRIMarkerStackNameOrSay(int32_t event, const char *tag) {
    const char *name = PRIMarkerStackName(event);
    if (name == nullptr) fprintf(stderr, "%s: Could not find a stack name for event 0x%x\n", tag, static_cast<unsigned>(event));
    return name;
}
