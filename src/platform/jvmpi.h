// The JVM profiler interface (JVMPI) as the agent uses it: the interface
// record, the event record, event numbers, thread-status bits and dump codes.
// The layout follows the classic interface; pointers are pointer-sized.
#pragma once

// The definitions are part of the extension interface.
#include "zvi.h"
