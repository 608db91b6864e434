// The pieces of method instrumentation: the constant-pool references to the
// context class that inserted code uses, one method's rewrite, and the
// canonical line table that decides where line probes go.
#pragma once

#include <cstdint>

#include "classfile/stackmap.h"
#include "pri/rewrite/instrumented_frames.h"

struct JCRClass;
struct JCRMember;
struct JCRLineTable;
struct JCRInsnList;
struct SMAP;

// Constant-pool indexes of the context members, shared by the methods of one
// class; -1 until added.
enum PRIContextRef {
    PRI_REF_DID_ENTER = 0,  // didEnterMethod, or didEnterMethodPreInit before the bootstrap
    PRI_REF_WILL_EXIT = 1,
    PRI_REF_ENTER_EXIT_QUICK = 2,
    PRI_REF_CALL_STACK = 3,
    PRI_REF_STACK_POINTER = 4,
    PRI_REF_GET_CONTEXT_FAST = 5,
    PRI_REF_EXIT_FRAME = 6,    // the catch-all's exit, back to the method's own frame
    PRI_REF_RESUME_FRAME = 7,  // a handler's start, back to the method's own frame
    PRI_REF_COUNT = 8,
};

struct PRIContextRefs {
    int32_t index[PRI_REF_COUNT];
    JCRClassIndex classes;    // for the frames of the class's methods
    PRIInsertedTypes types;   // those named so far (PRIMethodFrames::nameTypes)
};

// The bit of a reference in the wanted mask of PRIAddContextRefs.
constexpr uint32_t PRIRefBit(PRIContextRef ref) { return 1u << ref; }
// Finds or adds the wanted references (PRIRefBit of each) still missing.
// Only what a method's inserted code uses is asked for: every constant added
// is one more that the VM merges and resolves at each load of the class.
void PRIAddContextRefs(JCRClass *jclass, PRIContextRefs *refs, uint32_t wanted);

// 1 when the method was rewritten. firstLine and lastLine receive the
// method's lines from its line table (they stay as given without one). With
// a source map (smap not null) the lines are the mapped source lines and
// *source (when source is not null) the source file the method's lines map
// to, pointing into the map; it stays null when they map to none. With
// lateConstructorEntry, for callers that may be left uninstrumented, a
// constructor's frame is pushed once its super() or this() call has returned
// (an exception from that call would otherwise leave it open).
int PRIInstrumentMethod(JCRClass *jclass, JCRMember *method, int debug, uint32_t methodID,
                        PRIContextRefs *refs, int32_t *firstLine, int32_t *lastLine,
                        const SMAP *smap = nullptr, const char **source = nullptr,
                        bool lateConstructorEntry = false);

bool PRIIsSimpleMethod(const JCRInsnList *list);

// The line table reduced to one entry per start pc, thinned evenly to at most
// maximum entries (when maximum > 0), sorted by pc, into lines and startPcs
// (each with room for table->count entries); returns the count.
int PRICanonicalLineTable(JCRClass *jclass, const JCRLineTable *table, uint16_t *lines, uint16_t *startPcs,
                          int maximum);
