// Tokenizer of the element text syntax. Characters arrive in blocks of 128
// from a memory string, a stream or the caller's functions.
#include "support/lexer.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

enum CharClass : unsigned char { kSeparator = 0, kWordChar = 1, kTokenChar = 2 };

struct CharTable {
    std::array<unsigned char, 256> classes{};
    std::array<unsigned char, 256> kinds{};
};

// One table for all lexers, built on first use (thread-safe static init).
const CharTable &charTable() {
    static const CharTable table = [] {
        CharTable t;
        for (int c = 33; c <= 126; c++) t.classes[c] = kWordChar;
        const struct {
            char c;
            int kind;
        } tokens[] = {{'(', SE_TOKEN_OPEN_LIST}, {')', SE_TOKEN_CLOSE_LIST}, {'{', SE_TOKEN_OPEN_MAP},
                      {'=', SE_TOKEN_EQUALS},    {';', SE_TOKEN_SEMICOLON},  {'}', SE_TOKEN_CLOSE_MAP},
                      {',', SE_TOKEN_COMMA},     {'@', SE_TOKEN_AT}};
        for (const auto &token : tokens) {
            t.classes[static_cast<unsigned char>(token.c)] = kTokenChar;
            t.kinds[static_cast<unsigned char>(token.c)] = static_cast<unsigned char>(token.kind);
        }
        t.classes['/'] = kSeparator;  // ends a word; starts a comment between tokens
        return t;
    }();
    return table;
}

class StringSource : public SECharSource {
public:
    StringSource(const char *text, size_t length) : text_(text, length) {}
    int fill(unsigned char *buffer, int capacity) override {
        size_t count = std::min(text_.size() - position_, static_cast<size_t>(capacity));
        std::memcpy(buffer, text_.data() + position_, count);
        position_ += count;
        return static_cast<int>(count);
    }

private:
    std::string text_;  // a copy, so the caller's text may go before the reader
    size_t position_ = 0;
};

class FileSource : public SECharSource {
public:
    explicit FileSource(FILE *file) : file_(file) {}
    int fill(unsigned char *buffer, int capacity) override {
        int count = 0;
        while (count < capacity && !std::feof(file_)) {
            int c = std::fgetc(file_);
            if (c == EOF) break;
            buffer[count++] = static_cast<unsigned char>(c);
        }
        return count;
    }

private:
    FILE *file_;
};

class CallbackSource : public SECharSource {
public:
    CallbackSource(SENextCharFunction next, SEHasMoreFunction hasMore) : next_(next), hasMore_(hasMore) {}
    int fill(unsigned char *buffer, int capacity) override {
        int count = 0;
        while (count < capacity && hasMore_()) {
            int c = next_();
            if (c < 0) break;  // EOF from a getc-like function
            buffer[count++] = static_cast<unsigned char>(c);
        }
        return count;
    }

private:
    SENextCharFunction next_;
    SEHasMoreFunction hasMore_;
};

}  // namespace

std::unique_ptr<SECharSource> seStringSource(const char *text, size_t length) {
    return std::make_unique<StringSource>(text != nullptr ? text : "", text != nullptr ? length : 0);
}

std::unique_ptr<SECharSource> seFileSource(FILE *file) { return std::make_unique<FileSource>(file); }

std::unique_ptr<SECharSource> seCallbackSource(SENextCharFunction nextCharacter, SEHasMoreFunction hasMore) {
    return std::make_unique<CallbackSource>(nextCharacter, hasMore);
}

SELexer::SELexer(std::unique_ptr<SECharSource> source) : source_(std::move(source)) { charTable(); }

int SELexer::peek() {
    if (current_ == SE_TOKEN_NONE && error_[0] == '\0') current_ = scan();
    return current_;
}

int SELexer::readChar() {
    if (position_ == length_) {
        if (exhausted_) return -1;
        length_ = source_->fill(buffer_, kBlockSize);
        position_ = 0;
        if (length_ <= 0) {
            length_ = 0;
            exhausted_ = true;
            return -1;
        }
    }
    int c = buffer_[position_++];
    if (c == '\n') lineCount_++;
    return c;
}

// Only ever called right after readChar returned c, so the block still holds it.
void SELexer::unreadChar(int c) {
    position_--;
    if (c == '\n') lineCount_--;
}

void SELexer::fail(const char *format) { std::snprintf(error_, sizeof error_, format, line()); }

int SELexer::scan() {
    enum State { kBetween, kWord, kQuoted, kSlash, kBlockComment, kLineComment };
    const CharTable &table = charTable();
    State state = kBetween;
    bool escape = false;
    bool starSeen = false;
    text_.clear();
    for (;;) {
        int c = readChar();
        if (c < 0) {
            switch (state) {
            case kWord: return SE_TOKEN_WORD;
            case kQuoted: fail("Lexical error: unterminated string at line %d"); break;
            case kSlash: fail("Lexical error: syntax error at line %d"); break;
            case kBlockComment: fail("Lexical error: unterminated comment at line %d"); break;
            default: break;
            }
            return SE_TOKEN_NONE;
        }
        switch (state) {
        case kBetween:
            if (c == '/') {
                state = kSlash;
            } else if (table.classes[c] == kWordChar) {
                text_.push_back(static_cast<char>(c));
                state = c == '"' ? kQuoted : kWord;
                escape = false;
            } else if (table.classes[c] == kTokenChar) {
                text_.push_back(static_cast<char>(c));
                return table.kinds[c];
            }
            break;
        case kWord: {
            if (c == '"' || table.classes[c] != kWordChar) {
                unreadChar(c);
                return SE_TOKEN_WORD;
            }
            // The rest of the word within this block in one append.
            int end = position_;
            while (end < length_ && buffer_[end] != '"' && table.classes[buffer_[end]] == kWordChar) end++;
            text_.append(reinterpret_cast<const char *>(buffer_) + position_ - 1, end - position_ + 1);
            position_ = end;
            break;
        }
        case kQuoted:
            if (c != '"' && c != '\\' && c != '\n') {
                // A run of plain characters within this block in one append.
                int end = position_;
                while (end < length_ && buffer_[end] != '"' && buffer_[end] != '\\' && buffer_[end] != '\n') end++;
                text_.append(reinterpret_cast<const char *>(buffer_) + position_ - 1, end - position_ + 1);
                position_ = end;
                escape = false;
                break;
            }
            text_.push_back(static_cast<char>(c));
            if (c == '\\') {
                escape = !escape;
            } else {
                if (c == '"' && !escape) return SE_TOKEN_WORD;
                escape = false;
            }
            break;
        case kSlash:
            if (c == '*') {
                state = kBlockComment;
                starSeen = false;
            } else if (c == '/') {
                state = kLineComment;
            } else {
                fail("Syntax error at line %d");
                return SE_TOKEN_NONE;
            }
            break;
        case kBlockComment:
            if (starSeen && c == '/') state = kBetween;
            else starSeen = c == '*';
            break;
        case kLineComment:
            if (c == '\n') state = kBetween;
            break;
        }
    }
}
