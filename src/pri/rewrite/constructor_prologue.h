// Finding the call that initialises `this` in a constructor.
#pragma once

#include <vector>

#include "classfile/classfile.h"
#include "pri/rewrite/instrumented_frames.h"

struct JCRInsnList;

struct PRIConstructorPrologue {
    int callIndex = -1;  // the invokespecial of super() or this()
    int afterCall = 0;   // offset of the instruction after it
};

// True when the code up to the call is plain enough to follow: no stores,
// subroutines or switches, no branch past the call, no handler over it, and
// nothing but `this` and the arguments on the stack at the call.
bool PRIFindThisInitialization(const JCRClass *jclass, const JCRCode *code, const JCRInsnList *list,
                               const PRIMethodFrames &frames, PRIConstructorPrologue *prologue);
