// Canonical text of an element tree, which the text parser reads back, and
// structural equality of trees.
//
// The text syntax has only strings, lists and maps, so the writer maps the
// other kinds onto them: integers become decimal words, numeric arrays lists
// of decimal words (bytes unsigned), a null item the empty string. Map
// entries are written once per key (the entry lookups find), sorted by key.
#include <cstring>
#include <string>

#include "support/element_maps.h"
#include "support/heap.h"

namespace {

bool isDelimiter(unsigned char c) {
    switch (c) {
    case '"': case '(': case ')': case '{': case '}': case '=': case ';': case ',': case '@': case '/':
        return true;
    default:
        return false;
    }
}

bool needsQuotes(std::string_view bytes) {
    if (bytes.empty()) return true;
    for (unsigned char c : bytes)
        if (c <= 32 || c >= 127 || isDelimiter(c)) return true;
    return false;
}

void writeString(std::string &out, std::string_view bytes) {
    if (!needsQuotes(bytes)) {
        out.append(bytes);
        return;
    }
    out.push_back('"');
    for (unsigned char c : bytes) {
        switch (c) {
        case '"': out.append("\\\""); break;
        case '\\': out.append("\\\\"); break;
        case '\n': out.append("\\n"); break;
        case '\r': out.append("\\r"); break;
        case '\t': out.append("\\t"); break;
        case 0: out.append("\\x00"); break;  // the one byte no other escape gives back
        default:
            if (c < 32 || c == 127) {
                // Octal escapes below 128 read back as that single byte.
                char escape[5] = {'\\', static_cast<char>('0' + (c >> 6)), static_cast<char>('0' + ((c >> 3) & 7)),
                                  static_cast<char>('0' + (c & 7)), 0};
                out.append(escape);
            } else {
                // Bytes from 128 are kept raw: escapes would pass through the
                // UTF-8 form and come back as two bytes.
                out.push_back(static_cast<char>(c));
            }
        }
    }
    out.push_back('"');
}

template <typename T>
void writeItems(std::string &out, const SEElement *element) {
    const T *items = reinterpret_cast<const T *>(element->data);
    out.push_back('(');
    for (ZVWord i = 0; i < element->value; i++) {
        if (i > 0) out.push_back(',');
        out.append(std::to_string(items[i]));
    }
    out.push_back(')');
}

void writeElement(std::string &out, const SEElement *element) {
    if (element == nullptr) {
        out.append("\"\"");
        return;
    }
    switch (element->type) {
    case SE_INT32: out.append(std::to_string(static_cast<int32_t>(element->value))); break;
    case SE_INT64: out.append(std::to_string(seInt64Value(element))); break;
    case SE_STRING:
        writeString(out, std::string_view(reinterpret_cast<const char *>(element->data),
                                          static_cast<size_t>(element->value)));
        break;
    case SE_LIST: {
        out.push_back('(');
        int size = SEListSize(element);
        for (int i = 0; i < size; i++) {
            if (i > 0) out.push_back(',');
            writeElement(out, SEListGet(element, i));
        }
        out.push_back(')');
        break;
    }
    case SE_MAP:
        out.push_back('{');
        for (const auto &[key, value] : seMapVisibleEntries(element)) {
            writeString(out, key);
            out.push_back('=');
            writeElement(out, value);
            out.push_back(';');
        }
        out.push_back('}');
        break;
    case SE_BYTE_DATA: writeItems<uint8_t>(out, element); break;
    case SE_INT32_DATA: writeItems<int32_t>(out, element); break;
    case SE_INT64_DATA: writeItems<int64_t>(out, element); break;
    default: out.append("\"\""); break;
    }
}

template <typename T>
bool sameItems(const SEElement *a, const SEElement *b) {
    if (a->value != b->value) return false;
    if (a->value == 0) return true;
    return std::memcmp(reinterpret_cast<const void *>(a->data), reinterpret_cast<const void *>(b->data),
                       static_cast<size_t>(a->value) * sizeof(T)) == 0;
}

bool equals(const SEElement *a, const SEElement *b) {
    if (a == nullptr || b == nullptr) return a == b;
    if (a->type != b->type) return false;
    switch (a->type) {
    case SE_INT32: return static_cast<int32_t>(a->value) == static_cast<int32_t>(b->value);
    case SE_INT64: return seInt64Value(a) == seInt64Value(b);
    case SE_STRING:
        return a->value == b->value && std::memcmp(reinterpret_cast<const void *>(a->data),
                                                   reinterpret_cast<const void *>(b->data),
                                                   static_cast<size_t>(a->value)) == 0;
    case SE_LIST: {
        int size = SEListSize(a);
        if (size != SEListSize(b)) return false;
        for (int i = 0; i < size; i++)
            if (!equals(SEListGet(a, i), SEListGet(b, i))) return false;
        return true;
    }
    case SE_MAP: {
        auto left = seMapVisibleEntries(a);
        auto right = seMapVisibleEntries(b);
        if (left.size() != right.size()) return false;
        for (auto l = left.begin(), r = right.begin(); l != left.end(); ++l, ++r)
            if (l->first != r->first || !equals(l->second, r->second)) return false;
        return true;
    }
    case SE_BYTE_DATA: return sameItems<uint8_t>(a, b);
    case SE_INT32_DATA: return sameItems<int32_t>(a, b);
    case SE_INT64_DATA: return sameItems<int64_t>(a, b);
    default: return false;
    }
}

}  // namespace

char *SEWrite(const SEElement *element) {
    if (element == nullptr) return nullptr;
    std::string out;
    writeElement(out, element);
    return sStrdup(out.c_str());
}

int SEWriteFile(const SEElement *element, FILE *stream) {
    if (element == nullptr || stream == nullptr) return -1;
    std::string out;
    writeElement(out, element);
    if (std::fwrite(out.data(), 1, out.size(), stream) != out.size()) return -1;
    return std::fflush(stream) == 0 ? 0 : -1;
}

int SEEquals(const SEElement *a, const SEElement *b) { return equals(a, b) ? 1 : 0; }
