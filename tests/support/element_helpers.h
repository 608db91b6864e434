// Test helpers for element trees: owning pointers and one-shot reads.
#pragma once

#include <memory>
#include <string>

#include "support/elements.h"
#include "support/heap.h"

struct ElementDeleter {
    void operator()(SEElement *element) const { SEFree(element); }
};
using ElementPtr = std::unique_ptr<SEElement, ElementDeleter>;

struct ReaderDeleter {
    void operator()(SEReader *reader) const { SEReaderFree(reader); }
};
using ReaderPtr = std::unique_ptr<SEReader, ReaderDeleter>;

struct TextDeleter {
    void operator()(char *text) const { sFree(text); }
};
using TextPtr = std::unique_ptr<char, TextDeleter>;

// The first element of a text, with the reader's error text ("" when none).
struct ReadResult {
    ElementPtr element;
    std::string error;
    std::string lexerError;
};

inline ReadResult readText(const std::string &text) {
    ReaderPtr reader(SEReaderFromString(text.data(), static_cast<int>(text.size())));
    ReadResult result;
    result.element.reset(SERead(reader.get()));
    if (const char *error = SEReaderError(reader.get())) result.error = error;
    if (const char *error = SEReaderLexerError(reader.get())) result.lexerError = error;
    return result;
}

inline std::string bytesOf(const SEElement *element) {
    return std::string(SEGetString(element), static_cast<size_t>(element->value));
}
