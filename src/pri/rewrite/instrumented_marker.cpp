// The marker constant that tells a class was instrumented already, so that
// no instrumenting step treats it twice.
#include <cstdio>
#include <cstring>

#include "classfile/classfile.h"
#include "pri/filters/filters.h"

namespace {
constexpr char kMarkerPrefix[] = "__ZV_PRI_INSTR_";
constexpr size_t kMarkerPrefixLength = sizeof kMarkerPrefix - 1;  // 15
}  // namespace

int PRIIsMarkedInstrumented(const JCRClass *jclass) {
    if (jclass == nullptr || jclass->constant_pool == nullptr) return 0;
    for (int i = 1; i < jclass->constant_pool_count; i++) {
        const JCRConstant *constant = jclass->constant_pool[i];
        if (constant == nullptr) continue;
        if (constant->tag == JCR_CONSTANT_Utf8 && constant->length >= kMarkerPrefixLength &&
            memcmp(constant->text, kMarkerPrefix, kMarkerPrefixLength) == 0)
            return 1;
        // Long and Double take two slots.
        if (constant->tag == JCR_CONSTANT_Long || constant->tag == JCR_CONSTANT_Double) i++;
    }
    return 0;
}

void PRIMarkInstrumented(JCRClass *jclass) {
    if (jclass == nullptr) return;
    char marker[2048];
    snprintf(marker, sizeof marker, "%s%d", kMarkerPrefix, 1);
    JCRAddUtf8(jclass, marker);
}
