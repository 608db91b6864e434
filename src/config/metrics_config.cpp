// The metric settings of the XML file: one entry per enabled "metric" element.
#include <libxml/tree.h>

#include <strings.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "config/config_internal.h"
#include "support/heap.h"
#include "support/text.h"

namespace {

constexpr const char *kMetrics = "/zentrova-configuration/%s/metrics";

int32_t BufferSizeTypeOf(const char *text, const char *documentName) {
    if (text == nullptr) return -1;
    if (strcmp(text, "time") == 0) return 1;
    if (strcmp(text, "memory") == 0) return 2;
    fprintf(stderr, "%s: warning, unknown buffer type '%s' (ignored)\n", documentName, text);
    return 0;
}

// A time span or memory size of the metric; absent: -1; malformed: -1 after
// a message naming the metric and the attribute.
int32_t MetricValue(const char *name, const char *attribute, const char *text, bool timeSpan) {
    if (text == nullptr) return -1;
    int32_t value = timeSpan ? ParseTimeSpan(text) : ParseMemorySize(text);
    if (value != -1) return value;
    std::string what = std::string("metric ") + name + " " + attribute;
    if (timeSpan) ReportBadTimeSpan(what.c_str(), text);
    else ReportRefusedValue("Invalid value for %s: '%s' (expected a memory size such as 512k or 2M)\n",
                            what.c_str(), text);
    return -1;
}

ZVMetricSetting *ReadSetting(xmlNodePtr metric, const char *documentName) {
    char *name = NodeAttribute(metric, "name");
    if (name == nullptr) {
        fprintf(stderr, "%s: error, invalid metric with no name (ignored)\n", documentName);
        return nullptr;
    }
    char *enabled = NodeAttribute(metric, "enabled");
    bool disabled = enabled != nullptr && strcasecmp(enabled, "false") == 0;
    sFree(enabled);
    if (disabled) {
        sFree(name);
        return nullptr;
    }
    auto *setting = static_cast<ZVMetricSetting *>(sMalloc(sizeof(ZVMetricSetting)));
    if (setting == nullptr) {
        sFree(name);
        return nullptr;
    }
    char *type = NodeAttribute(metric, "bufferSizeType");
    char *size = NodeAttribute(metric, "bufferSize");
    char *period = NodeAttribute(metric, "period");
    setting->name = name;
    setting->bufferSizeType = BufferSizeTypeOf(type, documentName);
    setting->bufferSize = MetricValue(name, "bufferSize", size, setting->bufferSizeType == 1);
    setting->period = MetricValue(name, "period", period, true);
    sFree(type);
    sFree(size);
    sFree(period);
    return setting;
}

}  // namespace

ZVVector *ReadMetricsConfiguration(const ConfigSource *source, int tool) {
    auto metrics = static_cast<xmlNodePtr>(FindToolNode(source, kMetrics, tool));
    if (metrics == nullptr) return nullptr;
    auto document = static_cast<xmlDocPtr>(source->mapOrDocument);
    const char *documentName = document->URL ? reinterpret_cast<const char *>(document->URL) : "";
    ZVVector *settings = nullptr;
    for (xmlNodePtr child = metrics->children; child != nullptr; child = child->next) {
        if (child->type != XML_ELEMENT_NODE ||
            strcmp(reinterpret_cast<const char *>(child->name), "metric") != 0)
            continue;
        ZVMetricSetting *setting = ReadSetting(child, documentName);
        if (setting == nullptr) continue;
        if (settings == nullptr) settings = ZVNewVector(10);
        ZVAddElement(settings, reinterpret_cast<ZVWord>(setting));
    }
    return settings;
}

void FreeMetricsConfiguration(ZVVector *settings) {
    if (settings == nullptr) return;
    for (int i = 0; i < ZVVectorSize(settings); i++) {
        auto *setting = reinterpret_cast<ZVMetricSetting *>(ZVElementAt(settings, i));
        sFree(setting->name);
        sFree(setting);
    }
    ZVFreeVector(settings);
}
