// Conversions between the agent's UTF-8 form and the process code page (the
// C library's multibyte encoding), and the escaped ASCII form of a
// code-page text.
#include <langinfo.h>
#include <locale.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "support/heap.h"
#include "support/text.h"

namespace {

// A process that never called setlocale runs in the C locale, whose codeset
// is plain ASCII and would refuse every other character. Linux text is UTF-8
// in practice, so in that case the conversion runs under C.UTF-8 on the
// calling thread only; a locale the process did choose is used as it is.
class CodePageLocale {
public:
    CodePageLocale() {
        if (strcmp(nl_langinfo(CODESET), "ANSI_X3.4-1968") != 0) return;
        static locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
        if (utf8 != static_cast<locale_t>(0)) previous_ = uselocale(utf8);
    }
    ~CodePageLocale() {
        if (previous_ != static_cast<locale_t>(0)) uselocale(previous_);
    }
    CodePageLocale(const CodePageLocale &) = delete;
    CodePageLocale &operator=(const CodePageLocale &) = delete;

private:
    locale_t previous_ = static_cast<locale_t>(0);
};

bool IsHighSurrogate(uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// The agent's text as characters: 16-bit units, surrogate pairs joined, up
// to the first unit 0 (an encoded NUL ends the text, as in a wide string).
std::wstring DecodeCharacters(const char *text) {
    std::wstring characters;
    uint16_t unit;
    while (*text != '\0') {
        text = Utf8DecodeChar(text, &unit);
        if (unit == 0) break;
        uint32_t character = unit;
        if (IsHighSurrogate(unit) && *text != '\0') {
            uint16_t low;
            const char *after = Utf8DecodeChar(text, &low);
            if (IsLowSurrogate(low)) {
                character = 0x10000 + ((character - 0xD800) << 10) + (low - 0xDC00u);
                text = after;
            }
        }
        characters += static_cast<wchar_t>(character);
    }
    return characters;
}

void AppendEscaped(std::string &out, uint16_t unit) {
    if (unit == '\\') {
        out += "\\\\";
    } else if (unit < 128) {
        out += static_cast<char>(unit);
    } else {
        char escape[16];
        snprintf(escape, sizeof escape, "\\u%04x", unit);
        out += escape;
    }
}

}  // namespace

char *Utf8ToCodePage(const char *text) {
    if (text == nullptr) return nullptr;
    CodePageLocale locale;
    std::string out;
    mbstate_t state{};
    char bytes[MB_LEN_MAX];
    for (wchar_t character : DecodeCharacters(text)) {
        size_t length = wcrtomb(bytes, character, &state);
        if (length == static_cast<size_t>(-1)) {
            printf("Error converting unicode %d\n", errno);
            return nullptr;
        }
        out.append(bytes, length);
    }
    return sStrdup(out.c_str());
}

// A byte that is not part of a valid character in the code page is taken as
// the character of its own value, so no input is lost or refused.
char *CodePageToEscapedAscii(const char *text) {
    if (text == nullptr) return nullptr;
    CodePageLocale locale;
    std::string out;
    mbstate_t state{};
    const char *end = text + strlen(text);
    while (text < end) {
        wchar_t character;
        size_t length = mbrtowc(&character, text, static_cast<size_t>(end - text), &state);
        if (length == static_cast<size_t>(-1) || length == static_cast<size_t>(-2) || length == 0) {
            character = static_cast<unsigned char>(*text);
            length = 1;
            state = mbstate_t{};
        }
        text += length;
        auto code = static_cast<uint32_t>(character);
        if (code > 0x10FFFF) code = 0xFFFD;
        if (code > 0xFFFF) {  // outside the 16-bit range: a surrogate pair
            code -= 0x10000;
            AppendEscaped(out, static_cast<uint16_t>(0xD800 + (code >> 10)));
            AppendEscaped(out, static_cast<uint16_t>(0xDC00 + (code & 0x3FF)));
        } else {
            AppendEscaped(out, static_cast<uint16_t>(code));
        }
    }
    return sStrdup(out.c_str());
}
