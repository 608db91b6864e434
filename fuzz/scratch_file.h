// Fuzz targets whose input surface is a file: the input is written to a
// scratch file of this process, and standard output (progress notes) is
// silenced once; standard error stays for the sanitizers' reports.
// The file is created once and rewritten in place for every input (no
// create and unlink per input: that cost is not the code under test); it is
// removed when the process exits.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace zvfuzz {

inline const std::string &ScratchPath(const char *name) {
    // In memory where the machine offers it: the file is written for every input.
    static const std::string path = std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + "/zv_" + name +
                                    "_" + std::to_string(getpid());
    return path;
}

// True when the bytes, and only they, are in the file at path (one path per process).
inline bool WriteScratch(const std::string &path, const uint8_t *data, size_t size) {
    static int fd = [&path] {
        if (freopen("/dev/null", "w", stdout) == nullptr) std::perror("stdout stays open");
        static std::string removed;
        removed = path;
        std::atexit([] { unlink(removed.c_str()); });
        return -1;
    }();
    // A filter file may ask to be deleted once read: then a new one is made.
    struct stat status;
    if (fd >= 0 && (fstat(fd, &status) != 0 || status.st_nlink == 0)) {
        close(fd);
        fd = -1;
    }
    if (fd < 0) fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0 || ftruncate(fd, 0) != 0) return false;
    size_t done = 0;
    while (done < size) {
        ssize_t n = pwrite(fd, data + done, size - done, static_cast<off_t>(done));
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace zvfuzz
