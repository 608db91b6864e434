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
    // Keys written with nothing after their '=', in order.
    const std::vector<std::string> &emptyKeys() const { return emptyKeys_; }

private:
    bool inQuotes() const { return !stack_.empty() && stack_.back() == Context::kQuoted; }
    bool in(Context context) const { return !stack_.empty() && stack_.back() == context; }

    void closeWord() {
        if (in(Context::kWord)) {
            out_.push_back('"');
            stack_.pop_back();
        }
    }

    // A key with nothing after its '=' gets the empty string, so that the
    // rest of the text still reads, and the key is listed.
    void closeValue() {
        closeWord();
        if (in(Context::kMapValue) && out_.back() == '=') {
            out_ += "\"\"";
            emptyKeys_.push_back(key_);
        }
    }

    bool step(char c) {
        // Where a key begins: the first character of a map entry.
        if (in(Context::kMapKey) && (out_.back() == '{' || out_.back() == ';')) keyStart_ = out_.size();
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
            // The key as written, without the quotes around it.
            key_ = out_.substr(keyStart_);
            if (key_.size() >= 2 && key_.front() == '"' && key_.back() == '"') key_ = key_.substr(1, key_.size() - 2);
            out_.push_back('=');
            stack_.back() = Context::kMapValue;
            return true;
        case ',':
        case ';':
            closeValue();
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
            closeValue();
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
    size_t keyStart_ = 0;
    std::string key_;
    std::vector<std::string> emptyKeys_;
};

}  // namespace

char *SENormalizeArguments(const char *text, void (*emptyKey)(const char *key, void *context), void *context) {
    if (text == nullptr) return sStrdup("{}");
    std::string wrapped = text[0] == '{' ? std::string(text) : "{" + std::string(text) + "}";
    Normalizer normalizer;
    if (!normalizer.run(wrapped)) return nullptr;
    const std::string &out = normalizer.output();
    // Each character yields at most three output bytes, so the result stays
    // within three times the input plus 10.
    assert(out.size() <= 3 * std::strlen(text) + 10);
    if (out.size() >= INT_MAX) return nullptr;
    if (emptyKey != nullptr)
        for (const std::string &key : normalizer.emptyKeys()) emptyKey(key.c_str(), context);
    return sStrdup(out.c_str());
}
