// Private to the extension loader: how an item of the extension table gets
// its arguments, exposed for the tests.
#pragma once

struct SEElement;

// The extension table at path: its list of items, or null, after a message
// naming the file when it cannot be read or holds something else. opened
// (may be null) tells whether the file could be opened; when it could not,
// nothing is said.
SEElement *ZVReadExtensionTable(const char *path, bool *opened = nullptr);

// The item's "libraryName" when it is a map holding a string there, else null.
const char *ZVExtensionName(const SEElement *item);

// Merges the source map into the target map: keys the target lacks get a
// copy, maps merge recursively, any other value is replaced by a copy.
void ZVMergeArguments(SEElement *target, const SEElement *source);

// Readies an item of the table for loading: false when the exclusion set
// names it. Otherwise its "initArgs" receive the arguments tree's "__shared"
// map and then the library's own entry (moved there when the item has no
// "initArgs" of its own). Either set may be null.
bool ZVPrepareExtensionItem(SEElement *item, const SEElement *exclusion, SEElement *arguments);
