// Fuzz targets whose input surface is a file: the input is written to a
// scratch file of this process, and standard output (progress notes) is
// silenced once; standard error stays for the sanitizers' reports.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace zvfuzz {

inline const std::string &ScratchPath(const char *name) {
    // In memory where the machine offers it: the file is written for every input.
    static const std::string path = std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + "/zv_" + name +
                                    "_" + std::to_string(getpid());
    return path;
}

// True when the bytes are in the file.
inline bool WriteScratch(const std::string &path, const uint8_t *data, size_t size) {
    static const bool quiet = freopen("/dev/null", "w", stdout) != nullptr;
    (void)quiet;
    FILE *file = fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    bool ok = fwrite(data, 1, size, file) == size;
    return fclose(file) == 0 && ok;
}

}  // namespace zvfuzz
