// Class files from class-file paths, directory trees, and jar/zip/jmod
// archives (libzip; a jmod is a zip behind a 4-byte "JM\1\0" header).
#include "zvtool/class_sources.h"

#include <zip.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace {

bool EndsWith(const std::string &text, const char *suffix) {
    size_t length = std::strlen(suffix);
    return text.size() >= length && text.compare(text.size() - length, length, suffix) == 0;
}

bool ReadFile(const fs::path &path, std::vector<uint8_t> *bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

bool IsArchive(const std::string &path) {
    return EndsWith(path, ".jar") || EndsWith(path, ".zip") || EndsWith(path, ".jmod");
}

// The archive's zip, or null after a message; it reads from data, which
// must outlive it.
zip_t *OpenArchive(const std::string &path, std::vector<uint8_t> *data) {
    if (!ReadFile(path, data)) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        return nullptr;
    }
    size_t skip = data->size() >= 4 && std::memcmp(data->data(), "JM\1\0", 4) == 0 ? 4 : 0;
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t *source = zip_source_buffer_create(data->data() + skip, data->size() - skip, 0, &error);
    zip_t *archive = source == nullptr ? nullptr : zip_open_from_source(source, ZIP_RDONLY, &error);
    if (archive == nullptr) {
        std::fprintf(stderr, "cannot open archive %s: %s\n", path.c_str(), zip_error_strerror(&error));
        if (source != nullptr) zip_source_free(source);
    }
    zip_error_fini(&error);
    return archive;
}

bool ReadEntry(zip_t *archive, zip_int64_t index, const zip_stat_t &stat, std::vector<uint8_t> *bytes) {
    zip_file_t *file = zip_fopen_index(archive, index, 0);
    bytes->resize(stat.size);
    bool read = file != nullptr && zip_fread(file, bytes->data(), stat.size) == static_cast<zip_int64_t>(stat.size);
    if (file != nullptr) zip_fclose(file);
    return read;
}

bool VisitArchive(const std::string &path, const ClassVisitor &visit) {
    std::vector<uint8_t> data;
    zip_t *archive = OpenArchive(path, &data);
    if (archive == nullptr) return false;
    bool ok = true;
    std::vector<uint8_t> bytes;
    zip_int64_t entries = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < entries; i++) {
        zip_stat_t stat;
        if (zip_stat_index(archive, i, 0, &stat) != 0 || !(stat.valid & ZIP_STAT_NAME) ||
            !EndsWith(stat.name, ".class"))
            continue;
        if (!ReadEntry(archive, i, stat, &bytes)) {
            std::fprintf(stderr, "cannot read %s!%s\n", path.c_str(), stat.name);
            ok = false;
            continue;
        }
        visit(path + "!" + stat.name, bytes);
    }
    zip_close(archive);  // also frees the source
    return ok;
}

// A jar holds NAME.class, a jmod classes/NAME.class.
bool ReadArchiveClass(const std::string &path, const std::string &className, std::vector<uint8_t> *bytes) {
    std::vector<uint8_t> data;
    zip_t *archive = OpenArchive(path, &data);
    if (archive == nullptr) return false;
    bool found = false;
    for (const std::string &entry : {className + ".class", "classes/" + className + ".class"}) {
        zip_int64_t index = zip_name_locate(archive, entry.c_str(), 0);
        zip_stat_t stat;
        if (index >= 0 && zip_stat_index(archive, index, 0, &stat) == 0 && (stat.valid & ZIP_STAT_SIZE)) {
            found = ReadEntry(archive, index, stat, bytes);
            break;
        }
    }
    zip_close(archive);
    return found;
}

bool VisitClassFile(const fs::path &path, const ClassVisitor &visit) {
    std::vector<uint8_t> bytes;
    if (!ReadFile(path, &bytes)) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        return false;
    }
    visit(path.string(), bytes);
    return true;
}

bool VisitDirectory(const fs::path &directory, const ClassVisitor &visit) {
    std::vector<fs::path> files;
    std::error_code error;
    for (fs::recursive_directory_iterator it(directory, error), end; !error && it != end; it.increment(error)) {
        if (it->is_regular_file()) files.push_back(it->path());
    }
    if (error) {
        std::fprintf(stderr, "cannot walk %s: %s\n", directory.c_str(), error.message().c_str());
        return false;
    }
    std::sort(files.begin(), files.end());
    bool ok = true;
    for (const fs::path &file : files) {
        std::string name = file.string();
        if (EndsWith(name, ".class"))
            ok = VisitClassFile(file, visit) && ok;
        else if (IsArchive(name))
            ok = VisitArchive(name, visit) && ok;
    }
    return ok;
}

}  // namespace

bool ForEachClass(const std::string &path, const ClassVisitor &visit) {
    std::error_code error;
    if (fs::is_directory(path, error)) return VisitDirectory(path, visit);
    if (IsArchive(path)) return VisitArchive(path, visit);
    return VisitClassFile(path, visit);
}

bool ReadClass(const std::string &path, const std::string &className, std::vector<uint8_t> *bytes) {
    std::error_code error;
    if (fs::is_directory(path, error)) return ReadFile(fs::path(path) / (className + ".class"), bytes);
    if (IsArchive(path)) return ReadArchiveClass(path, className, bytes);
    return ReadFile(path, bytes);
}

bool LoadClasses(const std::vector<std::string> &paths, std::vector<LoadedClass> *classes) {
    bool ok = true;
    for (const std::string &path : paths) {
        ok = ForEachClass(path, [&](const std::string &name, std::span<const uint8_t> bytes) {
                 classes->push_back(LoadedClass{name, std::vector<uint8_t>(bytes.begin(), bytes.end())});
             }) && ok;
    }
    return ok;
}
