// ZVHashTable: a separately chained hash table over machine words with
// Fibonacci bucket indices, entries handed out from chunks of 128 and
// recycled through a free list, and move-to-front on lookup hits.
#include <cstdint>
#include <cstring>

#include "support/containers.h"
#include "support/heap.h"

namespace {

constexpr int kEntriesPerChunk = 128;
constexpr uint32_t kMinIndexBits = 3;
// Growth stops at 16M buckets (128 MB of chain heads); beyond that chains
// simply grow longer, and no size computation can overflow.
constexpr uint32_t kMaxIndexBits = 24;
constexpr uint32_t kFibonacci = 0x9E3779B9u;

int entryWords(const ZVHashTable *table) { return 3 + static_cast<int>(table->extraValues); }

// Value words behind key and value, present only when extraValues allows.
ZVWord *extraWords(ZVHashEntry *entry) { return reinterpret_cast<ZVWord *>(entry) + 3; }

uint32_t hashOf(const ZVHashTable *table, ZVWord key) {
    return table->hashFunction != nullptr ? table->hashFunction(key) : static_cast<uint32_t>(key);
}

uint32_t bucketOf(const ZVHashTable *table, uint32_t hash) { return (hash * kFibonacci) >> table->shift; }

bool keysEqual(const ZVHashTable *table, ZVWord a, ZVWord b) {
    return table->equalFunction != nullptr ? table->equalFunction(a, b) != 0 : a == b;
}

ZVHashEntry **allocateBuckets(uint32_t bits) {
    size_t bytes = sizeof(ZVHashEntry *) << bits;
    auto *buckets = static_cast<ZVHashEntry **>(sMalloc(static_cast<int>(bytes)));
    if (buckets != nullptr) std::memset(buckets, 0, bytes);
    return buckets;
}

// One more index bit; every entry moves to the head of its new chain, so
// chains come out reversed. Without memory the table keeps its size.
void grow(ZVHashTable *table) {
    uint32_t bits = 32 - table->shift + 1;
    if (bits > kMaxIndexBits) return;
    ZVHashEntry **buckets = allocateBuckets(bits);
    if (buckets == nullptr) return;
    ZVHashEntry **old = table->buckets;
    int32_t oldCount = table->bucketCount;
    table->shift = 32 - bits;
    table->bucketCount = int32_t{1} << bits;
    table->buckets = buckets;
    for (int32_t b = 0; b < oldCount; b++) {
        ZVHashEntry *entry = old[b];
        while (entry != nullptr) {
            ZVHashEntry *next = entry->next;
            ZVHashEntry **head = &buckets[bucketOf(table, hashOf(table, entry->key))];
            entry->next = *head;
            *head = entry;
            entry = next;
        }
    }
    sFree(old);
}

ZVHashEntry *takeEntry(ZVHashTable *table) {
    ZVHashEntry *entry = table->freeList;
    if (entry != nullptr) {
        table->freeList = entry->next;
        entry->next = nullptr;
        return entry;
    }
    size_t entryBytes = static_cast<size_t>(entryWords(table)) * sizeof(ZVWord);
    ZVHashChunk *chunk = table->chunkList;
    if (chunk == nullptr || chunk->used >= kEntriesPerChunk) {
        chunk = static_cast<ZVHashChunk *>(sMalloc(sizeof(ZVHashChunk)));
        if (chunk == nullptr) return nullptr;
        chunk->entries = static_cast<ZVWord *>(sMalloc(static_cast<int>(entryBytes * kEntriesPerChunk)));
        if (chunk->entries == nullptr) {
            sFree(chunk);
            return nullptr;
        }
        chunk->used = 0;
        chunk->next = table->chunkList;
        table->chunkList = chunk;
    }
    entry = reinterpret_cast<ZVHashEntry *>(chunk->entries + static_cast<size_t>(chunk->used++) * entryWords(table));
    entry->next = nullptr;
    return entry;
}

// The first entry matching key, moved to the head of its chain when the
// table asks for it.
ZVHashEntry *find(ZVHashTable *table, ZVWord key) {
    if (table == nullptr || table->buckets == nullptr) return nullptr;
    ZVHashEntry **head = &table->buckets[bucketOf(table, hashOf(table, key))];
    ZVHashEntry *previous = nullptr;
    for (ZVHashEntry *entry = *head; entry != nullptr; previous = entry, entry = entry->next) {
        if (!keysEqual(table, entry->key, key)) continue;
        if (previous != nullptr && (table->flags & ZV_HASH_MOVE_TO_FRONT) != 0) {
            previous->next = entry->next;
            entry->next = *head;
            *head = entry;
        }
        return entry;
    }
    return nullptr;
}

}  // namespace

ZVHashTable *ZVHashNew(int initialSize, ZVHashFunction hashFunction, ZVEqualFunction equalFunction,
                       const char *name, int extraValues) {
    auto *table = static_cast<ZVHashTable *>(sMalloc(sizeof(ZVHashTable)));
    if (table == nullptr) return nullptr;
    std::memset(table, 0, sizeof(ZVHashTable));
    table->name = name != nullptr ? name : "noname";
    table->hashFunction = hashFunction;
    table->equalFunction = equalFunction;
    // Entries have room for at most two extra values.
    table->extraValues = static_cast<uint32_t>(extraValues < 0 ? 0 : extraValues > 2 ? 2 : extraValues);
    table->flags = ZV_HASH_MOVE_TO_FRONT;
    uint32_t bits = kMinIndexBits;
    while (bits < kMaxIndexBits && (int64_t{1} << bits) < initialSize) bits++;
    table->shift = 32 - bits;
    table->bucketCount = int32_t{1} << bits;
    table->buckets = allocateBuckets(bits);
    return table;
}

int ZVHashPut(ZVHashTable *table, ZVWord key, ZVWord value, ZVWord value2, ZVWord value3) {
    if (table == nullptr || table->buckets == nullptr || table->count == INT32_MAX) return 0;
    if (table->count >= 2 * static_cast<int64_t>(table->bucketCount)) grow(table);
    ZVHashEntry *entry = takeEntry(table);
    if (entry == nullptr) return 0;
    entry->key = key;
    entry->value = value;
    if (table->extraValues >= 1) extraWords(entry)[0] = value2;
    if (table->extraValues == 2) extraWords(entry)[1] = value3;
    ZVHashEntry **head = &table->buckets[bucketOf(table, hashOf(table, key))];
    entry->next = *head;
    *head = entry;
    return ++table->count;
}

ZVWord ZVHashGet(ZVHashTable *table, ZVWord key) {
    ZVHashEntry *entry = find(table, key);
    return entry != nullptr ? entry->value : 0;
}

void ZVHashGet(ZVHashTable *table, ZVWord key, ZVWord *value, ZVWord *value2, ZVWord *value3) {
    ZVHashEntry *entry = find(table, key);
    uint32_t extra = entry != nullptr ? table->extraValues : 0;
    if (value != nullptr) *value = entry != nullptr ? entry->value : 0;
    if (value2 != nullptr) *value2 = extra >= 1 ? extraWords(entry)[0] : 0;
    if (value3 != nullptr) *value3 = extra == 2 ? extraWords(entry)[1] : 0;
}

void ZVHashRemove(ZVHashTable *table, ZVWord key) {
    if (table == nullptr || table->buckets == nullptr) return;
    for (ZVHashEntry **link = &table->buckets[bucketOf(table, hashOf(table, key))]; *link != nullptr;
         link = &(*link)->next) {
        ZVHashEntry *entry = *link;
        if (!keysEqual(table, entry->key, key)) continue;
        *link = entry->next;
        entry->next = table->freeList;
        table->freeList = entry;
        table->count--;
        return;
    }
}

void ZVHashFree(ZVHashTable *table) {
    if (table == nullptr) return;
    for (ZVHashChunk *chunk = table->chunkList; chunk != nullptr;) {
        ZVHashChunk *next = chunk->next;
        sFree(chunk->entries);
        sFree(chunk);
        chunk = next;
    }
    sFree(table->buckets);
    sFree(table);
}

ZVHashIterator *ZVHashIterate(ZVHashTable *table) {
    if (table == nullptr) return nullptr;
    auto *iterator = static_cast<ZVHashIterator *>(sMalloc(sizeof(ZVHashIterator)));
    if (iterator == nullptr) return nullptr;
    std::memset(iterator, 0, sizeof(ZVHashIterator));
    iterator->table = table;
    iterator->bucket = -1;
    return iterator;
}

ZVHashIterator *ZVHashNext(ZVHashIterator *iterator) {
    if (iterator == nullptr) return nullptr;
    ZVHashTable *table = iterator->table;
    ZVHashEntry *entry = nullptr;
    if (table->count > 0 && table->buckets != nullptr) {
        entry = iterator->entry != nullptr ? iterator->entry->next : nullptr;
        while (entry == nullptr && iterator->bucket + 1 < table->bucketCount) {
            entry = table->buckets[++iterator->bucket];
        }
    }
    if (entry == nullptr) {
        sFree(iterator);
        return nullptr;
    }
    iterator->entry = entry;
    iterator->key = entry->key;
    iterator->value = entry->value;
    if (table->extraValues >= 1) iterator->value2 = extraWords(entry)[0];
    if (table->extraValues == 2) iterator->value3 = extraWords(entry)[1];
    return iterator;
}
