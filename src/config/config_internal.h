// Helpers shared by the configuration sources: reading single values from
// the argument map and from the XML document.
#pragma once

#include <cstddef>
#include <cstdint>

#include "config/config.h"

// ----------------------------------------------------------- argument map

inline bool IsArgumentSource(const ConfigSource *source) {
    return source != nullptr && source->kind == CONFIG_SOURCE_ARGUMENTS;
}
inline bool IsXmlSource(const ConfigSource *source) {
    return source != nullptr && source->kind == CONFIG_SOURCE_XML;
}

// The value of a key of the argument map, or null.
const SEElement *ArgumentValue(const ConfigSource *source, const char *key);
// Absent: the default; an integer or a string: its truth; another type:
// "Invalid type for NAME (TYPE)" and 0.
int32_t ArgumentBoolean(const ConfigSource *source, const char *key, const char *name,
                        int32_t defaultValue);
// A copy of a string value; absent or not a string: the default. With
// ignoreEmpty an empty string also gives the default.
char *ArgumentString(const ConfigSource *source, const char *key, char *defaultValue,
                     bool ignoreEmpty);

// ----------------------------------------------------------- XML document

// The first node selected by a path template whose %s is the tool's name.
void *FindToolNode(const ConfigSource *source, const char *pathTemplate, int tool);
// A heap copy (sStrdup) of an attribute of the node, or null when absent.
char *NodeAttribute(void *node, const char *attribute);
// A heap copy of the attribute of the node that the path template selects.
char *XmlAttribute(const ConfigSource *source, const char *pathTemplate, int tool,
                   const char *attribute);

// Present and beginning with 't' or 'T': 1; present otherwise: 0; absent: the default.
int32_t XmlBoolean(const ConfigSource *source, const char *pathTemplate, int tool,
                   const char *attribute, int32_t defaultValue);
// A whole number from low to high; absent: the default; otherwise the message
// of ReportBadNumber under `name` and the default.
int32_t XmlInteger(const ConfigSource *source, const char *pathTemplate, int tool,
                   const char *attribute, const char *name, int32_t low, int32_t high,
                   int32_t defaultValue);
// Seconds; absent: the default; unparsable: the message of ReportBadTimeSpan
// under `name` and the default.
int32_t XmlTimeSpan(const ConfigSource *source, const char *pathTemplate, int tool,
                    const char *attribute, const char *name, int32_t defaultValue);
// A relative path of the document, taken over, made relative to the folder
// of the file it came from, so that a configuration works from any directory.
char *XmlPathBesideDocument(const ConfigSource *source, char *path);
// A heap copy; absent: the default. With emptyIsNull an empty text gives null.
char *XmlString(const ConfigSource *source, const char *pathTemplate, int tool,
                const char *attribute, char *defaultValue, bool emptyIsNull);
// The keyword's index in `words` compared without regard to case, mapped
// through `values`; absent or unknown: the default.
int32_t XmlKeyword(const ConfigSource *source, const char *pathTemplate, int tool,
                   const char *attribute, const char *const *words, const int32_t *values,
                   int count, int32_t defaultValue);

bool IsTrueText(const char *text);

// ----------------------------------------------------------- checked values

constexpr int32_t kLowestPort = 1;
constexpr int32_t kHighestPort = 65535;

// The first `length` bytes of text as a decimal whole number (a leading '-'
// allowed) from low to high; false for anything else, out-of-range included.
bool ParseWholeNumber(const char *text, size_t length, int32_t low, int32_t high, int32_t *value);
// "Invalid value for NAME: 'TEXT' (expected a whole number from LOW to HIGH)".
void ReportBadNumber(const char *name, const char *text, int32_t low, int32_t high);
// "Invalid value for NAME: 'TEXT' (expected a time span such as 90s or 1h30m)".
void ReportBadTimeSpan(const char *name, const char *text);
// The text as a whole number from low to high, or the default after ReportBadNumber.
int32_t CheckedNumber(const char *name, const char *text, int32_t low, int32_t high,
                      int32_t defaultValue);
// Prints a message about a refused option value to standard error and counts it;
// LoadOptions fails when the count grew while it read.
void ReportRefusedValue(const char *format, ...) __attribute__((format(printf, 1, 2)));
int RefusedValueCount();

// Reports a document whose root is not "zentrova-configuration" or that has
// no element for the tool: all or most of its options then take their defaults.
void CheckXmlLayout(const ConfigSource *source, int tool);

// Extension maps of the XML "components" element.
SEElement *XmlExtensionExclusion(const ConfigSource *source, int tool);
SEElement *XmlExtensionArgs(const ConfigSource *source, int tool);
// Extension maps of the "E..." argument keys.
SEElement *ArgumentExtensionExclusion(const ConfigSource *source);
SEElement *ArgumentExtensionArgs(const ConfigSource *source);
