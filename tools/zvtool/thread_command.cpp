// zvtool thread SOURCE OUTPUT_DIR: writes java/lang/Thread from SOURCE (a
// jmod, jar, directory or class file) with the agent's context field and
// accessor into OUTPUT_DIR/java/lang/Thread.class, for compiling and running
// with --patch-module java.base=OUTPUT_DIR.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "classfile/classfile.h"
#include "commands.h"
#include "pri/rewrite/instrument.h"
#include "support/heap.h"
#include "zvtool/class_sources.h"

namespace fs = std::filesystem;

int ThreadCommand(int argc, char **argv) {
    if (argc != 2) return kUsageError;
    std::vector<uint8_t> bytes;
    if (!ReadClass(argv[0], "java/lang/Thread", &bytes)) {
        std::fprintf(stderr, "%s: no java/lang/Thread class file\n", argv[0]);
        return 1;
    }
    std::unique_ptr<JCRClass, void (*)(JCRClass *)> jclass(
        JCRParseClass(bytes.data(), static_cast<int>(bytes.size())), JCRFreeClass);
    if (jclass == nullptr || PRIRewriteThreadClass(jclass.get()) == 0) {
        std::fprintf(stderr, "%s: java/lang/Thread could not be rewritten (unparsable or already rewritten)\n",
                     argv[0]);
        return 1;
    }
    int length = 0;
    std::unique_ptr<uint8_t, void (*)(void *)> written(JCRWriteClass(jclass.get(), &length), sFree);
    fs::path file = fs::path(argv[1]) / "java/lang/Thread.class";
    std::error_code error;
    fs::create_directories(file.parent_path(), error);
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (written == nullptr || !out.write(reinterpret_cast<const char *>(written.get()), length) || !out.flush()) {
        std::fprintf(stderr, "cannot write %s\n", file.c_str());
        return 1;
    }
    return 0;
}
