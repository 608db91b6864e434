// Class files from class-file paths, directory trees, and jar/zip/jmod
// archives (libzip; a jmod is a zip behind a 4-byte "JM\1\0" header).
#include "zvtool/class_sources.h"

#include <zip.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>

namespace fs = std::filesystem;

namespace {

bool EndsWith(const std::string &text, const char *suffix) {
    size_t length = std::strlen(suffix);
    return text.size() >= length && text.compare(text.size() - length, length, suffix) == 0;
}

// The counts in a class file are 16 bits wide, so the format bounds a class
// only at gigabytes (65535 constants of up to 64 KiB each), while compilers
// and generators stay far below a few MiB. 64 MiB admits any real class,
// refuses a wrong path before it fills memory, and keeps sizes within the int
// that the class parser takes.
constexpr uintmax_t kMaxClassFileBytes = uintmax_t{64} << 20;

void ReportTooLarge(const std::string &name) {
    std::fprintf(stderr, "%s: larger than %ju MiB, too large for a class file\n", name.c_str(),
                 kMaxClassFileBytes >> 20);
}

// The bytes of a regular file of at most `limit` bytes; false after a message
// naming the path. Devices and pipes are refused since they may never end.
bool ReadFile(const fs::path &path, uintmax_t limit, std::vector<uint8_t> *bytes) {
    std::error_code error;
    fs::file_status status = fs::status(path, error);
    if (fs::exists(status) && !fs::is_regular_file(status)) {
        std::fprintf(stderr, "%s: not a regular file\n", path.c_str());
        return false;
    }
    uintmax_t size = fs::file_size(path, error);
    if (!error && size > limit) {
        ReportTooLarge(path.string());
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    bytes->resize(error ? 0 : size);
    if (error || !in.read(reinterpret_cast<char *>(bytes->data()), static_cast<std::streamsize>(size))) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        return false;
    }
    return true;
}

bool IsArchive(const std::string &path) {
    return EndsWith(path, ".jar") || EndsWith(path, ".zip") || EndsWith(path, ".jmod");
}

// The archive's zip, or null after a message; it reads from data, which
// must outlive it.
zip_t *OpenArchive(const std::string &path, std::vector<uint8_t> *data) {
    // Archives are not bounded: a jmod or a jar of dependencies is many class files.
    if (!ReadFile(path, std::numeric_limits<uintmax_t>::max(), data)) return nullptr;
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
    if (stat.size > kMaxClassFileBytes) return false;
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
            if (stat.size > kMaxClassFileBytes) ReportTooLarge(path + "!" + stat.name);
            else std::fprintf(stderr, "cannot read %s!%s\n", path.c_str(), stat.name);
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
    if (!ReadFile(path, kMaxClassFileBytes, &bytes)) return false;
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
    if (fs::is_directory(path, error)) return ReadFile(fs::path(path) / (className + ".class"), kMaxClassFileBytes, bytes);
    if (IsArchive(path)) return ReadArchiveClass(path, className, bytes);
    return ReadFile(path, kMaxClassFileBytes, bytes);
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
