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

// The first element of a text, or null.
inline ElementPtr readText(const std::string &text) {
    ReaderPtr reader(SEReaderFromString(text.data(), static_cast<int>(text.size())));
    return ElementPtr(SERead(reader.get()));
}

// The canonical text of a tree, "null" for none.
inline std::string writeText(const SEElement *element) {
    TextPtr text(SEWrite(element));
    return text != nullptr ? text.get() : "null";
}

inline std::string bytesOf(const SEElement *element) {
    return std::string(SEGetString(element), static_cast<size_t>(element->value));
}
