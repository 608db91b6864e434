// Markers: pseudo-method identifiers for stretches of execution that are not
// Java methods (waiting for a lock, the profiler's own overhead), named by a
// text and the stack name of the event they belong to.
#pragma once

#include <cstdint>

#include "support/containers.h"
#include "zvi.h"

// PRIMarkerRecord and PRIMarkerKey are records of the extension interface.

constexpr uint32_t kPRIMarkerBits = ZV_ID_KIND_MASK;
constexpr uint32_t kPRIOverheadMarker = ZV_ID_OVERHEAD_MARKER;
// Display names, NUL included, never take more bytes than this.
constexpr int kPRIMarkerNameBytes = 256;

inline bool PRIIsMarkerID(uint32_t id) { return ZVIsMarkerID(id) != 0; }
inline bool PRIIsGroupMethodID(uint32_t id) { return ZVIsGroupMethodID(id) != 0; }
inline int32_t PRIMarkerNumberOf(uint32_t id) { return ZVIDKindNumber(id); }

// Creates the marker table, "stack names for markers", "namedMarkers" and
// marker 0, "Overhead". Once, from the runtime's initialisation.
void PRICreateMarkerTables();
bool PRIMarkerTablesExist();

// The marker number for the text under the stack name, made when new. The
// text is copied when copyText is true, else the new record shares it (it
// must then outlive the process, as marker texts do). -1 when memory is out.
int32_t PRIMarkerNumberFor(const uint16_t *text, uint32_t length, const char *stackName,
                           int32_t event, bool copyText);
// Whether "namedMarkers" knows the key; its number through outNumber.
bool PRIFindMarker(const PRIMarkerKey *key, int32_t *outNumber);
// The record of a marker number, or null.
PRIMarkerRecord *PRIMarkerAt(int32_t number);
// The display name of a marker number ("{k=..." or "Overhead"), or null.
const char *PRIMarkerDisplayName(int32_t number);

// The display name a marker of this text under this stack name gets, in a
// buffer of kPRIMarkerNameBytes bytes (without the two leading characters
// that the kept name drops).
void PRIFormatMarkerName(const uint16_t *text, uint32_t length, const char *stackName,
                         char *buffer);

// The marker with the same text under the stack name of another event; the
// number itself when the event is 0 or the marker's own. A missing stack
// name is reported with the caller's tag ("UM", "cM", ...) and the marker is
// made without one. -1 for an unknown marker or when memory is out.
int32_t PRIConvertMarker(int32_t number, int32_t event, const char *tag);

// Stack names of events ("stack names for markers"), under the marker mutex.
// The name is copied; the first name of an event stays, so that markers can
// compare stack names by pointer.
void PRISetMarkerStackName(int32_t event, const char *stackName);
const char *PRIMarkerStackName(int32_t event);
// The same, writing "<tag>: Could not find a stack name for event 0x%x\n" to
// standard error when the event has none.
const char *PRIMarkerStackNameOrSay(int32_t event, const char *tag);
