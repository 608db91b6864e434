// Markers: pseudo-method identifiers for stretches of execution that are not
// Java methods (waiting for a lock, the profiler's own overhead), named by a
// text and the stack name of the event they belong to.
#pragma once

#include <cstdint>

#include "support/containers.h"

// A marker's record; owned by the marker table, never freed. The text's
// first three words are a ZVWideString, so the text hashes and compares as one.
struct PRIMarkerRecord {
    uint16_t *text;
    uint32_t length;  // 16-bit units
    uint32_t hash;
    const char *stackName;  // null when the event had none
    int32_t event;
    uint32_t identifier;  // marker number | 0xC0000000
    ZVWord reserved;
    ZVWord last;  // 0 at creation
};

constexpr uint32_t kPRIMarkerBits = 0xC0000000u;
constexpr uint32_t kPRIOverheadMarker = kPRIMarkerBits;

// Creates the marker table, "stack names for markers", "namedMarkers" and
// marker 0, "Overhead". Once, from the runtime's initialisation.
void PRICreateMarkerTables();

// The marker number for the text under the stack name, made when new. The
// text is copied when copyText is true, else the new record shares it (it
// must then outlive the process, as marker texts do). -1 when memory is out.
int32_t PRIMarkerNumberFor(const uint16_t *text, uint32_t length, const char *stackName,
                           int32_t event, bool copyText);
// The record of a marker number, or null.
PRIMarkerRecord *PRIMarkerAt(int32_t number);
// The display name of a marker number, or null.
const char *PRIMarkerDisplayName(int32_t number);

// Stack names of events ("stack names for markers"), under the marker mutex.
// The name is copied.
void PRISetMarkerStackName(int32_t event, const char *stackName);
const char *PRIMarkerStackName(int32_t event);
