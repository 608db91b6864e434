// zvtool elements: the elements of a file in the text syntax, read from the
// text syntax or, with --binary, from the binary syntax (a serialized
// metrics tree, for one).
#include <cstdio>
#include <cstring>
#include <string>

#include "commands.h"
#include "file_input.h"
#include "support/elements.h"
#include "support/heap.h"

int ElementsCommand(int argc, char **argv) {
    bool binary = argc == 2 && std::strcmp(argv[0], "--binary") == 0;
    if (argc != (binary ? 2 : 1)) return kUsageError;
    const char *path = argv[argc - 1];
    std::string bytes;
    if (!ReadInputFile(path, 64, &bytes)) return 1;  // element files are small
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
