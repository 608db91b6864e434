// The instrumentation settings that the runtime stores at initialisation for
// method instrumentation to read. Written once, before any class is loaded,
// and read without locks afterwards.
#pragma once

struct PRIRuntimeSettings {
    int instrumentLines = 0;
    int debugInstrumentation = 0;
    const char *debugClassInstrumentation = nullptr;   // null: unset
    const char *debugMethodInstrumentation = nullptr;  // null: unset
    int vmFlavour = 0;  // the agent core's VM flavour code (5: JRockit)
};

const PRIRuntimeSettings &PRISettings();
// Tests and tools set them directly (the agent sets them in PRIInitialize).
void PRISetSettings(const PRIRuntimeSettings &settings);
