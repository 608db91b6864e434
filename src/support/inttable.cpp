// ZVIntTable: a fixed-size table from non-zero integer keys to integer
// values, four pairs inline per bucket and zeroed overflow nodes behind.
#include <cstdint>
#include <cstring>

#include "support/containers.h"
#include "support/heap.h"

namespace {

constexpr uint32_t kFibonacci = 0x9E3779B9u;
constexpr int kSlots = 4;
// One index bit at least (a shift of 32 would be undefined); at most 1M
// inline nodes (72 MB). Bigger tables still work, with longer chains.
constexpr uint32_t kMinIndexBits = 1;
constexpr uint32_t kMaxIndexBits = 20;

ZVIntNode *bucketFor(const ZVIntTable *table, ZVWord key) {
    return &table->buckets[(static_cast<uint32_t>(key) * kFibonacci) >> table->shift];
}

}  // namespace

ZVIntTable *ZVIntTableNew(int size, const char *name) {
    uint32_t bits = kMinIndexBits;
    while (bits < kMaxIndexBits && (int64_t{1} << bits) < size) bits++;
    size_t bytes = sizeof(ZVIntTable) + (sizeof(ZVIntNode) << bits);
    auto *table = static_cast<ZVIntTable *>(sMalloc(static_cast<int>(bytes)));
    if (table == nullptr) return nullptr;
    std::memset(table, 0, bytes);
    table->name = name != nullptr ? name : "Unnamed";
    table->bucketCount = int32_t{1} << bits;
    table->shift = 32 - bits;
    // The inline nodes sit right behind the header, in the same block.
    table->buckets = reinterpret_cast<ZVIntNode *>(table + 1);
    return table;
}

ZVWord ZVIntTableGet(const ZVIntTable *table, ZVWord key) {
    if (table == nullptr || key == 0) return 0;
    for (const ZVIntNode *node = bucketFor(table, key); node != nullptr; node = node->next) {
        for (int i = 0; i < kSlots; i++) {
            if (node->keys[i] == key) return node->values[i];
        }
    }
    return 0;
}

void ZVIntTablePut(ZVIntTable *table, ZVWord key, ZVWord value) {
    // Key 0 marks a free slot, so it cannot be stored.
    if (table == nullptr || key == 0) return;
    ZVIntNode *node = bucketFor(table, key);
    for (;;) {
        for (int i = 0; i < kSlots; i++) {
            if (node->keys[i] != 0) continue;
            node->keys[i] = key;
            node->values[i] = value;
            table->count++;
            return;
        }
        if (node->next == nullptr) {
            auto *overflow = static_cast<ZVIntNode *>(sMalloc(sizeof(ZVIntNode)));
            if (overflow == nullptr) return;
            std::memset(overflow, 0, sizeof(ZVIntNode));
            node->next = overflow;
        }
        node = node->next;
    }
}

void ZVIntTableRemove(ZVIntTable *table, ZVWord key) {
    if (table == nullptr || key == 0) return;
    for (ZVIntNode *node = bucketFor(table, key); node != nullptr; node = node->next) {
        for (int i = 0; i < kSlots; i++) {
            if (node->keys[i] != key) continue;
            node->keys[i] = 0;
            node->values[i] = 0;
            table->count--;
            return;
        }
    }
}

void ZVIntTableFree(ZVIntTable *table) {
    if (table == nullptr) return;
    for (int32_t b = 0; b < table->bucketCount; b++) {
        for (ZVIntNode *node = table->buckets[b].next; node != nullptr;) {
            ZVIntNode *next = node->next;
            sFree(node);
            node = next;
        }
    }
    sFree(table);
}
