// Fuzz target of class instrumentation: whatever class parses is
// instrumented (frames, constructors, line probes and all), and what comes
// out must parse again and keep its stack maps readable.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "classfile/classfile.h"
#include "classfile/stackmap.h"
#include "pri/filters/class_tables.h"
#include "pri/rewrite/instrument.h"
#include "support/heap.h"

namespace {

// Every StackMapTable of the result decodes.
void CheckFrames(JCRClass *jclass) {
    JCRClassIndex classes;
    for (int m = 0; m < jclass->methods_count; m++) {
        JCRMember *method = jclass->methods[m];
        JCRCode *code = JCRParseCode(jclass, JCRFindMemberAttribute(jclass, method, "Code"));
        if (code == nullptr) continue;
        JCRFrame initial;
        bool known = JCRInitialFrame(jclass, method, classes, &initial);
        for (int a = 0; known && a < code->attributes_count; a++) {
            const char *name = JCRUtf8At(jclass, code->attributes[a]->name_index);
            std::vector<JCRFrame> frames;
            if (name != nullptr && std::strcmp(name, "StackMapTable") == 0) {
                JCRDecodeStackMap(code->attributes[a], initial, &frames);  // the input's own may be bad
            }
        }
        JCRFreeCode(code);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 1 << 20 || size < 1) return 0;
    static bool ready = [] {
        PRICreateClassTables();
        return true;
    }();
    (void)ready;
    PRIRuntimeSettings settings;
    settings.instrumentLines = data[size - 1] & 1;
    PRISetSettings(settings);
    JCRClass *jclass = JCRParseClass(data, static_cast<int>(size));
    if (jclass == nullptr) return 0;
    PRIInstrumentClass(jclass, nullptr, 0);
    int length = 0;
    uint8_t *written = JCRWriteClass(jclass, &length);
    if (written == nullptr) std::abort();
    JCRClass *again = JCRParseClass(written, length);
    if (again == nullptr) std::abort();
    CheckFrames(again);
    JCRFreeClass(again);
    sFree(written);
    JCRFreeClass(jclass);
    PRIFreeClassTables(PRIInstallClassTables(PRINewClassTables()));
    return 0;
}
