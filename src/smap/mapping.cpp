// Translation of generated lines through the resolved stratum: single lines,
// a file's line range, and a method's whole line table.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "classfile/classfile.h"
#include "smap/smap.h"
#include "support/heap.h"

namespace {

struct MappedEntry {
    uint16_t startPc;
    int32_t line;
};

// The resolved stratum's line entries. Without a file section they name no
// source, so such a stratum maps nothing.
const SMAPLineSection *lineSection(const SMAP *smap) {
    if (smap == nullptr || smap->resolved == nullptr || smap->resolved->fileSection == nullptr) return nullptr;
    return smap->resolved->lineSection;
}

const SMAPFileEntry *fileEntry(const SMAP *smap, int32_t fileID) {
    const SMAPFileSection *files = smap->resolved != nullptr ? smap->resolved->fileSection : nullptr;
    for (int f = 0; files != nullptr && f < files->count; ++f) {
        if (files->entries[f].fileID == fileID) return &files->entries[f];
    }
    return nullptr;
}

// Drops entries evenly until room remain: first every step-th one across
// the table, then from the middle for what rounding left over.
void thin(std::vector<MappedEntry> &entries, int room) {
    int size = static_cast<int>(entries.size());
    if (room <= 0 || room >= size) return;
    float step = static_cast<float>(size) / static_cast<float>(size - room);
    float position = step;
    while (position < static_cast<float>(size)) {
        entries.erase(entries.begin() + static_cast<int>(std::floor(position)));
        --size;
        position = position - 1 + step;
    }
    while (size > room) {
        entries.erase(entries.begin() + size / 2);
        --size;
    }
}

uint16_t *copyOut(const std::vector<MappedEntry> &entries, bool pcs) {
    auto *out = static_cast<uint16_t *>(sMalloc(static_cast<int>(entries.size() * sizeof(uint16_t))));
    for (size_t i = 0; out != nullptr && i < entries.size(); ++i) {
        out[i] = pcs ? entries[i].startPc : static_cast<uint16_t>(entries[i].line);
    }
    return out;
}

}  // namespace

int32_t SMAPMapLine(const SMAP *smap, int outputLine, int32_t *fileID) {
    const SMAPLineSection *section = lineSection(smap);
    if (section == nullptr) return -1;
    int64_t line = static_cast<uint16_t>(outputLine);
    int32_t wanted = fileID != nullptr ? *fileID : -1;
    for (int32_t i = 0; i < section->count; ++i) {
        const SMAPLineEntry &e = section->entries[i];
        if (wanted != -1 && e.lineFileID != wanted) continue;
        int64_t start = e.outputStartLine;
        int64_t end = start + static_cast<int64_t>(e.repeatCount) * e.outputLineIncrement;
        if (line < start || line >= end) continue;  // an empty range when the increment is 0
        int64_t input = e.inputStartLine + (line - start) / e.outputLineIncrement;
        if (input > INT32_MAX) continue;
        if (fileID != nullptr) *fileID = e.lineFileID;
        return static_cast<int32_t>(input);
    }
    return -1;
}

void SMAPFileRange(const SMAP *smap, int32_t fileID, int32_t *first, int32_t *last) {
    int64_t lowest = -1;
    int64_t highest = -1;
    const SMAPLineSection *section = lineSection(smap);
    for (int32_t i = 0; section != nullptr && i < section->count; ++i) {
        const SMAPLineEntry &e = section->entries[i];
        // An entry repeated zero times maps no line: it would turn the range around.
        if (e.lineFileID != fileID || e.repeatCount <= 0) continue;
        int64_t end = static_cast<int64_t>(e.inputStartLine) + e.repeatCount - 1;
        if (lowest == -1 || e.inputStartLine < lowest) lowest = e.inputStartLine;
        if (highest == -1 || end > highest) highest = end;
    }
    *first = static_cast<int32_t>(lowest);
    *last = static_cast<int32_t>(std::min<int64_t>(highest, INT32_MAX));
}

int SMAPMapLineTable(const SMAP *smap, const JCRLineTable *table, uint16_t **startPcs, uint16_t **lines,
                     const char **sourceName, int room, int32_t *first, int32_t *last) {
    *startPcs = nullptr;
    *lines = nullptr;
    if (sourceName != nullptr) *sourceName = nullptr;
    if (lineSection(smap) == nullptr || table == nullptr || table->count == 0) return 0;

    std::vector<MappedEntry> sorted;
    for (int i = 0; i < table->count; ++i) sorted.push_back({table->entries[i].start_pc, table->entries[i].line_number});
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const MappedEntry &a, const MappedEntry &b) { return a.startPc < b.startPc; });

    // The method belongs to the file of its first line that maps.
    int32_t fileID = -1;
    for (const MappedEntry &e : sorted) {
        int32_t id = -1;
        if (SMAPMapLine(smap, e.line, &id) >= 0) {
            fileID = id;
            break;
        }
    }
    if (fileID == -1) return 0;

    int32_t lowest, highest;
    SMAPFileRange(smap, fileID, &lowest, &highest);
    if (first != nullptr) *first = lowest;
    if (last != nullptr) *last = highest;
    if (sourceName != nullptr) {
        const SMAPFileEntry *file = fileEntry(smap, fileID);
        if (file != nullptr) *sourceName = file->sourcePath != nullptr ? file->sourcePath : file->sourceName;
        else fprintf(stderr, "Zentrova Warning: non java source was not found for file id %d\n", fileID);
    }

    // Probes store 16-bit lines: a source line above that does not map.
    std::vector<MappedEntry> kept;
    bool oneLine = true;
    for (const MappedEntry &e : sorted) {
        int32_t id = fileID;
        int32_t line = SMAPMapLine(smap, e.line, &id);
        if (line < 0 || line > UINT16_MAX) continue;
        if (!kept.empty() && kept.front().line != line) oneLine = false;
        kept.push_back({e.startPc, line});
    }
    if (oneLine && kept.size() > 1) kept.erase(kept.begin() + 1, kept.end());
    thin(kept, room);
    if (kept.empty()) return 0;

    *startPcs = copyOut(kept, true);
    *lines = copyOut(kept, false);
    if (*startPcs == nullptr || *lines == nullptr) {
        sFree(*startPcs);
        sFree(*lines);
        *startPcs = *lines = nullptr;
        return 0;
    }
    return static_cast<int>(kept.size());
}
