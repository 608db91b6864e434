#include "file_input.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

bool ReadInputFile(const char *path, long long limitMiB, std::string *bytes) {
    struct stat info;
    if (stat(path, &info) != 0) {
        std::fprintf(stderr, "%s: %s\n", path, std::strerror(errno));
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        std::fprintf(stderr, "%s: not a regular file\n", path);
        return false;
    }
    if (info.st_size > (limitMiB << 20)) {
        std::fprintf(stderr, "%s: larger than %lld MiB\n", path, limitMiB);
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) {
        std::fprintf(stderr, "%s: read error\n", path);
        return false;
    }
    return true;
}
