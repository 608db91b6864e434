// Tokenizer of the element text syntax: words and quoted strings, the
// single-character tokens, comments, and line counting for messages.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "support/elements.h"

enum SETokenKind : int {
    SE_TOKEN_NONE = 0,
    SE_TOKEN_WORD = 1,  // a word or a quoted string (quotes included)
    SE_TOKEN_OPEN_LIST = 4,
    SE_TOKEN_CLOSE_LIST = 5,
    SE_TOKEN_OPEN_MAP = 6,
    SE_TOKEN_EQUALS = 7,
    SE_TOKEN_SEMICOLON = 8,
    SE_TOKEN_CLOSE_MAP = 9,
    SE_TOKEN_COMMA = 10,
    SE_TOKEN_AT = 11,
};

// Where the lexer's characters come from, delivered in blocks.
class SECharSource {
public:
    virtual ~SECharSource() = default;
    // Up to `capacity` characters into `buffer`; 0 at the end of input.
    virtual int fill(unsigned char *buffer, int capacity) = 0;
};

std::unique_ptr<SECharSource> seStringSource(const char *text, size_t length);
// Reads with fgetc while the stream has not reached its end; does not close it.
std::unique_ptr<SECharSource> seFileSource(FILE *file);
std::unique_ptr<SECharSource> seCallbackSource(SENextCharFunction nextCharacter, SEHasMoreFunction hasMore);

struct SELexer {
    explicit SELexer(std::unique_ptr<SECharSource> source);

    // The kind of the pending token, reading one when none is pending;
    // SE_TOKEN_NONE at the end of input or after a lexical error.
    int peek();
    // Consumes the pending token.
    void take() { current_ = SE_TOKEN_NONE; }
    // Text of the pending token: a single-character token is that character.
    const std::string &text() const { return text_; }
    // Line numbers in messages count from 1.
    int line() const { return lineCount_ + 1; }
    // The lexical error, or null.
    const char *error() const { return error_[0] != '\0' ? error_ : nullptr; }

private:
    static constexpr int kBlockSize = 128;

    int scan();
    int readChar();
    void unreadChar(int c);
    void fail(const char *format);

    std::unique_ptr<SECharSource> source_;
    unsigned char buffer_[kBlockSize];
    int position_ = 0;
    int length_ = 0;
    bool exhausted_ = false;
    int current_ = SE_TOKEN_NONE;
    int lineCount_ = 0;
    std::string text_;
    char error_[128] = {};
};
