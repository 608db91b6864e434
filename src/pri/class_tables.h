// The instrumentation's class and method tables (stand-in until method
// instrumentation fills them).
#pragma once

void PRICreateClassTables();
