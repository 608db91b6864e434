// Fuzzes the option sources and the filter reader. The first byte picks the
// input's role: an option string, a filter file, or an XML configuration file.
#include <libxml/parser.h>
#include <libxml/xmlerror.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "config/config.h"
#include "pri/filters/filters.h"
#include "scratch_file.h"
#include "support/install_paths.h"

namespace {

void IgnoreXmlError(void *, const char *, ...) {}

const std::string &ScratchPath() { return zvfuzz::ScratchPath("fuzz_configuration"); }

void Prepare() {
    static bool done = false;
    if (done) return;
    done = true;
    // Progress messages are not findings; stderr stays for crash reports.
    if (!freopen("/dev/null", "w", stdout)) return;
    xmlSetGenericErrorFunc(nullptr, IgnoreXmlError);
}

void LoadWithOptions(const char *options) {
    SEElement *exclusion = nullptr, *arguments = nullptr;
    int32_t directIMode = 1, highPrecision = 1, ignoreFrequency = 0;
    LoadOptions(options, &exclusion, &arguments, &directIMode, &highPrecision, &ignoreFrequency);
}

void QueryFilters() {
    PRIFilterGroupOf("java/lang/String", "length", "()I", 1);
    PRIFilterEliminates("com/acme/Main", "main", "([Ljava/lang/String;)V", 9);
    PRIFilterIgnoresMemory("a/B", "m", "()V", 2);
    PRIFilterIgnoresCPU("a/B", "m", "()V", 4);
    zviFilterAffectsCPUProfiler();
    zviFilterAffectsMemoryProfiler();
    for (int32_t id = -1; id < 4; id++) PRIFilterGroupName(id);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    Prepare();
    if (size == 0) return 0;
    const uint8_t role = data[0] % 3;
    const uint8_t *body = data + 1;
    size_t length = size - 1;
    if (role == 0) {
        std::string options(reinterpret_cast<const char *>(body), length);
        LoadWithOptions(options.c_str());
    } else if (zvfuzz::WriteScratch(ScratchPath(), body, length)) {
        if (role == 1) {
            PRILoadFilterFile(ScratchPath().c_str());
            QueryFilters();
            zviReloadFilter(ScratchPath().c_str());
            QueryFilters();
        } else {
            LoadWithOptions(ScratchPath().c_str());
        }
    }
    FreeAgentOptions(InstallAgentOptions(NewAgentOptions()));
    PRIFreeFilters(PRIInstallFilters(PRINewFilters()));
    delete UseInstallPaths(new InstallPaths());
    return 0;
}
