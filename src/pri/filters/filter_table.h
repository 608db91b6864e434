// The in-memory form of the filter entries: compiled patterns, conditions,
// and the table of entries that queries scan.
#pragma once

#include <atomic>
#include <cstdint>
#include <string_view>
#include <vector>

#include "support/elements.h"

// A pattern split into pieces at its wildcards; every piece after the first
// begins with '*'. All pieces point into one owned buffer.
struct PRIPattern {
    char *buffer;
    const char **pieces;  // null-terminated
    uint32_t *lengths;    // length of each piece
    int32_t negated;
};

// The condition of one entry.
struct PRIFilterGroup {
    char *name;
    PRIPattern **patterns;  // null-terminated
    int32_t operation;      // 0 OR, 1 AND
};

enum PRIFilterKind { FILTER_GROUP = 0, FILTER_MEMORY = 1, FILTER_CPU = 2, FILTER_ELIMINATE = 3 };

// Parallel arrays indexed by entry. A reload builds a new table holding the
// old entries followed by the new ones; only [start, count) answers queries.
struct PRIFilterTable {
    int32_t count;
    int32_t start;
    PRIFilterGroup **conditions;  // null for an entry that never matches
    uint8_t *kinds[4];
};

// What the filters keep. The running agent's record is created when the
// library loads and never destroyed: classes load until the process ends.
struct PRIFilterState {
    // The current table, published whole so that unlocked readers see a
    // consistent one; null before any filter file was read.
    std::atomic<PRIFilterTable *> table{nullptr};
    std::atomic<int> loaded{0};
    // Replaced tables and every condition ever compiled: queries may still
    // read them without a lock, so they live as long as the record.
    std::vector<PRIFilterTable *> retired;
    std::vector<PRIFilterGroup *> conditions;
    int nextNumber = 1;  // of "Filter_%d", the names of unnamed conditions
    // The "affects" answers; -1: not computed since the newest file was read.
    std::atomic<int> affectsMemory{-1};
    std::atomic<int> affectsCPU{-1};

    PRIFilterState() = default;
    PRIFilterState(const PRIFilterState &) = delete;
    PRIFilterState &operator=(const PRIFilterState &) = delete;
    ~PRIFilterState();
};

extern PRIFilterState *gPRIFilters;
inline PRIFilterState &PRIFilters() { return *gPRIFilters; }

PRIPattern *PRICompilePattern(const char *text);
bool PRIPatternHolds(const PRIPattern *pattern, std::string_view text);
// Compiles the "cnd" map of an entry (null is taken as an empty condition).
PRIFilterGroup *PRICompileCondition(const SEElement *condition);
bool PRIConditionMatches(const PRIFilterGroup *group, std::string_view text);
void PRIFreeCondition(PRIFilterGroup *group);
// Forgets the cached "affects" answers (a table was published).
inline void PRIForgetAffects(PRIFilterState &filters) {
    filters.affectsMemory.store(-1);
    filters.affectsCPU.store(-1);
}
