// Puts the agent's jars where the VM finds them: zvbcp.jar on the boot class
// path and zenva.jar on the system class path, from the installation's lib
// directory, unless the command line placed them already.
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/jni_guards.h"
#include "platform/jvmpi_emulation.h"
#include "platform/jvmpi_internal.h"
#include "platform/module.h"

// Weak: the platform library sits below the support library, and programs
// that link the platform alone have no installation lookup.
__attribute__((weak)) const char *GetInstallPath(int tool);

namespace {

JvmpiEmulation::ClassPaths &state() { return Jvmpi().classPaths; }

bool isFile(const std::string &path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string property(const char *name) {
    JvmtiMemory<char> value(Jvmpi().jvmti);
    if (Jvmpi().jvmti->GetSystemProperty(name, value.out()) != JVMTI_ERROR_NONE || value.get() == nullptr) return {};
    return value.get();
}

// True when one entry of the path list names a file called jar.
bool pathNames(std::string_view list, std::string_view jar) {
    while (!list.empty()) {
        size_t end = list.find(':');
        std::string_view entry = list.substr(0, end);
        size_t slash = entry.find_last_of('/');
        if ((slash == std::string_view::npos ? entry : entry.substr(slash + 1)) == jar) return true;
        if (end == std::string_view::npos) break;
        list.remove_prefix(end + 1);
    }
    return false;
}

// The installation's lib directory: from the installation-path lookup, or
// else the directory that holds this library.
std::string libDirectory() {
    if (GetInstallPath != nullptr) {
        if (const char *install = GetInstallPath(0); install != nullptr && *install != '\0') {
            return std::string(install) + "/lib";
        }
    }
    std::string library = ModulePathContaining(reinterpret_cast<const void *>(&libDirectory));
    size_t slash = library.find_last_of('/');
    return slash == std::string::npos ? std::string(".") : library.substr(0, slash);
}

// A jar holds the entry when its name appears in the file: zip archives store
// entry names uncompressed (in the local headers and the central directory).
bool jarNames(const std::string &jar, std::string_view entry) {
    std::ifstream in(jar, std::ios::binary);
    if (!in) return false;
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return bytes.find(entry) != std::string::npos;
}

bool entryHas(const std::string &entry, const char *resource) {
    struct stat info {};
    if (entry.empty() || stat(entry.c_str(), &info) != 0) return false;
    if (S_ISDIR(info.st_mode)) return isFile(entry + "/" + resource);
    return S_ISREG(info.st_mode) && jarNames(entry, resource);
}

}  // namespace

namespace {

void addBootJar() {
    std::string bcp = libDirectory() + "/zvbcp.jar";
    if (!pathNames(property("jdk.boot.class.path.append"), "zvbcp.jar") && isFile(bcp)) {
        if (Jvmpi().jvmti->AddToBootstrapClassLoaderSearch(bcp.c_str()) == JVMTI_ERROR_NONE) state().addedBootJar = bcp;
    }
    state().bootAppendAtLoad = property("jdk.boot.class.path.append");
}

// Late in the VM's life this runs Java code of the system class loader,
// which takes its locks.
void addClassPathJar() {
    std::string zenva = libDirectory() + "/zenva.jar";
    if (!pathNames(property("java.class.path"), "zenva.jar") && isFile(zenva) &&
        Jvmpi().jvmti->AddToSystemClassLoaderSearch(zenva.c_str()) == JVMTI_ERROR_NONE) {
        state().addedClassPathJar = zenva;
    }
}

// A late start adds the jars from its attach thread while the first classes
// load. Class loads wait for the boot jar only: that addition runs no Java
// code, whereas the class path addition may wait for a class-loader lock the
// loading thread holds.
std::once_flag gBootOnce;
std::once_flag gClassPathOnce;

void addBootJarOnce() { std::call_once(gBootOnce, addBootJar); }

}  // namespace

bool JvmpiBootClassPathHas(const char *resource) {
    if (Jvmpi().jvmti == nullptr) return true;
    // A late start adds the jars at the VM-initialised event, which may come
    // after this first class; the agent has read its options by now.
    if (Jvmpi().jvmti != nullptr) addBootJarOnce();
    // Properties cannot be read while the VM starts (early class loads):
    // then the append as it stood when the agent's jars were added holds.
    std::string list = property("jdk.boot.class.path.append");
    if (list.empty()) list = state().bootAppendAtLoad;
    if (!state().addedBootJar.empty()) list += ":" + state().addedBootJar;
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = std::min(list.find(':', start), list.size());
        if (entryHas(list.substr(start, end - start), resource)) return true;
        start = end + 1;
    }
    return false;
}

bool JvmpiBootAppendLoadable() {
    jvmtiEnv *jvmti = Jvmpi().jvmti;
    jvmtiPhase phase = JVMTI_PHASE_LIVE;
    if (jvmti == nullptr || jvmti->GetPhase(&phase) != JVMTI_ERROR_NONE) return true;
    return phase == JVMTI_PHASE_LIVE;
}

void JvmpiAddAgentJars() {
    if (Jvmpi().jvmti == nullptr) return;
    addBootJarOnce();
    std::call_once(gClassPathOnce, addClassPathJar);
}
std::string JvmpiAddedClassPathJar() { return state().addedClassPathJar; }

std::string JvmpiMissingAgentJar() {
    std::string library = ModulePathContaining(reinterpret_cast<const void *>(&libDirectory));
    size_t slash = library.find_last_of('/');
    std::string lib = slash == std::string::npos ? std::string(".") : library.substr(0, slash);
    for (const char *jar : {"/zvbcp.jar", "/zenva.jar"})
        if (!isFile(lib + jar)) return lib + jar;
    return {};
}
