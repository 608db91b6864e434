// The agent heap: one allocator shared by every subsystem and by extension
// libraries, so memory can cross the library boundary in either direction.
#pragma once

// sMalloc, sFree and sStrdup are declared with the extension interface.
#include "zvi.h"
