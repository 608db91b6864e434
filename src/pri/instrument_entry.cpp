// Entry points of method instrumentation as the agent core calls them.
// Minimal stand-ins until method instrumentation fills them in: no class is
// changed, no method records are made, and the class-key table stays empty.
#include "pri/instrument.h"

int PRIInstrumentClass(JCRClass *, JNIEnv *, int) { return 0; }
int PRIHasInstrumentedMethods(void) { return 0; }

JVMPI_Method *PRIMatchLoadedClass(const char *, JNIEnv *, int, const JVMPI_Method *,
                                  int32_t *outClassID) {
    if (outClassID != nullptr) *outClassID = 0;
    return nullptr;
}

int PRIIsContextClassKey(ZVWord) { return 0; }
void PRIClassKeyPut(ZVWord, int32_t) {}
void PRIClassKeyMove(ZVWord, ZVWord) {}
int32_t PRIClassKeyGet(ZVWord) { return 0; }
void PRIClassKeyRemove(ZVWord) {}
