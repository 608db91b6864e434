// The canonical line table: one entry per start pc (the last of several),
// thinned evenly when there is room for fewer probes than lines, sorted by pc.
#include "classfile/classfile.h"
#include "pri/rewrite/instrument_internal.h"

namespace {

constexpr ZVWord kDropped = 0xFFFFFF;

ZVVector *scratch(ZVVector *&vector) {
    if (vector == nullptr) vector = ZVNewVector(128);
    else ZVRemoveAllElements(vector);
    return vector;
}

}  // namespace

int PRICanonicalLineTable(JCRClass *jclass, const JCRLineTable *table, uint16_t *lines, uint16_t *startPcs,
                          int maximum) {
    ZVVector *lineVector = scratch(jclass->line_numbers);
    ZVVector *pcVector = scratch(jclass->line_start_pcs);
    if (lineVector == nullptr || pcVector == nullptr || table == nullptr) return 0;
    for (int i = 0; i < table->count; ++i) {
        const JCRLineEntry &entry = table->entries[i];
        if (i + 1 < table->count && table->entries[i + 1].start_pc == entry.start_pc) continue;
        ZVAddElement(lineVector, entry.line_number);
        ZVAddElement(pcVector, entry.start_pc);
    }
    int n = ZVVectorSize(pcVector);
    if (maximum > 0 && maximum < n) {
        double step = static_cast<double>(n) / (n - maximum);
        for (double x = 0; x < n; x += step) {
            int drop = static_cast<int>(x + step / 2);
            if (drop < n) pcVector->data[drop] = kDropped;
        }
    }
    ZVSortVectors(pcVector, lineVector, nullptr, 1);
    while (n > 0 && ZVElementAt(pcVector, n - 1) == kDropped) --n;
    for (int i = 0; i < n; ++i) {
        lines[i] = static_cast<uint16_t>(ZVElementAt(lineVector, i));
        startPcs[i] = static_cast<uint16_t>(ZVElementAt(pcVector, i));
    }
    return n;
}
