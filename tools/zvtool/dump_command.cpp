// zvtool dump FILE.class: prints the parsed class with the model's dumps.
#include <cstdio>
#include <string>

#include "classfile/classfile.h"
#include "commands.h"
#include "zvtool/class_sources.h"

int DumpCommand(int argc, char **argv) {
    if (argc != 1) return kUsageError;
    int status = 0;
    int seen = 0;
    bool read = ForEachClass(argv[0], [&](const std::string &name, std::span<const uint8_t> bytes) {
        seen++;
        std::printf("== %s\n", name.c_str());
        JCRClass *jclass = JCRParseClass(bytes.data(), static_cast<int>(bytes.size()));
        if (jclass == nullptr) {
            std::fprintf(stderr, "%s: not a parsable class\n", name.c_str());
            status = 1;
            return;
        }
        JCRDumpClass(jclass);
        JCRFreeClass(jclass);
    });
    if (!read) return 1;
    if (seen == 0) {
        std::fprintf(stderr, "%s: no class files\n", argv[0]);
        return 1;
    }
    return status;
}
