// Fuzzes extensions.table: reading the table and readying each item's
// arguments from an exclusion set and the options' arguments, as start-up
// does before it loads the libraries (which are not loaded here).
#include <cstdint>
#include <cstdlib>

#include "ext/extension_table.h"
#include "scratch_file.h"
#include "support/elements.h"

namespace {

SEElement *Parse(const char *text) {
    SEReader *reader = SEReaderFromString(text, -1);
    SEElement *element = SERead(reader);
    SEReaderFree(reader);
    if (element == nullptr) std::abort();
    return element;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 1 << 20) return 0;
    const std::string &path = zvfuzz::ScratchPath("fuzz_extension_table");
    if (!zvfuzz::WriteScratch(path, data, size)) return 0;
    SEElement *table = ZVReadExtensionTable(path.c_str());
    if (table == nullptr) return 0;
    if (table->type != SE_LIST) std::abort();
    SEElement *exclusion = Parse("{skipped=1}");
    SEElement *arguments = Parse("{__shared={mode=fast,deep={a=1}},memory={limit=5,deep={b=2}},cpu=7}");
    for (int i = 0; i < SEListSize(table); i++) {
        SEElement *item = SEListGet(table, i);
        ZVExtensionName(item);
        ZVPrepareExtensionItem(item, exclusion, arguments);
    }
    SEFree(arguments);
    SEFree(exclusion);
    SEFree(table);
    return 0;
}
