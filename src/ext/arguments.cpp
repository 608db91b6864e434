// The arguments an extension receives: the table item's own "initArgs",
// overridden by the shared defaults of the options and then by the options'
// arguments for that library.
#include <cstdio>
#include <utility>
#include <vector>

#include "ext/extension_table.h"
#include "support/elements.h"

namespace {

constexpr const char *kInitArgs = "initArgs";

}  // namespace

const char *ZVExtensionName(const SEElement *item) {
    if (item == nullptr || item->type != SE_MAP) return nullptr;
    const SEElement *name = SEMapGet(item, "libraryName");
    return name != nullptr && name->type == SE_STRING ? SEGetString(name) : nullptr;
}

void ZVMergeArguments(SEElement *target, const SEElement *source) {
    if (target == nullptr || target->type != SE_MAP || source == nullptr || source->type != SE_MAP) return;
    // The entries are taken first: a lookup in the source moves the entry it
    // finds to the front of its chain, which would derail a running iteration.
    std::vector<std::pair<const char *, const SEElement *>> entries;
    ZVHashIterator *it = SEMapIterate(source);
    while ((it = ZVHashNext(it)) != nullptr)
        entries.emplace_back(reinterpret_cast<const char *>(it->key), reinterpret_cast<const SEElement *>(it->value));
    for (auto [key, value] : entries) {
        // An older entry shadowed by a newer one of the same key is not a value.
        if (SEMapGet(source, key) != value) continue;
        SEElement *old = SEMapGet(target, key);
        if (old != nullptr && old->type == SE_MAP) {
            ZVMergeArguments(old, value);
            continue;
        }
        SEElement *copy = SECopy(value);
        if (copy == nullptr) continue;
        if (old != nullptr) {
            SEMapRemove(target, key);
            SEFree(old);
        }
        SEMapPut(target, key, copy);
    }
}

bool ZVPrepareExtensionItem(SEElement *item, const SEElement *exclusion, SEElement *arguments) {
    const char *name = ZVExtensionName(item);
    if (name != nullptr && exclusion != nullptr && SEMapGet(exclusion, name) != nullptr) return false;
    // Only a map can carry initArgs; anything else is refused when it is added.
    if (arguments == nullptr || item == nullptr || item->type != SE_MAP) return true;
    SEElement *own = name != nullptr ? SEMapGet(arguments, name) : nullptr;
    const SEElement *shared = SEMapGet(arguments, "__shared");
    SEElement *initArgs = SEMapGet(item, kInitArgs);
    if (initArgs != nullptr && initArgs->type != SE_MAP) {
        if (shared != nullptr || own != nullptr) {
            fprintf(stderr, "Zentrova Error: the initArgs of the extension <%s> are not a map; "
                    "the options' arguments are not given to it\n", name != nullptr ? name : "");
        }
        return true;
    }
    if (shared != nullptr) {
        if (initArgs == nullptr) {
            initArgs = SENewMap(5, kInitArgs);
            if (initArgs == nullptr) return true;
            SEMapPut(item, kInitArgs, initArgs);
        }
        ZVMergeArguments(initArgs, shared);
    }
    if (own == nullptr || own == shared) return true;
    if (initArgs == nullptr) {
        SEMapRemove(arguments, name);
        SEMapPut(item, kInitArgs, own);
    } else {
        ZVMergeArguments(initArgs, own);
    }
    return true;
}
