// A handler table whose entries record what they receive, for tests.
#pragma once

#include <string>
#include <vector>

#include "agent/agent.h"

struct LoadedClass {
    std::string name;
    jint methodCount, staticCount, instanceCount;
};

struct Recorded {
    std::vector<std::string> calls;  // "entry" or "entry ENV_OR_ID" for the entries tests follow
    std::vector<LoadedClass> classes;
};

// The recorder the table reports to; cleared by makeRecordingTable.
Recorded &recorded();
// A table with every entry set; optional entries can be cleared afterwards.
ZVHandlerTable makeRecordingTable();
