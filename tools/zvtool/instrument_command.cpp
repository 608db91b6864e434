// zvtool instrument [--filter FILE] [--no-lines] [--debug] IN OUT: instruments
// the classes of IN as the agent does at class load and writes them to OUT in
// the same layout: a class file, a directory tree, or a jar (class entries
// only). Classes that are not changed are written as they were.
#include <zip.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "classfile/classfile.h"
#include "commands.h"
#include "pri/filters/filters.h"
#include "pri/rewrite/instrument.h"
#include "support/heap.h"
#include "zvtool/class_sources.h"

namespace fs = std::filesystem;

namespace {

struct Result {
    std::string entry;  // the class file's path inside IN, "a/B.class"
    std::vector<uint8_t> bytes;
};

// Sources name archive entries "archive!entry" and files by their path.
std::string entryName(const std::string &in, const std::string &name) {
    size_t bang = name.rfind('!');
    if (bang != std::string::npos) return name.substr(bang + 1);
    return fs::path(name).lexically_relative(in).string();
}

// The instrumented bytes, or the original ones when nothing changed.
std::vector<uint8_t> instrument(std::span<const uint8_t> bytes, int *changed) {
    std::unique_ptr<JCRClass, void (*)(JCRClass *)> jclass(
        JCRParseClass(bytes.data(), static_cast<int>(bytes.size())), JCRFreeClass);
    if (jclass == nullptr || PRIInstrumentClass(jclass.get(), nullptr, 0) == 0) {
        return {bytes.begin(), bytes.end()};
    }
    int length = 0;
    std::unique_ptr<uint8_t, void (*)(void *)> written(JCRWriteClass(jclass.get(), &length), sFree);
    if (written == nullptr) return {bytes.begin(), bytes.end()};
    ++*changed;
    return {written.get(), written.get() + length};
}

bool writeFile(const fs::path &file, const std::vector<uint8_t> &bytes) {
    std::error_code error;
    if (file.has_parent_path()) fs::create_directories(file.parent_path(), error);
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    bool ok = out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size())) &&
              out.flush();
    if (!ok) std::fprintf(stderr, "cannot write %s\n", file.c_str());
    return ok;
}

bool writeJar(const std::string &path, const std::vector<Result> &results) {
    int error = 0;
    zip_t *zip = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (zip == nullptr) {
        std::fprintf(stderr, "cannot create %s\n", path.c_str());
        return false;
    }
    bool ok = true;
    for (const Result &r : results) {
        zip_source_t *source = zip_source_buffer(zip, r.bytes.data(), r.bytes.size(), 0);
        if (source == nullptr || zip_file_add(zip, r.entry.c_str(), source, ZIP_FL_OVERWRITE) < 0) {
            if (source != nullptr) zip_source_free(source);
            ok = false;
        }
    }
    if (zip_close(zip) != 0) {
        zip_discard(zip);
        ok = false;
    }
    if (!ok) std::fprintf(stderr, "cannot write %s\n", path.c_str());
    return ok;
}

bool isArchive(const std::string &path) {
    for (const char *suffix : {".jar", ".zip", ".jmod"}) {
        size_t n = std::strlen(suffix);
        if (path.size() > n && path.compare(path.size() - n, n, suffix) == 0) return true;
    }
    return false;
}

}  // namespace

int InstrumentCommand(int argc, char **argv) {
    PRIRuntimeSettings settings;
    settings.instrumentLines = 1;
    int arg = 0;
    for (; arg < argc && std::strncmp(argv[arg], "--", 2) == 0; ++arg) {
        if (std::strcmp(argv[arg], "--no-lines") == 0) {
            settings.instrumentLines = 0;
        } else if (std::strcmp(argv[arg], "--debug") == 0) {
            settings.debugInstrumentation = 1;
            settings.debugClassInstrumentation = "*";
        } else if (std::strcmp(argv[arg], "--filter") == 0 && arg + 1 < argc) {
            if (!PRILoadFilterFile(argv[++arg])) return 1;
        } else {
            return kUsageError;
        }
    }
    if (argc - arg != 2) return kUsageError;
    const std::string in = argv[arg];
    const std::string out = argv[arg + 1];
    PRISetSettings(settings);
    PRICreateClassTables();

    std::vector<Result> results;
    int changed = 0;
    bool read = ForEachClass(in, [&](const std::string &name, std::span<const uint8_t> bytes) {
        results.push_back({entryName(in, name), instrument(bytes, &changed)});
    });
    if (!read) return 1;
    bool written = true;
    if (isArchive(in)) {
        written = writeJar(out, results);
    } else if (fs::is_directory(in)) {
        for (const Result &r : results) written = writeFile(fs::path(out) / r.entry, r.bytes) && written;
    } else if (results.size() == 1) {
        written = writeFile(out, results.front().bytes);
    }
    if (!written) return 1;
    std::printf("%zu classes, %d instrumented\n", results.size(), changed);
    return 0;
}
