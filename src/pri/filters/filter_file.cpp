// Filter files: reading one, compiling its entries into the filter table at
// start-up, and appending the entries of a new file while the program runs.
#include <strings.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "config/config.h"
#include "pri/filters/filter_table.h"
#include "pri/filters/filters.h"
#include "support/files.h"
#include "support/heap.h"

PRIFilterState *gPRIFilters = new PRIFilterState();

namespace {

// The option loader hands the filter path over as soon as it is read.
[[maybe_unused]] const bool kLoaderRegistered = (ConfigSetFilterLoader(PRILoadFilterFile), true);

// The reader's message without its closing newline (and colon), or a note
// on where the input ended.
std::string ReaderProblem(const SEReader *reader) {
    const char *error = SEReaderError(reader);
    if (error == nullptr) error = SEReaderLexerError(reader);
    if (error == nullptr || error[0] == '\0')
        return "no element before the end at line " + std::to_string(SEReaderLine(reader));
    std::string text = error;
    while (!text.empty() && (text.back() == '\n' || text.back() == ':')) text.pop_back();
    return text;
}

// Reads the file; the tree to release and its entry list, or null after a
// message when the file cannot be used.
SEElement *ReadFilterFile(const char *path, const SEElement **entries) {
    // Devices and pipes could feed the reader without end.
    SEReader *reader = path && IsRegularFile(path) ? SEReaderFromFile(path) : nullptr;
    if (reader == nullptr) {
        fprintf(stderr, "Could not open Filter file %s\n", path ? path : "");
        return nullptr;
    }
    SEElement *tree = SERead(reader);
    int line = SEReaderLine(reader);
    // The first line is the one users and their scripts know; the reason
    // follows on a line of its own.
    if (tree == nullptr)
        fprintf(stderr, "Could not read Filter file %s -- deserialization failed\n  %s\n", path,
                ReaderProblem(reader).c_str());
    SEReaderFree(reader);
    if (tree == nullptr) return nullptr;
    const SEElement *list = tree;
    if (tree->type == SE_MAP) {
        const SEElement *deleteMe = SEMapGet(tree, "DeleteMe");
        if (deleteMe && deleteMe->type == SE_STRING && strcmp(SEGetString(deleteMe), "true") == 0)
            remove(path);
        list = SEMapGet(tree, "Content");
    }
    if (list == nullptr || list->type != SE_LIST) {
        // Elements keep no positions: the line where the element ended is the
        // nearest the reader can say.
        fprintf(stderr,
                "Could not read Filter file %s -- the element ending at line %d is neither a list of "
                "filter entries nor a map whose Content is one\n",
                path, line);
        SEFree(tree);
        return nullptr;
    }
    *entries = list;
    return tree;
}

bool FlagSet(const SEElement *entry, const char *key) {
    const SEElement *value = SEMapGet(entry, key);
    return value && value->type == SE_STRING && strcasecmp(SEGetString(value), "t") == 0;
}

PRIFilterTable *NewTable(int count) {
    auto *table = static_cast<PRIFilterTable *>(sMalloc(sizeof(PRIFilterTable)));
    if (table == nullptr) return nullptr;
    table->count = count;
    table->start = 0;
    int slots = count > 0 ? count : 1;
    table->conditions = static_cast<PRIFilterGroup **>(sMalloc(static_cast<int>(slots * sizeof(PRIFilterGroup *))));
    bool ok = table->conditions != nullptr;
    for (uint8_t *&kind : table->kinds) {
        kind = static_cast<uint8_t *>(sMalloc(slots));
        ok = ok && kind != nullptr;
    }
    if (ok) {
        memset(table->conditions, 0, slots * sizeof(PRIFilterGroup *));
        for (uint8_t *kind : table->kinds) memset(kind, 0, slots);
        return table;
    }
    sFree(table->conditions);
    for (uint8_t *kind : table->kinds) sFree(kind);
    sFree(table);
    return nullptr;
}

void FreeTableArrays(PRIFilterTable *table) {
    sFree(table->conditions);
    for (uint8_t *kind : table->kinds) sFree(kind);
    sFree(table);
}

// What in an entry would make it match other than the user meant, said with
// the file and the entry's place in it (counted from 1).
void CheckCondition(const char *path, int number, const SEElement *condition) {
    const SEElement *patterns = condition != nullptr && condition->type == SE_MAP ? SEMapGet(condition, "PatternList")
                                                                                 : nullptr;
    if (patterns == nullptr || patterns->type != SE_LIST) {
        fprintf(stderr, "Zentrova Warning: filter file %s: entry %d has no condition with a PatternList list; "
                "it matches no method\n", path, number);
        return;
    }
    for (int i = 0; i < SEListSize(patterns); i++) {
        const SEElement *pattern = SEListGet(patterns, i);
        if (pattern == nullptr || pattern->type != SE_STRING)
            fprintf(stderr, "Zentrova Warning: filter file %s: entry %d: pattern %d is not a string; "
                    "it matches no method\n", path, number, i + 1);
    }
    const SEElement *operation = SEMapGet(condition, "Operation");
    if (operation != nullptr && (operation->type != SE_STRING || (strcasecmp(SEGetString(operation), "AND") != 0 &&
                                                                  strcasecmp(SEGetString(operation), "OR") != 0)))
        fprintf(stderr, "Zentrova Warning: filter file %s: entry %d: Operation is neither AND nor OR; OR is used\n",
                path, number);
}

void CompileEntry(const char *path, PRIFilterTable *table, int index, int number, const SEElement *entry) {
    PRIFilters().loaded.store(1, std::memory_order_relaxed);
    if (entry == nullptr || entry->type != SE_MAP) {
        fprintf(stderr, "Zentrova Warning: filter file %s: entry %d is not a map; it is skipped\n", path, number);
        return;
    }
    static const char *const kKeys[4] = {"grp", "mem", "cpu", "eliminate"};
    bool any = false;
    for (int kind = 0; kind < 4; kind++) {
        const SEElement *flag = SEMapGet(entry, kKeys[kind]);
        if (flag != nullptr && (flag->type != SE_STRING || (strcasecmp(SEGetString(flag), "t") != 0 &&
                                                            strcasecmp(SEGetString(flag), "f") != 0)))
            fprintf(stderr, "Zentrova Warning: filter file %s: entry %d: %s is neither t nor f; f is used\n", path,
                    number, kKeys[kind]);
        table->kinds[kind][index] = FlagSet(entry, kKeys[kind]);
        any = any || table->kinds[kind][index];
    }
    if (!any) return;
    const SEElement *condition = SEMapGet(entry, "cnd");
    CheckCondition(path, number, condition);
    table->conditions[index] = PRICompileCondition(condition && condition->type == SE_MAP ? condition : nullptr);
    if (table->conditions[index]) PRIFilters().conditions.push_back(table->conditions[index]);
}

void Publish(PRIFilterTable *table) {
    PRIFilterState &filters = PRIFilters();
    PRIFilterTable *old = filters.table.exchange(table, std::memory_order_acq_rel);
    if (old != nullptr) filters.retired.push_back(old);
    PRIForgetAffects(filters);
}

}  // namespace

bool PRILoadFilterFile(const char *path) {
    if (path == nullptr) return true;
    const SEElement *entries = nullptr;
    SEElement *tree = ReadFilterFile(path, &entries);
    if (tree == nullptr) return false;
    fprintf(stderr, "Zentrova using filter file '%s'\n", path);
    int count = SEListSize(entries);
    if (PRIFilterTable *table = NewTable(count)) {
        for (int i = 0; i < count; i++) CompileEntry(path, table, i, i + 1, SEListGet(entries, i));
        Publish(table);
    }
    SEFree(tree);
    return true;
}

int zviReloadFilter(const char *path) {
    const SEElement *entries = nullptr;
    SEElement *tree = ReadFilterFile(path, &entries);
    if (tree == nullptr) return 0;
    fprintf(stderr, "Zentrova using new filter file '%s'\n", path);
    int added = SEListSize(entries);
    PRIFilterTable *old = PRIFilters().table.load(std::memory_order_acquire);
    int oldCount = old ? old->count : 0;
    if (added > 0) {
        if (PRIFilterTable *table = NewTable(oldCount + added)) {
            if (old != nullptr && oldCount > 0) {
                memcpy(table->conditions, old->conditions, oldCount * sizeof(PRIFilterGroup *));
                for (int kind = 0; kind < 4; kind++) memcpy(table->kinds[kind], old->kinds[kind], oldCount);
            }
            for (int i = 0; i < added; i++) CompileEntry(path, table, oldCount + i, i + 1, SEListGet(entries, i));
            table->start = oldCount;
            Publish(table);
        }
    }
    SEFree(tree);
    PRIForgetAffects(PRIFilters());
    return 1;
}

PRIFilterState::~PRIFilterState() {
    if (PRIFilterTable *current = table.load()) FreeTableArrays(current);
    for (PRIFilterTable *old : retired) FreeTableArrays(old);
    for (PRIFilterGroup *group : conditions) PRIFreeCondition(group);
}

PRIFilterState *PRINewFilters() { return new PRIFilterState(); }

PRIFilterState *PRIInstallFilters(PRIFilterState *filters) {
    PRIFilterState *old = gPRIFilters;
    gPRIFilters = filters;
    return old;
}

void PRIFreeFilters(PRIFilterState *filters) { delete filters; }
