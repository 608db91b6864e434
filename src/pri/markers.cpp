// The marker store: a three-level table indexed by marker number, a hash
// table from (text, stack name) to number, and the event -> stack name table.
#include "pri/markers.h"

#include <cstring>

#include "platform/mutex.h"
#include "support/heap.h"

namespace {

constexpr int kLevelSize = 1024;

struct MarkerSlot {
    PRIMarkerRecord *record;
    const char *displayName;
};

struct Markers {
    MarkerSlot ***top = nullptr;  // 1024 -> 1024 -> 1024 slots
    ZVHashTable *named = nullptr;  // record (as a wide string) -> number + 1
    ZVIntTable *stackNames = nullptr;
    RecursiveMutex *mutex = nullptr;  // the marker mutex: all of the above
    int32_t next = 1;
};

Markers gMarkers;

// Keys of "namedMarkers" are marker records; two are equal when their stack
// names are the same pointer and their texts are equal.
uint32_t markerHash(ZVWord key) {
    auto *record = reinterpret_cast<PRIMarkerRecord *>(key);
    return ZVWideStringHash(key) ^ static_cast<uint32_t>(reinterpret_cast<uintptr_t>(record->stackName));
}

int markerEquals(ZVWord a, ZVWord b) {
    auto *x = reinterpret_cast<PRIMarkerRecord *>(a);
    auto *y = reinterpret_cast<PRIMarkerRecord *>(b);
    return x->stackName == y->stackName && ZVWideStringEquals(a, b);
}

template <typename T>
T *zeroed(int count) {
    void *block = sMalloc(count * static_cast<int>(sizeof(T)));
    if (block != nullptr) memset(block, 0, count * sizeof(T));
    return static_cast<T *>(block);
}

MarkerSlot *slotFor(int32_t number, bool create) {
    if (number < 0 || gMarkers.top == nullptr) return nullptr;
    auto n = static_cast<uint32_t>(number);
    MarkerSlot **&middle = gMarkers.top[(n >> 20) & 1023];
    if (middle == nullptr) {
        if (!create || (middle = zeroed<MarkerSlot *>(kLevelSize)) == nullptr) return nullptr;
    }
    MarkerSlot *&leaf = middle[(n >> 10) & 1023];
    if (leaf == nullptr) {
        if (!create || (leaf = zeroed<MarkerSlot>(kLevelSize)) == nullptr) return nullptr;
    }
    return &leaf[n & 1023];
}

int32_t addMarker(PRIMarkerRecord *record, int32_t number, const char *displayName) {
    MarkerSlot *slot = slotFor(number, true);
    if (slot == nullptr) return -1;
    record->identifier = static_cast<uint32_t>(number) | kPRIMarkerBits;
    slot->record = record;
    slot->displayName = displayName;
    // Numbers are stored plus one: a value of 0 means "not found".
    ZVHashPut(gMarkers.named, reinterpret_cast<ZVWord>(record), static_cast<ZVWord>(number) + 1);
    return number;
}

}  // namespace

void PRICreateMarkerTables() {
    if (gMarkers.top != nullptr) return;
    gMarkers.top = zeroed<MarkerSlot **>(kLevelSize);
    gMarkers.stackNames = ZVIntTableNew(512, "stack names for markers");
    gMarkers.named = ZVHashNew(8000, markerHash, markerEquals, "namedMarkers", 0);
    gMarkers.mutex = CreateRecursiveMutex();
    static uint16_t noText[1] = {0};
    auto *overhead = zeroed<PRIMarkerRecord>(1);
    if (gMarkers.top == nullptr || overhead == nullptr) return;
    overhead->text = noText;
    overhead->stackName = "";
    addMarker(overhead, 0, "Overhead");
}

int32_t PRIMarkerNumberFor(const uint16_t *text, uint32_t length, const char *stackName,
                           int32_t event, bool copyText) {
    if (gMarkers.named == nullptr) return -1;
    PRIMarkerRecord probe{};
    probe.text = const_cast<uint16_t *>(text);
    probe.length = length;
    probe.stackName = stackName;
    MutexGuard guard(gMarkers.mutex);
    ZVWord known = ZVHashGet(gMarkers.named, reinterpret_cast<ZVWord>(&probe));
    if (known != 0) return static_cast<int32_t>(known - 1);
    auto *record = zeroed<PRIMarkerRecord>(1);
    if (record == nullptr) return -1;
    *record = probe;
    record->event = event;
    if (copyText) {
        record->text = zeroed<uint16_t>(static_cast<int>(length) + 1);
        if (record->text == nullptr) return -1;
        if (length != 0) memcpy(record->text, text, length * sizeof(uint16_t));
    }
    return addMarker(record, gMarkers.next++, nullptr);
}

PRIMarkerRecord *PRIMarkerAt(int32_t number) {
    MarkerSlot *slot = slotFor(number, false);
    return slot != nullptr ? slot->record : nullptr;
}

const char *PRIMarkerDisplayName(int32_t number) {
    MarkerSlot *slot = slotFor(number, false);
    return slot != nullptr ? slot->displayName : nullptr;
}

void PRISetMarkerStackName(int32_t event, const char *stackName) {
    if (gMarkers.stackNames == nullptr || event == 0 || stackName == nullptr) return;
    MutexGuard guard(gMarkers.mutex);
    if (ZVIntTableGet(gMarkers.stackNames, event) != 0) return;
    ZVIntTablePut(gMarkers.stackNames, event, reinterpret_cast<ZVWord>(sStrdup(stackName)));
}

const char *PRIMarkerStackName(int32_t event) {
    if (gMarkers.stackNames == nullptr || event == 0) return nullptr;
    MutexGuard guard(gMarkers.mutex);
    return reinterpret_cast<const char *>(ZVIntTableGet(gMarkers.stackNames, event));
}
