// Class and method tables: ids under the id mutex, class entries filed by
// (loading thread, class name) until the VM's class-load event consumes them,
// and the maps from method ids and VM class IDs.
#include "pri/filters/class_tables.h"

#include <cstring>
#include <string>

#include "contract/java_contract.h"
#include "platform/mutex.h"
#include "pri/rewrite/instrument.h"
#include "support/heap.h"

namespace {

// The key of a class entry: the loading thread's environment and the name.
struct ClassKey {
    JNIEnv *env;
    char *name;
};

}  // namespace

struct PRIClassTables {
    RecursiveMutex *idMutex = nullptr;
    uint32_t methodCounter = 0;
    int32_t classCounter = 0;
    ZVHashTable *classes = nullptr;  // "PRIClasses": ClassKey -> class entry
    RecursiveMutex *classesMutex = nullptr;
    ZVHashTable *methodToClass = nullptr;  // "methodIDToClassID"
    RecursiveMutex *methodToClassMutex = nullptr;
    ZVHashTable *vmClassToClass = nullptr;  // "JVMPIClassToPRIIndex"
    RecursiveMutex *vmClassToClassMutex = nullptr;
    ZVHashTable *methodToSource = nullptr;  // "methodIDToSource"
    RecursiveMutex *methodToSourceMutex = nullptr;
    int32_t contextClassID = 0;

    PRIClassTables();
    PRIClassTables(const PRIClassTables &) = delete;
    PRIClassTables &operator=(const PRIClassTables &) = delete;
    ~PRIClassTables();
};

namespace {

// The tables of the running agent: created at start-up and never destroyed,
// since VM threads look methods up until the process ends.
PRIClassTables *gTables = nullptr;

uint32_t classKeyHash(ZVWord key) {
    return ZVStringHash(reinterpret_cast<ZVWord>(reinterpret_cast<ClassKey *>(key)->name));
}

// A key without a thread (0) matches the same name under any thread.
int classKeyEquals(ZVWord a, ZVWord b) {
    auto *x = reinterpret_cast<ClassKey *>(a);
    auto *y = reinterpret_cast<ClassKey *>(b);
    if (x == nullptr || y == nullptr || x->name == nullptr || y->name == nullptr) return 0;
    return strcmp(x->name, y->name) == 0 && (x->env == y->env || x->env == nullptr || y->env == nullptr);
}

ZVWord word(const void *pointer) { return reinterpret_cast<ZVWord>(pointer); }

void freeClassEntry(ZVHashTable *entry) {
    if (entry == nullptr) return;
    auto *methods = reinterpret_cast<ZVHashTable *>(ZVHashGet(entry, word("m")));
    if (methods != nullptr) {
        for (ZVHashIterator *it = ZVHashNext(ZVHashIterate(methods)); it != nullptr; it = ZVHashNext(it))
            sFree(reinterpret_cast<void *>(it->key));
        ZVHashFree(methods);
    }
    auto *key = reinterpret_cast<ClassKey *>(ZVHashGet(entry, word("n")));
    if (key != nullptr) {
        sFree(key->name);
        sFree(key);
    }
    ZVHashFree(entry);
}

// The method table's key text, "name|descriptor", in one new sMalloc'ed
// block (null when memory runs out).
char *methodKey(const char *name, const char *descriptor) {
    size_t nameLength = name != nullptr ? strlen(name) : 0;
    size_t descriptorLength = descriptor != nullptr ? strlen(descriptor) : 0;
    size_t length = nameLength + 1 + descriptorLength;
    if (length >= 0x7fffffff) return nullptr;
    auto *key = static_cast<char *>(sMalloc(static_cast<int>(length + 1)));
    if (key == nullptr) return nullptr;
    if (nameLength > 0) memcpy(key, name, nameLength);
    key[nameLength] = '|';
    if (descriptorLength > 0) memcpy(key + nameLength + 1, descriptor, descriptorLength);
    key[length] = '\0';
    return key;
}

bool isContextClass(const char *slashed) { return strcmp(slashed, java_contract::kContextClass) == 0; }

bool sameText(ZVWord kept, const char *text) {
    const char *keptText = reinterpret_cast<const char *>(kept);
    if (keptText == nullptr || text == nullptr) return keptText == text;
    return strcmp(keptText, text) == 0;
}

// The copies PRISetMethodSource keeps of a method's source names.
void freeSourceNames(ZVWord source, ZVWord defaultSource) {
    sFree(reinterpret_cast<void *>(source));
    sFree(reinterpret_cast<void *>(defaultSource));
}

}  // namespace

PRIClassTables::PRIClassTables() {
    idMutex = CreateRecursiveMutex();
    classesMutex = CreateRecursiveMutex();
    classes = ZVHashNew(64, classKeyHash, classKeyEquals, "PRIClasses", 0);
    methodToClass = ZVHashNew(1024, nullptr, nullptr, "methodIDToClassID", 0);
    methodToClassMutex = CreateRecursiveMutex();
    vmClassToClassMutex = CreateRecursiveMutex();
    vmClassToClass = ZVHashNew(128, nullptr, nullptr, "JVMPIClassToPRIIndex", 0);
    methodToSourceMutex = CreateRecursiveMutex();
    methodToSource = ZVHashNew(128, nullptr, nullptr, "methodIDToSource", 1);
}

PRIClassTables::~PRIClassTables() {
    if (classes != nullptr) {
        for (ZVHashIterator *it = ZVHashNext(ZVHashIterate(classes)); it != nullptr; it = ZVHashNext(it))
            freeClassEntry(reinterpret_cast<ZVHashTable *>(it->value));
        ZVHashFree(classes);
    }
    ZVHashFree(methodToClass);
    ZVHashFree(vmClassToClass);
    if (methodToSource != nullptr) {
        for (ZVHashIterator *it = ZVHashNext(ZVHashIterate(methodToSource)); it != nullptr; it = ZVHashNext(it))
            freeSourceNames(it->value, it->value2);
        ZVHashFree(methodToSource);
    }
    for (RecursiveMutex *mutex : {idMutex, classesMutex, methodToClassMutex, vmClassToClassMutex, methodToSourceMutex})
        DestroyRecursiveMutex(mutex);
}

void PRICreateClassTables() {
    if (gTables == nullptr) gTables = new PRIClassTables();
}

PRIClassTables *PRINewClassTables() { return new PRIClassTables(); }

PRIClassTables *PRIInstallClassTables(PRIClassTables *tables) {
    PRIClassTables *old = gTables;
    gTables = tables;
    return old;
}

void PRIFreeClassTables(PRIClassTables *tables) { delete tables; }

uint32_t PRINewMethodID() {
    PRIClassTables *tables = gTables;
    if (tables == nullptr) return 0;
    MutexGuard guard(tables->idMutex);
    return ++tables->methodCounter;
}

int32_t PRINewClassID() {
    PRIClassTables *tables = gTables;
    if (tables == nullptr) return 0;
    MutexGuard guard(tables->idMutex);
    return ++tables->classCounter;
}

ZVHashTable *PRIRegisterClass(const char *className, JNIEnv *env, int32_t classID, int methodCount) {
    PRIClassTables *tables = gTables;
    if (tables == nullptr) return nullptr;
    ZVHashTable *entry = ZVHashNew(8, ZVStringHash, ZVStringEquals, "PRIClassHash", 0);
    // Sized for the class's methods (a table grows at two entries a bucket),
    // so that it is never rehashed while they are registered.
    ZVHashTable *methods = ZVHashNew(methodCount / 2, ZVStringHash, ZVStringEquals, "PRIMethodHash", 2);
    auto *key = static_cast<ClassKey *>(sMalloc(sizeof(ClassKey)));
    char *name = sStrdup(className);
    if (entry == nullptr || methods == nullptr || key == nullptr || name == nullptr) {
        ZVHashFree(entry);
        ZVHashFree(methods);
        sFree(key);
        sFree(name);
        return nullptr;
    }
    *key = ClassKey{env, name};
    ZVHashPut(entry, word("ID"), static_cast<ZVWord>(classID));
    ZVHashPut(entry, word("m"), word(methods));
    ZVHashPut(entry, word("n"), word(key));
    MutexGuard guard(tables->classesMutex);
    // A class instrumented again before its load event replaces the older entry.
    ClassKey exact{env, name};
    auto *older = reinterpret_cast<ZVHashTable *>(ZVHashGet(tables->classes, word(&exact)));
    if (older != nullptr) {
        auto *olderKey = reinterpret_cast<ClassKey *>(ZVHashGet(older, word("n")));
        if (olderKey != nullptr && olderKey->env == env) {
            ZVHashRemove(tables->classes, word(olderKey));
            freeClassEntry(older);
        }
    }
    ZVHashPut(tables->classes, word(key), word(entry));
    return entry;
}

void PRIRegisterMethod(ZVHashTable *classEntry, const char *name, const char *descriptor,
                       uint32_t methodID, int32_t classID, int32_t firstLine, int32_t lastLine) {
    PRIClassTables *tables = gTables;
    if (classEntry == nullptr || tables == nullptr) return;
    auto *methods = reinterpret_cast<ZVHashTable *>(ZVHashGet(classEntry, word("m")));
    char *key = methodKey(name, descriptor);
    if (methods != nullptr && key != nullptr) {
        ZVHashPut(methods, word(key), static_cast<ZVWord>(methodID), static_cast<ZVWord>(firstLine),
                  static_cast<ZVWord>(lastLine));
    } else {
        sFree(key);
    }
    MutexGuard guard(tables->methodToClassMutex);
    // A group id keeps the first class that registered it.
    bool group = ZVIsGroupMethodID(methodID) != 0;
    if (group && ZVHashGet(tables->methodToClass, methodID) != 0) return;
    if (!group) ZVHashRemove(tables->methodToClass, methodID);
    ZVHashPut(tables->methodToClass, methodID, static_cast<ZVWord>(classID));
}

int32_t PRIClassIDOfMethod(uint32_t methodID) {
    PRIClassTables *tables = gTables;
    if (tables == nullptr) return 0;
    MutexGuard guard(tables->methodToClassMutex);
    return static_cast<int32_t>(ZVHashGet(tables->methodToClass, methodID));
}

void PRISetMethodSource(uint32_t methodID, const char *source, const char *defaultSource) {
    PRIClassTables *tables = gTables;
    if (tables == nullptr) return;
    MutexGuard guard(tables->methodToSourceMutex);
    // A method registered again (its class loaded again) keeps names that are
    // the same, so that a name handed out stays valid; other names replace them.
    ZVWord oldSource = 0, oldDefault = 0;
    ZVHashGet(tables->methodToSource, methodID, &oldSource, &oldDefault);
    if (oldSource != 0 && sameText(oldSource, source) && sameText(oldDefault, defaultSource)) return;
    freeSourceNames(oldSource, oldDefault);
    ZVHashRemove(tables->methodToSource, methodID);
    ZVHashPut(tables->methodToSource, methodID, word(sStrdup(source)),
              defaultSource != nullptr ? word(sStrdup(defaultSource)) : 0);
}

const char *PRIMethodSource(uint32_t methodID, ZVWord *outExtra) {
    PRIClassTables *tables = gTables;
    ZVWord source = 0, extra = 0;
    if (tables != nullptr) {
        MutexGuard guard(tables->methodToSourceMutex);
        ZVHashGet(tables->methodToSource, methodID, &source, &extra);
    }
    if (outExtra != nullptr) *outExtra = extra;
    return reinterpret_cast<const char *>(source);
}

JVMPI_Method *PRIMatchLoadedClass(const char *dottedName, JNIEnv *env, int methodCount,
                                  const JVMPI_Method *methods, int32_t *outClassID) {
    PRIClassTables *tables = gTables;
    if (outClassID != nullptr) *outClassID = 0;
    if (dottedName == nullptr || tables == nullptr) return nullptr;
    std::string slashed(dottedName);
    for (char &c : slashed)
        if (c == '.') c = '/';
    ZVHashTable *entry = nullptr;
    {
        MutexGuard guard(tables->classesMutex);
        ClassKey mine{env, slashed.data()};
        ClassKey anyThread{nullptr, slashed.data()};
        entry = reinterpret_cast<ZVHashTable *>(ZVHashGet(tables->classes, word(&mine)));
        if (entry == nullptr) entry = reinterpret_cast<ZVHashTable *>(ZVHashGet(tables->classes, word(&anyThread)));
        if (entry != nullptr) ZVHashRemove(tables->classes, ZVHashGet(entry, word("n")));
    }
    JVMPI_Method *records = nullptr;
    if (methodCount > 0 && methods != nullptr) {
        records = static_cast<JVMPI_Method *>(sMalloc(static_cast<int>(sizeof(JVMPI_Method)) * methodCount));
    }
    auto *methodTable = entry != nullptr ? reinterpret_cast<ZVHashTable *>(ZVHashGet(entry, word("m"))) : nullptr;
    for (int i = 0; records != nullptr && i < methodCount; ++i) {
        const JVMPI_Method &vm = methods[i];
        JVMPI_Method &record = records[i];
        record.method_name = sStrdup(vm.method_name);
        record.method_signature = sStrdup(vm.method_signature);
        ZVWord id = 0, first = 0, last = 0;
        if (methodTable != nullptr) {
            char *key = methodKey(vm.method_name, vm.method_signature);
            if (key != nullptr) ZVHashGet(methodTable, word(key), &id, &first, &last);
            sFree(key);
        }
        if (id == 0) {
            id = PRINewMethodID();
            first = static_cast<ZVWord>(entry != nullptr ? 0 : vm.start_lineno);
            last = static_cast<ZVWord>(entry != nullptr ? 0 : vm.end_lineno);
        }
        record.method_id = reinterpret_cast<jmethodID>(id);
        record.start_lineno = static_cast<jint>(first);
        record.end_lineno = static_cast<jint>(last);
    }
    int32_t classID = entry != nullptr ? static_cast<int32_t>(ZVHashGet(entry, word("ID"))) : PRINewClassID();
    freeClassEntry(entry);
    if (isContextClass(slashed.c_str()) && tables->contextClassID == 0) tables->contextClassID = classID;
    if (outClassID != nullptr) *outClassID = classID;
    return records;
}

int PRIIsContextClassKey(ZVWord classKey) {
    PRIClassTables *tables = gTables;
    return tables != nullptr && tables->contextClassID != 0 &&
           classKey == static_cast<ZVWord>(tables->contextClassID);
}

void PRIClassKeyPut(ZVWord vmClassID, int32_t classID) {
    PRIClassTables *tables = gTables;
    if (tables == nullptr) return;
    MutexGuard guard(tables->vmClassToClassMutex);
    ZVHashRemove(tables->vmClassToClass, vmClassID);
    ZVHashPut(tables->vmClassToClass, vmClassID, static_cast<ZVWord>(classID));
}

void PRIClassKeyMove(ZVWord oldVMClassID, ZVWord newVMClassID) {
    PRIClassTables *tables = gTables;
    if (tables == nullptr) return;
    MutexGuard guard(tables->vmClassToClassMutex);
    ZVWord classID = ZVHashGet(tables->vmClassToClass, oldVMClassID);
    if (classID == 0) return;
    ZVHashRemove(tables->vmClassToClass, oldVMClassID);
    ZVHashRemove(tables->vmClassToClass, newVMClassID);
    ZVHashPut(tables->vmClassToClass, newVMClassID, classID);
}

int32_t PRIClassKeyGet(ZVWord vmClassID) {
    PRIClassTables *tables = gTables;
    if (tables == nullptr) return 0;
    MutexGuard guard(tables->vmClassToClassMutex);
    return static_cast<int32_t>(ZVHashGet(tables->vmClassToClass, vmClassID));
}

void PRIClassKeyRemove(ZVWord vmClassID) {
    PRIClassTables *tables = gTables;
    if (tables == nullptr) return;
    MutexGuard guard(tables->vmClassToClassMutex);
    ZVHashRemove(tables->vmClassToClass, vmClassID);
}
