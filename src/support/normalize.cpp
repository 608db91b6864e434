// The relaxed argument form of the command line (port=1470,x=y) turned into
// the element text syntax: words quoted, map entries ended with ';'.
#include <cassert>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "support/elements.h"
#include "support/heap.h"

namespace {

enum class Context { kList, kMapKey, kMapValue, kQuoted, kWord };

class Normalizer {
public:
    // False when the relaxed text is malformed.
    bool run(std::string_view text) {
        for (char c : text)
            if (!step(c)) return false;
        // An unclosed quote, list or map cannot become valid text.
        return stack_.empty();
    }

    const std::string &output() const { return out_; }

private:
    bool inQuotes() const { return !stack_.empty() && stack_.back() == Context::kQuoted; }
    bool in(Context context) const { return !stack_.empty() && stack_.back() == context; }

    void closeWord() {
        if (in(Context::kWord)) {
            out_.push_back('"');
            stack_.pop_back();
        }
    }

    bool step(char c) {
        if (c == '"') {
            out_.push_back(c);
            if (inQuotes()) stack_.pop_back();
            else stack_.push_back(Context::kQuoted);
            return true;
        }
        if (inQuotes()) {
            out_.push_back(c);
            return true;
        }
        switch (c) {
        case '(':
        case '{':
            out_.push_back(c);
            stack_.push_back(c == '(' ? Context::kList : Context::kMapKey);
            return true;
        case '=':
            closeWord();
            if (!in(Context::kMapKey)) return false;
            out_.push_back('=');
            stack_.back() = Context::kMapValue;
            return true;
        case ',':
        case ';':
            closeWord();
            if (in(Context::kList)) {
                out_.push_back(',');
            } else if (in(Context::kMapValue)) {
                out_.push_back(';');
                stack_.back() = Context::kMapKey;
            } else {
                return false;
            }
            return true;
        case ')':
            closeWord();
            if (!in(Context::kList)) return false;
            out_.push_back(')');
            stack_.pop_back();
            return true;
        case '}':
            closeWord();
            if (!in(Context::kMapKey) && !in(Context::kMapValue)) return false;
            stack_.pop_back();
            // An empty map stays "{}": "{;}" would not read back.
            if (out_.back() != ';' && out_.back() != '{') out_.push_back(';');
            out_.push_back('}');
            return true;
        default:
            if (!stack_.empty() && !in(Context::kWord)) {
                out_.push_back('"');
                stack_.push_back(Context::kWord);
            }
            out_.push_back(c);
            return true;
        }
    }

    std::string out_;
    std::vector<Context> stack_;
};

}  // namespace

char *SENormalizeArguments(const char *text) {
    if (text == nullptr) return sStrdup("{}");
    std::string wrapped = text[0] == '{' ? std::string(text) : "{" + std::string(text) + "}";
    Normalizer normalizer;
    if (!normalizer.run(wrapped)) return nullptr;
    const std::string &out = normalizer.output();
    // Each character yields at most three output bytes, so the result stays
    // within three times the input plus 10.
    assert(out.size() <= 3 * std::strlen(text) + 10);
    if (out.size() >= INT_MAX) return nullptr;
    return sStrdup(out.c_str());
}
