// Fuzzes filter files: reading, compiling the entries' patterns, appending a
// second file while queries run, and matching. The input is the file; the
// text after its last NUL byte (if any) is also asked about as a class name.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "pri/filters/filters.h"
#include "scratch_file.h"

namespace {

void Query(const char *className) {
    static const char *const kMethods[][2] = {
        {"length", "()I"}, {"main", "([Ljava/lang/String;)V"}, {"<init>", "()V"}, {"", ""}};
    for (const auto &[method, descriptor] : kMethods) {
        for (int access = 0; access < 8; access += 3) {
            int group = PRIFilterGroupOf(className, method, descriptor, access);
            PRIFilterGroupName(group);
            PRIFilterEliminates(className, method, descriptor, access);
            PRIFilterIgnoresMemory(className, method, descriptor, access);
            PRIFilterIgnoresCPU(className, method, descriptor, access);
        }
    }
}

void QueryAll(const std::string &extra) {
    for (const char *name : {"java/lang/String", "com/acme/Main", "a/B", "A", ""}) Query(name);
    Query(extra.c_str());
    zviFilterAffectsCPUProfiler();
    zviFilterAffectsMemoryProfiler();
    for (int32_t id = -1; id < 4; id++) PRIFilterGroupName(id);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 1 << 20) return 0;
    const std::string &path = zvfuzz::ScratchPath("fuzz_filter_file");
    const void *nul = size > 0 ? memrchr(data, 0, size) : nullptr;
    std::string extra;
    if (nul != nullptr) {
        const char *after = static_cast<const char *>(nul) + 1;
        extra.assign(after, reinterpret_cast<const char *>(data) + size - after);
    }
    if (!zvfuzz::WriteScratch(path, data, size)) return 0;
    PRILoadFilterFile(path.c_str());
    QueryAll(extra);
    zviReloadFilter(path.c_str());
    QueryAll(extra);
    PRIFreeFilters(PRIInstallFilters(PRINewFilters()));
    return 0;
}
