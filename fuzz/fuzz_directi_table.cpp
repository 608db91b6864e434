// Fuzzes directi.table: reading the table and matching its VM descriptions
// against a few running VMs, as the start-up decision does.
#include <cstdint>
#include <cstdlib>

#include "pri/runtime/direct.h"
#include "scratch_file.h"
#include "support/elements.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 1 << 20) return 0;
    const std::string &path = zvfuzz::ScratchPath("fuzz_directi_table");
    if (!zvfuzz::WriteScratch(path, data, size)) return 0;
    SEElement *table = PRIDirectIReadTable(path.c_str());
    if (table == nullptr) return 0;
    if (table->type != SE_MAP) std::abort();
    static const PRIVMProperties kVMs[] = {
        {"Eclipse Adoptium", "17.0.9", "OpenJDK 64-Bit Server VM"},
        {"Oracle Corporation", "25", "Java HotSpot(TM) 64-Bit Server VM"},
        {"", "", ""},
        {"Unknown", "Unknown", "Unknown"},
    };
    for (const PRIVMProperties &vm : kVMs) {
        for (const char *key : {"enabledFor", "disabledFor", "multiParamDisabledFor"}) {
            int matches = PRIDirectIListMatches(table, key, vm);
            if (matches != 0 && matches != 1) std::abort();
        }
    }
    SEFree(table);
    return 0;
}
