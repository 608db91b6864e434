// A handler table whose entries record what they receive, for tests.
#pragma once

#include <string>
#include <vector>

#include "agent/agent.h"

struct LoadedClass {
    std::string name;
    ZVWord key;
    std::string source;
    jint methodCount;
    std::vector<std::string> methods;  // "name signature"
    jint staticCount;
    jint instanceCount;
    jint interfaceCount;
};

struct Recorded {
    std::vector<std::string> calls;
    std::vector<LoadedClass> classes;
    jint countAnswer = 0;
};

// The recorder the table reports to; cleared by makeRecordingTable.
Recorded &recorded();
// A table with every entry set; optional entries can be cleared afterwards.
ZVHandlerTable makeRecordingTable();
