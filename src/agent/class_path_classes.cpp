// The Java side's classes of the class path (zenva.jar), defined straight into
// the system class loader when the agent put the jar there itself. Found
// through the class path, the first of them would have the loader open the
// jar with the JDK's jar, zip, file-system and security classes: about 120
// classes loaded and instrumented, some 20 ms of every start of a program that
// runs from directories. The jar stays on the class path for anything not
// defined here.
#include <jni.h>
#include <zip.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "agent/agent_internal.h"
#include "classfile/classfile.h"
#include "platform/jvmpi_emulation.h"
#include "platform/local_ref.h"

namespace {

struct JarClass {
    std::vector<uint8_t> bytes;
    std::vector<std::string> supertypes;  // superclass and interfaces, internal names
};

std::string classNameAt(const JCRClass *jclass, int index) {
    const JCRConstant *entry = JCRConstantAt(jclass, index, JCR_CONSTANT_Class);
    const char *name = entry != nullptr ? JCRUtf8At(jclass, entry->index1) : nullptr;
    return name != nullptr ? name : "";
}

// The jar's classes by internal name; empty when the jar cannot be read.
std::map<std::string, JarClass> readClasses(const std::string &path) {
    std::map<std::string, JarClass> classes;
    int error = 0;
    std::unique_ptr<zip_t, decltype(&zip_discard)> jar(zip_open(path.c_str(), ZIP_RDONLY, &error), zip_discard);
    if (!jar) return classes;
    zip_int64_t count = zip_get_num_entries(jar.get(), 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t stat;
        const std::string_view suffix = ".class";
        constexpr zip_uint64_t kNeeded = ZIP_STAT_NAME | ZIP_STAT_SIZE;
        if (zip_stat_index(jar.get(), i, 0, &stat) != 0 || (stat.valid & kNeeded) != kNeeded ||
            stat.size > (1u << 24) || !std::string_view(stat.name).ends_with(suffix))
            continue;
        JarClass entry{std::vector<uint8_t>(stat.size), {}};
        std::unique_ptr<zip_file_t, decltype(&zip_fclose)> file(zip_fopen_index(jar.get(), i, 0), zip_fclose);
        if (!file || zip_fread(file.get(), entry.bytes.data(), stat.size) != static_cast<zip_int64_t>(stat.size))
            return {};
        std::unique_ptr<JCRClass, decltype(&JCRFreeClass)> parsed(
            JCRParseClass(entry.bytes.data(), static_cast<int>(entry.bytes.size())), JCRFreeClass);
        const char *name = parsed ? JCRClassName(parsed.get()) : nullptr;
        if (name == nullptr) return {};
        entry.supertypes.push_back(classNameAt(parsed.get(), parsed->super_class));
        for (int k = 0; k < parsed->interfaces_count; ++k)
            entry.supertypes.push_back(classNameAt(parsed.get(), parsed->interfaces[k]));
        classes[name] = std::move(entry);
    }
    return classes;
}

jobject systemClassLoader(JNIEnv *env) {
    LocalRef loaderClass(env, env->FindClass("java/lang/ClassLoader"));
    jmethodID get = loaderClass ? env->GetStaticMethodID(loaderClass, "getSystemClassLoader", "()Ljava/lang/ClassLoader;")
                                : nullptr;
    jobject loader = get != nullptr ? env->CallStaticObjectMethod(loaderClass, get) : nullptr;
    if (env->ExceptionCheck()) env->ExceptionClear();
    return loader;
}

}  // namespace

void ZVDefineClassPathClasses(JNIEnv *env) {
    std::string jar = JvmpiAddedClassPathJar();
    if (jar.empty()) return;
    std::map<std::string, JarClass> pending = readClasses(jar);
    if (pending.empty()) return;
    LocalRef loader(env, systemClassLoader(env));
    if (!loader) return;
    // Supertypes first: defining a class whose supertype is still in the jar
    // would have the loader look for it there. Each pass defines what is ready;
    // a class that fails (or a cycle) is left to the class path.
    for (bool progress = true; progress && !pending.empty();) {
        progress = false;
        for (auto it = pending.begin(); it != pending.end();) {
            bool ready = true;
            for (const std::string &type : it->second.supertypes) ready = ready && pending.count(type) == 0;
            if (!ready) {
                ++it;
                continue;
            }
            const JarClass &entry = it->second;
            LocalRef defined(env, env->DefineClass(it->first.c_str(), loader, reinterpret_cast<const jbyte *>(entry.bytes.data()),
                                                   static_cast<jsize>(entry.bytes.size())));
            if (env->ExceptionCheck()) env->ExceptionClear();
            it = pending.erase(it);
            progress = true;
        }
    }
}
