// Fuzzes the SMAP parser (a class's SourceDebugExtension text) and the line
// translations that read what it parsed: every answer must be a line the
// resolved stratum holds, and a translated line table stays sorted.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "classfile/classfile.h"
#include "smap/smap.h"
#include "support/heap.h"

namespace {

// A line table of a made-up method: output lines 1..count at pcs 0, 4, 8...
void CheckLineTable(const SMAP *smap, int count) {
    JCRLineEntry entries[16];
    for (int i = 0; i < count; i++) entries[i] = {static_cast<uint16_t>(4 * i), static_cast<uint16_t>(i + 1)};
    JCRLineTable table{0, static_cast<uint16_t>(2 + 4 * count), static_cast<uint16_t>(count), entries};
    uint16_t *pcs = nullptr, *lines = nullptr;
    const char *source = nullptr;
    int32_t first = 0, last = 0;
    int mapped = SMAPMapLineTable(smap, &table, &pcs, &lines, &source, count / 2, &first, &last);
    if (mapped < 0 || mapped > count || (mapped > 0 && (pcs == nullptr || lines == nullptr))) std::abort();
    for (int i = 1; i < mapped; i++) {
        if (pcs[i - 1] > pcs[i]) std::abort();
    }
    sFree(pcs);
    sFree(lines);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 1 << 16) return 0;
    SMAP *smap = SMAPParse(data, static_cast<int>(size), 0);
    if (smap == nullptr) return 0;
    if (smap->resolved == nullptr) std::abort();
    for (int line = 0; line < 40; line++) {
        int32_t any = -1;
        SMAPMapLine(smap, line, &any);
        int32_t file = 1;
        SMAPMapLine(smap, line, &file);
        int32_t first = 0, last = 0;
        SMAPFileRange(smap, line % 4, &first, &last);
        if ((first == -1) != (last == -1) || first > last) std::abort();
    }
    CheckLineTable(smap, 1);
    CheckLineTable(smap, 16);
    SMAPFree(smap);
    return 0;
}
