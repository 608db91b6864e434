// Questions about method identifiers as call stacks carry them: markers,
// groups, their names and records, their classes and alternate sources;
// and the marker services of the services record.
#include "pri/runtime/runtime.h"
#include "pri/filters/class_tables.h"
#include "pri/runtime/context_runtime.h"
#include "pri/filters/filters.h"

namespace {

bool active() { return PRIState().initialized; }

// The marker of an identifier (or number) under the event's stack name.
int32_t convertedNumber(int32_t id, int32_t event, const char *tag) {
    return PRIConvertMarker(PRIMarkerNumberOf(static_cast<uint32_t>(id)), event, tag);
}

}  // namespace

int zviIsStackTraceMethodMarker(int32_t id) {
    auto bits = static_cast<uint32_t>(id);
    return active() && PRIIsMarkerID(bits) && bits != kPRIOverheadMarker ? 1 : 0;
}

int zviIsOverheadMarker(int32_t id, int32_t other) {
    auto bits = static_cast<uint32_t>(id);
    if (!active() || !PRIIsMarkerID(bits)) return 0;
    if (bits == kPRIOverheadMarker) return 1;
    return other < 0 ? 2 : 0;
}

int zviHasOverheadMarker(void) { return active() ? 1 : 0; }

int zviIsGroupID(int32_t id, int32_t event, const char **outName) {
    auto bits = static_cast<uint32_t>(id);
    if (!active() || ZVIsOrdinaryID(bits)) return 0;
    if (outName == nullptr) return 1;
    if (PRIIsMarkerID(bits)) {
        int32_t number = convertedNumber(id, event, "IsGroup");
        *outName = PRIMarkerDisplayName(number >= 0 ? number : PRIMarkerNumberOf(bits));
    } else {
        *outName = PRIFilterGroupName(static_cast<int32_t>(bits & ~ZV_ID_GROUP));
    }
    return 1;
}

int32_t zviConverMarkerLineToUniqueMethod(int32_t id, int32_t event) {
    if (!active()) return 0;
    int32_t number = convertedNumber(id, event, "UM");
    return number < 0 ? 0 : static_cast<int32_t>(static_cast<uint32_t>(number) | kPRIMarkerBits);
}

PRIMarkerRecord *zviGetMarkerDataForID(JNIEnv *, int32_t id) { return PRIMarkerDataForID(id); }

int32_t *zviCodeForSpecialMethodID(int32_t id, int32_t event) {
    if (!active() || !PRIIsMarkerID(static_cast<uint32_t>(id))) return nullptr;
    PRIMarkerRecord *record = PRIMarkerAt(convertedNumber(id, event, "SMID"));
    return record != nullptr ? &record->event : nullptr;
}

int32_t zviGetClassIDForMethodID(int32_t id) {
    return active() ? PRIClassIDOfMethod(static_cast<uint32_t>(id)) : 0;
}

const char *zviGetAlternateSourceForMethodID(int32_t id, ZVWord *outExtra) {
    if (!active()) {
        if (outExtra != nullptr) *outExtra = 0;
        return nullptr;
    }
    return PRIMethodSource(static_cast<uint32_t>(id), outExtra);
}

int PRIMarkerExists(const PRIMarkerKey *key) { return active() && PRIFindMarker(key, nullptr) ? 1 : 0; }

const char *PRIMarkerNameForNumber(int32_t markerNumber) {
    return active() ? PRIMarkerDisplayName(PRIMarkerNumberOf(static_cast<uint32_t>(markerNumber))) : nullptr;
}

void PRIRegisterStackName(int32_t event, const char *stackName) { PRISetMarkerStackName(event, stackName); }

// Marker numbers and identifiers alike: numbers never reach bit 30.
PRIMarkerRecord *PRIMarkerDataForID(int32_t id) {
    return active() ? PRIMarkerAt(PRIMarkerNumberOf(static_cast<uint32_t>(id))) : nullptr;
}
