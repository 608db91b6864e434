// Which classes and methods are instrumented, with which method ids, and the
// registration that lets the VM's class-load event find those ids again.
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "classfile/bytecode.h"
#include "classfile/classfile.h"
#include "pri/filters/class_tables.h"
#include "pri/filters/filters.h"
#include "pri/rewrite/instrument.h"
#include "pri/rewrite/instrument_internal.h"
#include "pri/runtime/runtime.h"
#include "smap/smap.h"

namespace {

constexpr uint16_t kInterface = 0x0200;

std::atomic<bool> gSomeClassInstrumented{false};
// zviInstrumentOnly's test; null: every method is wanted.
std::atomic<ZVMethodWanted> gWanted{nullptr};

// "java/util/HashMap" -> "java.util.HashMap", as zviInstrumentOnly's test names classes.
std::string dottedName(const char *className) {
    std::string dotted(className);
    for (char &c : dotted)
        if (c == '/') c = '.';
    return dotted;
}

// Whether zviInstrumentOnly's test wants at least one method of the class;
// true when no test is set.
bool someMethodWanted(const JCRClass *jclass, const char *className, ZVMethodWanted wanted) {
    if (wanted == nullptr) return true;
    std::string dotted = dottedName(className);
    for (int m = 0; m < jclass->methods_count; ++m) {
        const JCRMember *method = jclass->methods[m];
        const char *name = JCRUtf8At(jclass, method->name_index);
        const char *descriptor = JCRUtf8At(jclass, method->descriptor_index);
        if (name != nullptr && descriptor != nullptr && wanted(dotted.c_str(), name, descriptor, method->access_flags))
            return true;
    }
    return false;
}

// The agent's own classes and a few that must never run instrumented code.
bool excluded(const char *name) {
    static const char *const prefixes[] = {"meridyn/", "netscape/util", "netscape/application/"};
    if (strcmp(name, "java/lang/LinkageError") == 0) return true;
    for (const char *prefix : prefixes)
        if (strncmp(name, prefix, strlen(prefix)) == 0) return true;
    return false;
}

bool unsetOrAll(const char *setting) { return setting == nullptr || strcmp(setting, "*") == 0; }

// Whether the method's instrumentation is traced, printing the progress line.
bool traceMethod(const char *className, const char *methodName) {
    const PRIRuntimeSettings &s = PRISettings();
    if (!s.debugInstrumentation) return false;
    const char *wantedClass = s.debugClassInstrumentation;
    const char *wantedMethod = s.debugMethodInstrumentation;
    bool traced = !(wantedClass == nullptr && wantedMethod == nullptr) &&
                  (unsetOrAll(wantedClass) || strcmp(wantedClass, className) == 0) &&
                  (unsetOrAll(wantedMethod) || strcmp(wantedMethod, methodName) == 0);
    if (traced) {
        printf("\t%s\n", methodName);
        printf("Instrumenting %s.%s\n", className, methodName);
    } else {
        printf("\tInstrumenting %s . %s\n", className, methodName);
    }
    return traced;
}

// Classes from other languages keep one id per method: a group would mix
// methods of different source files.
uint32_t methodIDFor(const char *className, const char *name, const char *descriptor, int access, bool mapped) {
    int group = mapped ? -1 : PRIFilterGroupOf(className, name, descriptor, access);
    uint32_t id = group != -1 ? static_cast<uint32_t>(group) | PRI_FILTER_GROUP : PRINewMethodID();
    if (PRIFilterIgnoresCPU(className, name, descriptor, access)) id |= PRI_FILTER_IGNORE_CPU;
    if (PRIFilterIgnoresMemory(className, name, descriptor, access)) id |= PRI_FILTER_IGNORE_MEMORY;
    return id;
}

// HotSpot registers a finalizer for every instance of a class whose
// finalize()V is anything but a bare return: a probe there would make a class
// finalizable that was not, and its allocations many times slower.
bool isEmptyFinalizer(const JCRClass *jclass, const JCRMember *method, const char *name, const char *descriptor) {
    if (strcmp(name, "finalize") != 0 || strcmp(descriptor, "()V") != 0) return false;
    const JCRAttribute *attribute = JCRFindMemberAttribute(jclass, method, "Code");
    JCRCode *code = attribute != nullptr ? JCRParseCode(jclass, attribute) : nullptr;
    bool empty = code != nullptr && code->code_length == 1 && code->code[0] == JCR_OP_RETURN;
    JCRFreeCode(code);
    return empty;
}

// The class's source map, when it has one and mapping is on. One that cannot
// be used is named with its class after the parser's own message, and the
// class keeps its Java lines.
SMAP *sourceMapOf(const JCRClass *jclass, const char *className, int njplSupport) {
    if (!njplSupport) return nullptr;
    const JCRAttribute *attribute = JCRFindClassAttribute(jclass, "SourceDebugExtension");
    if (attribute == nullptr) return nullptr;
    SMAP *smap = attribute->length <= INT32_MAX ? SMAPParse(attribute->info, static_cast<int>(attribute->length), 1)
                                                : nullptr;
    // A resolved stratum without its file or line section maps no line: the
    // class's own lines serve better than none.
    if (smap != nullptr && (smap->resolved->fileSection == nullptr || smap->resolved->lineSection == nullptr)) {
        SMAPFree(smap);
        smap = nullptr;
    }
    if (smap == nullptr)
        fprintf(stderr, "Zentrova Warning: the SourceDebugExtension of class %s is not a usable SMAP; "
                "its Java lines are kept\n", className);
    return smap;
}

int instrumentMethods(JCRClass *jclass, JNIEnv *env, int njplSupport) {
    const VMTraits &vm = PRISettings().vm;
    if (!PRIIsBootstrapDone() && !vm.instrumentsBeforeInitialisation) return 0;
    const char *className = JCRClassName(jclass);
    if (className == nullptr || excluded(className)) return 0;
    if ((jclass->access_flags & kInterface) != 0 || PRIIsMarkedInstrumented(jclass)) return 0;
    if (vm.rewritesThreadClass && JCRClassNameIs(jclass, "java/lang/Thread")) return PRIRewriteThreadClass(jclass);
    ZVMethodWanted wanted = gWanted.load(std::memory_order_acquire);
    if (!someMethodWanted(jclass, className, wanted)) return 0;
    std::string dotted = wanted != nullptr ? dottedName(className) : std::string();

    SMAP *smap = sourceMapOf(jclass, className, njplSupport);
    PRIContextRefs refs;
    for (int32_t &slot : refs.index) slot = -1;
    int32_t classID = PRINewClassID();
    ZVHashTable *entry = PRIRegisterClass(className, env, classID, jclass->methods_count);
    bool isObject = strcmp(className, "java/lang/Object") == 0;
    bool changed = false;
    for (int m = 0; m < jclass->methods_count; ++m) {
        JCRMember *method = jclass->methods[m];
        const char *name = JCRUtf8At(jclass, method->name_index);
        const char *descriptor = JCRUtf8At(jclass, method->descriptor_index);
        if (name == nullptr || descriptor == nullptr) continue;
        if (isObject && strcmp(name, "<init>") == 0) continue;
        if (JCRFindMemberAttribute(jclass, method, "ZVST$Ignore") != nullptr) continue;
        if (isEmptyFinalizer(jclass, method, name, descriptor)) continue;
        if (wanted != nullptr && !wanted(dotted.c_str(), name, descriptor, method->access_flags)) continue;
        int access = method->access_flags & 7;
        if (smap == nullptr && PRIFilterEliminates(className, name, descriptor, access) >= 0) continue;
        uint32_t id = methodIDFor(className, name, descriptor, access, smap != nullptr);
        bool traced = traceMethod(className, name);
        int32_t firstLine = -1;
        int32_t lastLine = -1;
        const char *source = nullptr;
        // Under a restriction the callers of a constructor may be left as
        // loaded: none of their handlers would pop a frame its super() leaves.
        if (PRIInstrumentMethod(jclass, method, traced, id, &refs, &firstLine, &lastLine, smap, &source,
                                wanted != nullptr)) {
            PRIRegisterMethod(entry, name, descriptor, id, classID, firstLine, lastLine);
            if (source != nullptr) PRISetMethodSource(id, source, smap->generatedFileName);
            changed = true;
        }
    }
    SMAPFree(smap);
    if (changed) gSomeClassInstrumented = true;
    return changed ? 1 : 0;
}

}  // namespace

int PRIInstrumentClass(JCRClass *jclass, JNIEnv *env, int njplSupport) {
    // ObjectStreamClass's serial-UID rewrite comes first; its methods are then
    // instrumented like any other class's, so that serialisation's own frames
    // (lookups, UID computation, reading and writing descriptors) are in the
    // profile rather than charged to their callers.
    if (JCRClassNameIs(jclass, "java/io/ObjectStreamClass") && !PRIIsMarkedInstrumented(jclass)) {
        int rewritten = PRIRewriteObjectStreamClass(jclass);
        return instrumentMethods(jclass, env, njplSupport) | rewritten;
    }
    return instrumentMethods(jclass, env, njplSupport);
}

int PRIPreInstrumentClass(JCRClass *jclass) {
    if (JCRClassNameIs(jclass, "java/io/ObjectStreamClass")) return PRIRewriteObjectStreamClass(jclass);
    if (PRISettings().vm.rewritesThreadClass && JCRClassNameIs(jclass, "java/lang/Thread") &&
        !PRIIsMarkedInstrumented(jclass)) {
        return PRIRewriteThreadClass(jclass);
    }
    return 0;
}

int PRIHasInstrumentedMethods(void) { return gSomeClassInstrumented ? 1 : 0; }

int PRIMayInstrument(const JCRClass *jclass) {
    ZVMethodWanted wanted = gWanted.load(std::memory_order_acquire);
    if (wanted == nullptr) return 1;
    const char *className = JCRClassName(jclass);
    return className != nullptr && someMethodWanted(jclass, className, wanted) ? 1 : 0;
}

int zviInstrumentOnly(ZVMethodWanted wanted) {
    // Classes instrumented before would keep their probes everywhere.
    if (wanted == nullptr || gSomeClassInstrumented) return 0;
    ZVMethodWanted none = nullptr;
    return gWanted.compare_exchange_strong(none, wanted, std::memory_order_acq_rel) ? 1 : 0;
}
