// The element reader record, shared by the text parser and the binary reader.
#pragma once

#include <cstdio>

#include "support/elements.h"
#include "support/lexer.h"

struct SEReader {
    SELexer *lexer;  // text syntax only
    // Byte sources of the binary syntax; the first one present is used.
    SEReadBytesFunction readBytes;
    SEReadBytesContextFunction readBytesContext;
    FILE *file;
    int binary;   // 0 text syntax, 1 binary syntax
    char *error;  // null, or a 128-byte message set by the text parser
    const unsigned char *memory;
    int position;
    int size;
    void *context;
    bool ownsFile;
};

constexpr int kSEErrorSize = 128;

SEElement *seReadBinary(SEReader *reader);
