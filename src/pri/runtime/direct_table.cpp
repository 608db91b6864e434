// directi.table and the running VM's properties: where the table lies, reading
// both once, and matching the table's VM descriptions.
#include <strings.h>

#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#include "contract/java_contract.h"
#include "platform/local_ref.h"
#include "platform/module.h"
#include "pri/runtime/direct.h"
#include "support/elements.h"
#include "support/files.h"
#include "support/heap.h"

namespace {

constexpr char kTableName[] = "directi.table";
constexpr size_t kMaxModulePath = 2048;


void clearException(JNIEnv *env) {
    if (env->ExceptionCheck()) {
        env->ExceptionDescribe();
        env->ExceptionClear();
    }
}

// A copy of the string's UTF-8 characters, or null.
char *copyString(JNIEnv *env, jstring string) {
    if (string == nullptr) return nullptr;
    const char *chars = env->GetStringUTFChars(string, nullptr);
    char *copy = chars != nullptr ? sStrdup(chars) : nullptr;
    if (chars != nullptr) env->ReleaseStringUTFChars(string, chars);
    return copy;
}

// The table beside the agent library: its loaded module's path, cut where
// the library's file name begins.
char *besideLibrary() {
    for (const char *name : {"pri.dll", "z2a.dll", "r2orar.dll"}) {
        std::string path = LoadedModulePath(name);
        if (path.empty()) continue;
        size_t at = path.size() < kMaxModulePath ? path.find(LinuxModuleName(name)) : std::string::npos;
        if (at == std::string::npos) return nullptr;
        return sStrdup((path.substr(0, at) + kTableName).c_str());
    }
    // Loaded under another file name: the directory of this library.
    std::string self = ModulePathContaining(reinterpret_cast<const void *>(&PRIDirectIFindTable));
    size_t slash = self.rfind('/');
    if (self.size() >= kMaxModulePath || slash == std::string::npos) return nullptr;
    return sStrdup((self.substr(0, slash + 1) + kTableName).c_str());
}

// The table, or an empty map when there is none, so that it is not looked for again.
SEElement *readTable(JNIEnv *env) {
    char *path = PRIDirectIFindTable(env);
    if (path == nullptr) std::fputs("Cannot find directi.table\n", stderr);
    SEElement *table = path != nullptr ? PRIDirectIReadTable(path) : nullptr;
    sFree(path);
    return table != nullptr ? table : SENewMap(1, "directi");
}

void readProperties(JNIEnv *env, PRIVMProperties &vm) {
    LocalRef system(env, env->FindClass(java_contract::kSystemClass));
    const java_contract::JavaMember &get = java_contract::kGetProperty;
    jmethodID getProperty = system ? env->GetStaticMethodID(system, get.name, get.descriptor)
                                   : nullptr;
    clearException(env);
    const char *keys[] = {"java.vendor", "java.version", "java.vm.name"};
    const char **values[] = {&vm.vendor, &vm.version, &vm.vmName};
    for (int i = 0; i < 3; i++) {
        char *value = nullptr;
        LocalRef key(env, getProperty != nullptr ? env->NewStringUTF(keys[i]) : nullptr);
        if (key) {
            LocalRef result(env, static_cast<jstring>(env->CallStaticObjectMethod(system, getProperty, key.get())));
            bool thrown = env->ExceptionCheck();
            clearException(env);
            value = thrown ? nullptr : copyString(env, result);
        }
        clearException(env);
        *values[i] = value != nullptr ? value : sStrdup("Unknown");
    }
}

// The table's value is a prefix of the property, ignoring case.
bool prefixOf(const SEElement *value, const char *property) {
    if (value == nullptr || value->type != SE_STRING || property == nullptr) return false;
    const char *text = SEGetString(value);
    size_t length = text != nullptr ? std::strlen(text) : 0;
    return text != nullptr && std::strlen(property) >= length && strncasecmp(text, property, length) == 0;
}

bool describes(const SEElement *description, const PRIVMProperties &vm) {
    if (description == nullptr || description->type != SE_MAP) return false;
    const SEElement *keys[] = {SEMapGet(description, "vmname"), SEMapGet(description, "vendor"),
                               SEMapGet(description, "version")};
    const char *properties[] = {vm.vmName, vm.vendor, vm.version};
    bool any = false;
    for (int i = 0; i < 3; i++) {
        if (keys[i] == nullptr) continue;
        if (!prefixOf(keys[i], properties[i])) return false;
        any = true;
    }
    return any;
}

constexpr const char *kListKeys[] = {"enabledFor", "disabledFor", "multiParamDisabledFor"};

// Says what in the table can never match a VM, naming the file; the decision
// passes over it.
void checkTable(const char *path, const SEElement *table) {
    ZVHashIterator *it = SEMapIterate(table);
    while ((it = ZVHashNext(it)) != nullptr) {
        const char *key = reinterpret_cast<const char *>(it->key);
        bool known = false;
        for (const char *listKey : kListKeys) known = known || std::strcmp(key, listKey) == 0;
        if (!known) std::fprintf(stderr, "Zentrova Warning: %s: unknown key %s; it is ignored\n", path, key);
    }
    for (const char *key : kListKeys) {
        const SEElement *list = SEMapGet(table, key);
        if (list == nullptr) continue;
        if (list->type != SE_LIST) {
            std::fprintf(stderr, "Zentrova Warning: %s: %s is not a list of VM descriptions; it is ignored\n", path,
                         key);
            continue;
        }
        for (int i = 0; i < SEListSize(list); i++) {
            const SEElement *description = SEListGet(list, i);
            bool sound = description != nullptr && description->type == SE_MAP;
            for (const char *field : {"vmname", "vendor", "version"}) {
                const SEElement *value = sound ? SEMapGet(description, field) : nullptr;
                sound = sound && (value == nullptr || value->type == SE_STRING);
            }
            sound = sound && (SEMapGet(description, "vmname") || SEMapGet(description, "vendor") ||
                              SEMapGet(description, "version"));
            if (!sound)
                std::fprintf(stderr, "Zentrova Warning: %s: entry %d of %s is not a map of vmname, vendor or "
                             "version texts; it matches no VM\n", path, i + 1, key);
        }
    }
}

}  // namespace

SEElement *PRIDirectIReadTable(const char *path) {
    // Devices and pipes could feed the reader without end.
    SEReader *reader = IsRegularFile(path) ? SEReaderFromFile(path) : nullptr;
    if (reader == nullptr) {
        std::fputs("Cannot read directi.table\n", stderr);
        return nullptr;
    }
    SEElement *table = SERead(reader);
    if (table == nullptr) {
        const char *error = SEReaderError(reader);
        if (error == nullptr) error = SEReaderLexerError(reader);
        std::string reason = error != nullptr && *error != '\0'
                                 ? error
                                 : "no element before the end at line " + std::to_string(SEReaderLine(reader));
        while (!reason.empty() && (reason.back() == '\n' || reason.back() == ':')) reason.pop_back();
        std::fprintf(stderr, "Zentrova Warning: %s could not be read (%s); it enables nothing\n", path,
                     reason.c_str());
    } else if (table->type != SE_MAP) {
        std::fprintf(stderr, "Zentrova Warning: %s holds no table (a map of VM lists) at line %d; "
                     "it enables nothing\n", path, SEReaderLine(reader));
        SEFree(table);
        table = nullptr;
    }
    SEReaderFree(reader);
    if (table != nullptr) checkTable(path, table);
    return table;
}

char *PRIDirectIFindTable(JNIEnv *env) {
    env->ExceptionClear();
    LocalRef audit(env, env->FindClass(java_contract::kAuditClass));
    if (!audit) {
        env->ExceptionClear();
        std::fputs("Cannot find class meridyn/audit/Audit?\n", stderr);
        return nullptr;
    }
    const java_contract::JavaMember &tablePath = java_contract::kGetDirectInstrumentationTablePath;
    jmethodID getPath = env->GetStaticMethodID(audit, tablePath.name, tablePath.descriptor);
    char *path = nullptr;
    if (getPath != nullptr) {
        LocalRef result(env, static_cast<jstring>(env->CallStaticObjectMethod(audit, getPath)));
        bool thrown = env->ExceptionCheck();
        clearException(env);
        path = result && !thrown ? copyString(env, result) : besideLibrary();
    }
    clearException(env);
    return path;
}

const PRIVMProperties &PRIDirectIProperties(JNIEnv *env, PRIDirectState &state) {
    std::lock_guard<std::mutex> guard(state.lock);
    PRIVMProperties &vm = state.vm;
    if (vm.vendor == nullptr && vm.version == nullptr && vm.vmName == nullptr) readProperties(env, vm);
    return vm;
}

const SEElement *PRIDirectITable(JNIEnv *env, PRIDirectState &state) {
    std::lock_guard<std::mutex> guard(state.lock);
    if (state.table == nullptr) state.table = readTable(env);
    return state.table;
}

int PRIDirectIListMatches(const SEElement *table, const char *key, const PRIVMProperties &vm) {
    const SEElement *list = SEMapGet(table, key);
    if (list == nullptr || list->type != SE_LIST) return 0;
    for (int i = 0; i < SEListSize(list); i++) {
        if (describes(SEListGet(list, i), vm)) return 1;
    }
    return 0;
}

PRIDirectState::~PRIDirectState() {
    SEFree(table);
    for (const char *value : {vm.vendor, vm.version, vm.vmName}) sFree(const_cast<char *>(value));
}
