// Private helpers of the bytecode editor: allocation and growth of the
// instruction array of a list.
#pragma once

#include "classfile/bytecode.h"

namespace jcr {

// An empty list with room for capacity instructions, or null.
JCRInsnList *newInsnList(int capacity);
// Makes room for extra more instructions: while count + extra reaches the
// capacity, the capacity becomes extra + 2 x capacity + 8. False when memory
// runs out (the list is unchanged).
bool reserveInsns(JCRInsnList *list, int extra);

}  // namespace jcr
