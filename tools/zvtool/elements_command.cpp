// zvtool elements: the elements of a file in the text syntax, read from the
// text syntax or, with --binary, from the binary syntax (a serialized
// metrics tree, for one).
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "commands.h"
#include "support/elements.h"
#include "support/heap.h"

namespace {

// Element files are small; a device or a pipe would never end.
constexpr long long kLargestFile = 64LL << 20;

bool readFile(const char *path, std::string *bytes) {
    struct stat info;
    if (stat(path, &info) != 0) {
        std::fprintf(stderr, "%s: %s\n", path, std::strerror(errno));
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        std::fprintf(stderr, "%s: not a regular file\n", path);
        return false;
    }
    if (info.st_size > kLargestFile) {
        std::fprintf(stderr, "%s: larger than 64 MiB\n", path);
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

}  // namespace

int ElementsCommand(int argc, char **argv) {
    bool binary = argc == 2 && std::strcmp(argv[0], "--binary") == 0;
    if (argc != (binary ? 2 : 1)) return kUsageError;
    const char *path = argv[argc - 1];
    std::string bytes;
    if (!readFile(path, &bytes)) return 1;
    int length = static_cast<int>(bytes.size());
    SEReader *reader = binary ? SEReaderFromBinary(bytes.data(), length) : SEReaderFromString(bytes.data(), length);
    SEReaderSetBinary(reader, binary ? 1 : 0);
    int count = 0;
    while (SEElement *element = SERead(reader)) {
        char *text = SEWrite(element);
        std::printf("%s\n", text != nullptr ? text : "");
        sFree(text);
        SEFree(element);
        ++count;
    }
    const char *error = SEReaderError(reader);
    if (error == nullptr) error = SEReaderLexerError(reader);
    int status = 0;
    if (error != nullptr && *error != '\0') {
        std::fprintf(stderr, "%s: %s", path, error);
        if (error[std::strlen(error) - 1] != '\n') std::fputc('\n', stderr);
        status = 1;
    } else if (count == 0) {
        std::fprintf(stderr, "%s: no complete element\n", path);
        status = 1;
    }
    SEReaderFree(reader);
    return status;
}
