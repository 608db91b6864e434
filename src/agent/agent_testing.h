// Test-only access to the agent core: the process-wide state is reset so
// that each test starts from a freshly loaded library.
#pragma once

// Releases the agent's tables, buffers and records and restores every field
// of the agent state to its value before JVM_OnLoad.
void ZVResetAgentForTesting();
