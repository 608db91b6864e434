// Reading single option values from the argument map of old-style arguments.
#include <cstdio>

#include "config/config_internal.h"
#include "support/heap.h"

const SEElement *ArgumentValue(const ConfigSource *source, const char *key) {
    if (!IsArgumentSource(source)) return nullptr;
    return SEMapGet(static_cast<const SEElement *>(source->mapOrDocument), key);
}

int32_t ArgumentBoolean(const ConfigSource *source, const char *key, const char *name,
                        int32_t defaultValue) {
    const SEElement *value = ArgumentValue(source, key);
    if (value == nullptr) return defaultValue;
    if (value->type == SE_INT32 || value->type == SE_STRING) return SEGetBoolean(value);
    ReportRefusedValue("Invalid type for %s (%d)\n", name, value->type);
    return 0;
}

char *ArgumentString(const ConfigSource *source, const char *key, char *defaultValue,
                     bool ignoreEmpty) {
    const SEElement *value = ArgumentValue(source, key);
    if (value == nullptr || value->type != SE_STRING) return defaultValue;
    const char *text = SEGetString(value);
    if (ignoreEmpty && text[0] == '\0') return defaultValue;
    return sStrdup(text);
}
