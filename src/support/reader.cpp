// The element reader: its constructors, and the parser of the text syntax
// (scalars with their escapes, lists and maps).
#include <cstdarg>
#include <cstring>
#include <new>
#include <string>

#include "support/element_maps.h"
#include "support/element_reader.h"
#include "support/heap.h"
#include "support/text.h"

namespace {

SEReader *newReader(std::unique_ptr<SECharSource> source) {
    auto *reader = new (std::nothrow) SEReader{};
    if (reader == nullptr) return nullptr;
    if (source != nullptr) {
        reader->lexer = new (std::nothrow) SELexer(std::move(source));
        if (reader->lexer == nullptr) {
            delete reader;
            return nullptr;
        }
    }
    return reader;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool isOctal(char c) { return c >= '0' && c <= '7'; }

void appendUnit(std::string &out, uint16_t unit) {
    char bytes[3];
    char *end = Utf8EncodeUnit(bytes, unit);
    out.append(bytes, static_cast<size_t>(end - bytes));
}

// Recursive-descent parser over the reader's lexer. Every failure records
// the reader's error text (unless the lexer failed) and returns null; the
// partly built tree is released on the way out.
class TextParser {
public:
    explicit TextParser(SEReader *reader) : reader_(reader), lexer_(*reader->lexer) {}

    SEElement *element(int depth) {
        if (reader_->error != nullptr || lexer_.error() != nullptr) return nullptr;
        int kind = lexer_.peek();
        if (kind == SE_TOKEN_NONE) return nullptr;
        lexer_.take();
        switch (kind) {
        case SE_TOKEN_WORD: return scalar();
        case SE_TOKEN_OPEN_LIST: return depth < kSEMaxDepth ? list(depth + 1) : syntaxError();
        case SE_TOKEN_OPEN_MAP: return depth < kSEMaxDepth ? map(depth + 1) : syntaxError();
        default:
            std::fputs("Syntax error\n", stderr);
            return syntaxError();
        }
    }

private:
    SEElement *scalar() {
        if (!decodeScalar(scratch_)) return nullptr;
        return SENewString(scratch_.data(), static_cast<int>(scratch_.size()));
    }

    // The text of the word just taken, with quotes removed and escapes applied.
    bool decodeScalar(std::string &out) {
        const std::string &text = lexer_.text();
        out.clear();
        if (text.empty()) {
            setError("Syntaxic error: internal inconsistency in deserializer: %s\n", "Empty string");
            return false;
        }
        if (text[0] != '"') {
            out = text;
            return true;
        }
        if (text.size() < 2) return malformed();
        const size_t end = text.size() - 1;  // the closing quote
        out.reserve(end);
        for (size_t i = 1; i < end;) {
            char c = text[i];
            if (c != '\\') {
                out.push_back(c);
                i++;
                continue;
            }
            if (i + 1 >= end) return malformed();
            char e = text[i + 1];
            switch (e) {
            case '"': out.push_back('"'); i += 2; break;
            case '\\': out.push_back('\\'); i += 2; break;
            case 'n': out.push_back('\n'); i += 2; break;
            case 'r': out.push_back('\r'); i += 2; break;
            case 't': out.push_back('\t'); i += 2; break;
            case 'u': {
                if (end - (i + 2) < 4) return malformed();
                int unit = 0;
                for (size_t k = i + 2; k < i + 6; k++) {
                    int digit = hexValue(text[k]);
                    if (digit < 0) return malformed();
                    unit = unit * 16 + digit;
                }
                appendUnit(out, static_cast<uint16_t>(unit));
                i += 6;
                break;
            }
            case 'x': {
                // A raw byte, not passed through the UTF-8 form: the only way to
                // write a NUL byte, which the writer needs for binary strings.
                if (end - (i + 2) < 2) return malformed();
                int high = hexValue(text[i + 2]);
                int low = hexValue(text[i + 3]);
                if (high < 0 || low < 0) return malformed();
                out.push_back(static_cast<char>(high * 16 + low));
                i += 4;
                break;
            }
            default:
                if (!isOctal(e) || end - (i + 1) < 3 || !isOctal(text[i + 2]) || !isOctal(text[i + 3]))
                    return malformed();
                appendUnit(out, static_cast<uint16_t>(((e - '0') * 64 + (text[i + 2] - '0') * 8 +
                                                       (text[i + 3] - '0')) % 256));
                i += 4;
                break;
            }
        }
        return true;
    }

    SEElement *list(int depth) {
        SEElement *list = SENewList(30);
        if (list == nullptr) return nullptr;
        bool afterElement = false;
        for (;;) {
            int kind = lexer_.peek();
            if (kind == SE_TOKEN_NONE) return fail(list, unterminated());
            if (kind == SE_TOKEN_CLOSE_LIST) {
                lexer_.take();
                return list;
            }
            if (kind == SE_TOKEN_COMMA) {
                if (!afterElement) return fail(list, syntaxError());
                lexer_.take();
                afterElement = false;
                continue;
            }
            if (afterElement) return fail(list, syntaxError());
            SEElement *item = element(depth);
            if (item == nullptr) return fail(list, nullptr);
            SEListAdd(list, item);
            afterElement = true;
        }
    }

    SEElement *map(int depth) {
        int kind = lexer_.peek();
        if (kind == SE_TOKEN_CLOSE_MAP) {
            lexer_.take();
            return SENewMap(0, nullptr);
        }
        if (kind == SE_TOKEN_NONE) return unterminated();
        if (kind != SE_TOKEN_WORD) return syntaxError();
        SEElement *map = SENewMap(30, nullptr);
        if (map == nullptr) return nullptr;
        for (;;) {
            kind = lexer_.peek();
            if (kind == SE_TOKEN_NONE) return fail(map, unterminated());
            if (kind == SE_TOKEN_CLOSE_MAP) {
                lexer_.take();
                return map;
            }
            // Keys are scalars only: a list or map in key position is refused.
            if (kind != SE_TOKEN_WORD) return fail(map, syntaxError());
            lexer_.take();
            if (!decodeScalar(scratch_)) return fail(map, nullptr);
            char *key = sStrdup(scratch_.c_str());
            if (key == nullptr) return fail(map, nullptr);
            SEElement *value = nullptr;
            kind = lexer_.peek();
            if (kind == SE_TOKEN_EQUALS) {
                lexer_.take();
                if (lexer_.peek() == SE_TOKEN_NONE) unterminated();
                else value = element(depth);
            } else if (kind == SE_TOKEN_NONE) {
                unterminated();
            } else {
                syntaxError();
            }
            if (value == nullptr || !seMapInsert(map, key, value)) {
                sFree(key);
                SEFree(value);
                return fail(map, nullptr);
            }
            kind = lexer_.peek();
            if (kind == SE_TOKEN_SEMICOLON || kind == SE_TOKEN_COMMA) lexer_.take();
        }
    }

    static SEElement *fail(SEElement *partial, SEElement *) {
        SEFree(partial);
        return nullptr;
    }

    void setError(const char *format, ...) {
        if (reader_->error != nullptr) return;
        reader_->error = static_cast<char *>(sMalloc(kSEErrorSize));
        if (reader_->error == nullptr) return;
        va_list args;
        va_start(args, format);
        std::vsnprintf(reader_->error, kSEErrorSize, format, args);
        va_end(args);
    }

    bool malformed() {
        setError("Syntaxic error: malformed string at line %d:\n", lexer_.line());
        return false;
    }

    SEElement *syntaxError() {
        setError("Syntax error: syntax error at line %d\n", lexer_.line());
        return nullptr;
    }

    // Out of tokens inside a list or map; a lexical error has its own text.
    SEElement *unterminated() {
        if (lexer_.error() == nullptr) setError("Syntaxic error: unterminated expression at line %d\n", lexer_.line());
        return nullptr;
    }

    SEReader *reader_;
    SELexer &lexer_;
    std::string scratch_;  // decoded scalar bytes, reused to spare allocations
};

}  // namespace

SEReader *SEReaderFromString(const char *text, int length) {
    if (text == nullptr) length = 0;
    else if (length < 0) length = static_cast<int>(std::strlen(text));
    return newReader(seStringSource(text, static_cast<size_t>(length)));
}

SEReader *SEReaderFromFile(const char *path) {
    if (path == nullptr) return nullptr;
    FILE *file = std::fopen(path, "rb");
    if (file == nullptr) return nullptr;
    SEReader *reader = newReader(seFileSource(file));
    if (reader == nullptr) {
        std::fclose(file);
        return nullptr;
    }
    reader->file = file;
    reader->ownsFile = true;
    return reader;
}

SEReader *SEReaderFromCallbacks(SENextCharFunction nextCharacter, SEHasMoreFunction hasMore) {
    if (nextCharacter == nullptr || hasMore == nullptr) return nullptr;
    return newReader(seCallbackSource(nextCharacter, hasMore));
}

SEReader *SEReaderFromBinary(const void *bytes, int length) {
    SEReader *reader = newReader(nullptr);
    if (reader == nullptr) return nullptr;
    reader->binary = 1;
    reader->memory = static_cast<const unsigned char *>(bytes);
    reader->size = bytes != nullptr && length > 0 ? length : 0;
    return reader;
}

void SEReaderSetBinary(SEReader *reader, int binary) {
    if (reader != nullptr) reader->binary = binary ? 1 : 0;
}

SEElement *SERead(SEReader *reader) {
    if (reader == nullptr) return nullptr;
    if (reader->binary) return seReadBinary(reader);
    if (reader->lexer == nullptr) return nullptr;
    return TextParser(reader).element(0);
}

const char *SEReaderError(const SEReader *reader) { return reader != nullptr ? reader->error : nullptr; }

const char *SEReaderLexerError(const SEReader *reader) {
    return reader != nullptr && reader->lexer != nullptr ? reader->lexer->error() : nullptr;
}

int SEReaderLine(const SEReader *reader) {
    return reader != nullptr && reader->lexer != nullptr && !reader->binary ? reader->lexer->line() : 0;
}

void SEReaderFree(SEReader *reader) {
    if (reader == nullptr) return;
    delete reader->lexer;
    sFree(reader->error);
    if (reader->ownsFile) std::fclose(reader->file);
    delete reader;
}
