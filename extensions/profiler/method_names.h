// Names of the agent's method identifiers, learnt from class-load events,
// and of group and marker frames, as the reports show them.
#pragma once

#include <cstdint>
#include <string>

namespace profiler {

// Remembers a loaded class's name and source file (its package's path and
// the SourceFile name) if known; returns the number its methods are
// remembered with.
uint32_t RememberClass(const std::string &className, const char *sourceName);
// Remembers "Class.method" for an identifier of the class RememberClass numbered.
void RememberMethod(int32_t id, uint32_t classIndex, const char *methodName);
// The name for a sampled frame's identifier: the method, "[group]", "[marker text]" or "method#ID".
std::string FrameName(int32_t id);
// The method of this number (an identifier without its filter flags, the index of the call counts), or "".
std::string MethodForIndex(int32_t index);
// The source file of the identifier's class, "org/example/Main.java", or "".
std::string SourceFileOf(int32_t id);

}  // namespace profiler
