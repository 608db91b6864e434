// Filter patterns: compiling a pattern text into wildcard pieces once, and
// matching conditions (OR or AND of patterns) against a method text.
#include <strings.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "pri/filters/filter_table.h"
#include "support/heap.h"

namespace {

// A class name or prefix covers all its methods; a method with a descriptor
// but no access group covers every access group.
std::string CompletedPatternText(const char *text) {
    std::string pattern = text;
    if (pattern.empty() || pattern.back() == '*') return pattern;
    bool hasDescriptor = pattern.find('(') != std::string::npos;
    bool hasAccess = pattern.find('{') != std::string::npos;
    if (!hasDescriptor && !hasAccess) pattern += ".*";
    else if (hasDescriptor && !hasAccess) pattern += "*";
    return pattern;
}

}  // namespace

PRIPattern *PRICompilePattern(const char *text) {
    std::string pattern = CompletedPatternText(text ? text : "");
    bool negated = !pattern.empty() && pattern[0] == '!';
    if (negated) pattern.erase(0, 1);
    // Runs of '*' mean the same as one.
    std::string collapsed;
    for (char c : pattern)
        if (c != '*' || collapsed.empty() || collapsed.back() != '*') collapsed += c;

    size_t pieceCount = 1;
    for (size_t i = 1; i < collapsed.size(); i++) pieceCount += collapsed[i] == '*';
    auto *compiled = static_cast<PRIPattern *>(sMalloc(sizeof(PRIPattern)));
    if (compiled == nullptr) return nullptr;
    compiled->negated = negated;
    // Each piece is NUL-terminated in the buffer: one extra byte per piece.
    compiled->buffer = static_cast<char *>(sMalloc(static_cast<int>(collapsed.size() + pieceCount)));
    compiled->pieces = static_cast<const char **>(sMalloc(static_cast<int>((pieceCount + 1) * sizeof(char *))));
    compiled->lengths = static_cast<uint32_t *>(sMalloc(static_cast<int>(pieceCount * sizeof(uint32_t))));
    if (!compiled->buffer || !compiled->pieces || !compiled->lengths) {
        sFree(compiled->buffer);
        sFree(compiled->pieces);
        sFree(compiled->lengths);
        sFree(compiled);
        return nullptr;
    }
    char *out = compiled->buffer;
    size_t piece = 0, begin = 0;
    for (size_t i = 1; i <= collapsed.size(); i++) {
        if (i < collapsed.size() && collapsed[i] != '*') continue;
        size_t length = i - begin;
        memcpy(out, collapsed.data() + begin, length);
        out[length] = '\0';
        compiled->pieces[piece] = out;
        compiled->lengths[piece] = static_cast<uint32_t>(length);
        out += length + 1;
        piece++;
        begin = i;
    }
    if (collapsed.empty()) {  // the empty pattern: one empty piece
        compiled->buffer[0] = '\0';
        compiled->pieces[0] = compiled->buffer;
        compiled->lengths[0] = 0;
        piece = 1;
    }
    compiled->pieces[piece] = nullptr;
    return compiled;
}

bool PRIPatternHolds(const PRIPattern *pattern, std::string_view text) {
    size_t position = 0;
    bool matched = true;
    for (size_t i = 0; matched && pattern->pieces[i] != nullptr; i++) {
        std::string_view piece(pattern->pieces[i], pattern->lengths[i]);
        if (piece.empty() || piece[0] != '*') {
            matched = text.substr(position).starts_with(piece);
            if (matched) position += piece.size();
            continue;
        }
        if (piece.size() == 1) {
            position = text.size();
            continue;
        }
        std::string_view needle = piece.substr(1);
        size_t found = text.find(needle, position);
        matched = found != std::string_view::npos;
        if (matched) position = found + needle.size();
    }
    bool holds = matched && position == text.size();
    return pattern->negated ? !holds : holds;
}

PRIFilterGroup *PRICompileCondition(const SEElement *condition) {
    auto *group = static_cast<PRIFilterGroup *>(sMalloc(sizeof(PRIFilterGroup)));
    if (group == nullptr) return nullptr;
    const SEElement *patterns = SEMapGet(condition, "PatternList");
    const SEElement *operation = SEMapGet(condition, "Operation");
    const SEElement *name = SEMapGet(condition, "Name");
    int number = PRIFilters().nextNumber++;

    group->operation = operation && operation->type == SE_STRING &&
                       strcasecmp(SEGetString(operation), "AND") == 0;
    if (name != nullptr && name->type == SE_STRING) {
        group->name = sStrdup(SEGetString(name));
    } else {
        char generated[32];
        snprintf(generated, sizeof generated, "Filter_%d", number);
        group->name = sStrdup(generated);
    }
    int count = patterns && patterns->type == SE_LIST ? SEListSize(patterns) : 0;
    group->patterns = static_cast<PRIPattern **>(sMalloc(static_cast<int>((count + 1) * sizeof(PRIPattern *))));
    if (group->patterns == nullptr) {
        sFree(group->name);
        sFree(group);
        return nullptr;
    }
    int compiled = 0;
    for (int i = 0; i < count; i++) {
        const SEElement *item = SEListGet(patterns, i);
        const char *text = item && item->type == SE_STRING ? SEGetString(item) : "";
        if (PRIPattern *pattern = PRICompilePattern(text)) group->patterns[compiled++] = pattern;
    }
    group->patterns[compiled] = nullptr;
    return group;
}

bool PRIConditionMatches(const PRIFilterGroup *group, std::string_view text) {
    bool all = group->operation == 1;
    for (PRIPattern **pattern = group->patterns; *pattern != nullptr; pattern++) {
        bool holds = PRIPatternHolds(*pattern, text);
        if (holds && !all) return true;
        if (!holds && all) return false;
    }
    return all;
}

void PRIFreeCondition(PRIFilterGroup *group) {
    if (group == nullptr) return;
    for (PRIPattern **pattern = group->patterns; pattern && *pattern; pattern++) {
        sFree((*pattern)->buffer);
        sFree((*pattern)->pieces);
        sFree((*pattern)->lengths);
        sFree(*pattern);
    }
    sFree(group->patterns);
    sFree(group->name);
    sFree(group);
}
