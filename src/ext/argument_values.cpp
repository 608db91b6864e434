// An extension's arguments as it reads them through the interface: the keys
// of its initArgs map and each value as text, without the element layout.
#include <string>

#include "support/elements.h"
#include "support/heap.h"
#include "zvi.h"

namespace {

bool isMap(const SEElement *args) { return args != nullptr && args->type == SE_MAP; }

}  // namespace

int32_t zviGetArgumentCount(const SEElement *args) {
    if (!isMap(args)) return -1;
    int32_t count = 0;
    for (ZVHashIterator *at = SEMapIterate(args); (at = ZVHashNext(at)) != nullptr;) ++count;
    return count;
}

const char *zviGetArgumentKey(const SEElement *args, int32_t index) {
    if (!isMap(args) || index < 0) return nullptr;
    ZVHashIterator *at = SEMapIterate(args);
    while ((at = ZVHashNext(at)) != nullptr) {
        if (index-- == 0) {
            auto key = reinterpret_cast<const char *>(at->key);
            sFree(at);
            return key;
        }
    }
    return nullptr;
}

char *zviGetArgumentText(const SEElement *args, const char *key, int32_t *outKind) {
    const SEElement *value = isMap(args) && key != nullptr ? SEMapGet(args, key) : nullptr;
    int32_t kind = value == nullptr              ? ZV_ARGUMENT_MISSING
                   : value->type == SE_STRING    ? ZV_ARGUMENT_TEXT
                   : value->type == SE_INT32     ? ZV_ARGUMENT_NUMBER
                                                 : ZV_ARGUMENT_OTHER;
    if (outKind != nullptr) *outKind = kind;
    if (kind == ZV_ARGUMENT_TEXT) return sStrdup(SEGetString(value));
    if (kind == ZV_ARGUMENT_NUMBER) return sStrdup(std::to_string(SEGetInt32(value)).c_str());
    return nullptr;
}
