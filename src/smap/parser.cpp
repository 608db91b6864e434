// SMAPParse: the header lines, then stratum, file, line, vendor and end
// sections. The strata are collected in C++ drafts and copied into the
// caller's record only when the whole SMAP is sound, so no error path leaks.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "smap/line_reader.h"
#include "smap/smap.h"
#include "support/heap.h"

namespace {

using Line = std::string_view;

constexpr size_t kMaxFileIDDigits = 1023;

struct FileDraft {
    int32_t id;
    std::string name;
    std::optional<std::string> path;
};

struct StratumDraft {
    std::string name;
    std::optional<std::vector<FileDraft>> files;
    std::optional<std::vector<SMAPLineEntry>> lines;
};

void skipSpaces(Line text, size_t *at) {
    while (*at < text.size() && (text[*at] == ' ' || text[*at] == '\t')) ++*at;
}

// Decimal digits at *at (at least one, at most maxDigits) whose value fits in
// 32 bits; false otherwise.
bool number(Line text, size_t *at, int32_t *value, size_t maxDigits = SIZE_MAX) {
    size_t start = *at;
    int64_t result = 0;
    while (*at < text.size() && text[*at] >= '0' && text[*at] <= '9') {
        if (*at - start >= maxDigits) return false;
        result = result * 10 + (text[*at] - '0');
        if (result > INT32_MAX) return false;
        ++*at;
    }
    if (*at == start) return false;
    *value = static_cast<int32_t>(result);
    return true;
}

// ["+"] spaces fileID spaces sourceName; hasPath tells that a path line follows.
bool parseFileLine(Line line, FileDraft *file, bool *hasPath) {
    if (line.size() < 3) return false;
    size_t at = 0;
    *hasPath = line[0] == '+';
    if (*hasPath) ++at;
    skipSpaces(line, &at);
    if (!number(line, &at, &file->id, kMaxFileIDDigits)) return false;
    size_t afterID = at;
    skipSpaces(line, &at);
    if (at == afterID || at == line.size()) return false;
    file->name = std::string(line.substr(at));
    return true;
}

// InputStartLine [#LineFileID] [,RepeatCount] : OutputStartLine [,OutputLineIncrement].
// A missing LineFileID is the previous entry's (0 at the start of the section).
bool parseLineEntry(Line line, int32_t previousFileID, SMAPLineEntry *entry) {
    *entry = {0, previousFileID, 1, 0, 1};
    size_t at = 0;
    auto field = [&](int32_t *value) {
        skipSpaces(line, &at);
        if (!number(line, &at, value)) return false;
        skipSpaces(line, &at);
        return true;
    };
    auto take = [&](char c) {
        if (at >= line.size() || line[at] != c) return false;
        ++at;
        return true;
    };
    if (!field(&entry->inputStartLine)) return false;
    if (take('#') && !field(&entry->lineFileID)) return false;
    if (take(',') && !field(&entry->repeatCount)) return false;
    if (!take(':') || !field(&entry->outputStartLine)) return false;
    if (take(',') && !field(&entry->outputLineIncrement)) return false;
    return at == line.size();
}

char *copyText(const std::string &text) {
    char *copy = static_cast<char *>(sMalloc(static_cast<int>(text.size()) + 1));
    if (copy != nullptr) memcpy(copy, text.c_str(), text.size() + 1);
    return copy;
}

template <typename T>
T *newArray(size_t count) {
    if (count == 0 || count > INT_MAX / sizeof(T)) return nullptr;
    void *memory = sMalloc(static_cast<int>(count * sizeof(T)));
    if (memory != nullptr) memset(memory, 0, count * sizeof(T));
    return static_cast<T *>(memory);
}

class Parser {
public:
    Parser(const uint8_t *bytes, int length, int verbose) : reader_(bytes, length), verbose_(verbose != 0) {}

    SMAP *run() {
        Line line;
        if (!reader_.next(&line) || line.empty()) return fail("empty first line");
        if (line != "SMAP") return fail("first line is not SMAP");
        if (!reader_.next(&line) || line.empty()) return fail("empty second line");
        std::string generated(line);
        if (!reader_.next(&line) || line.empty()) return fail("no default stratum");
        std::string defaultStratum(line);

        if (!sections()) return fail(error_);
        if (error_ != nullptr) return fail(error_);
        for (size_t s = 0; s < strata_.size(); ++s) {
            if (strata_[s].name == defaultStratum) return build(generated, s);
        }
        return fail("failed to resolve default stratum");
    }

private:
    // Reads the sections up to "*E"; false when the reading had to stop
    // before it (error_ then says why).
    bool sections() {
        Line line;
        bool have = reader_.next(&line);
        while (have) {
            if (line.size() < 2) {
                error_ = "invalid line, shorter than 2 bytes";
                return false;
            }
            if (line[0] != '*') {
                error_ = "invalid section, * missing";
                return false;
            }
            switch (line[1]) {
            case 'E':
                if (!reader_.atEnd() && verbose_)
                    fputs("Zentrova warning: SMAP contains bytes after the *E section, bytes ignored\n", stderr);
                return true;
            case 'S':
                stratum(line);
                have = reader_.next(&line);
                break;
            case 'F':
                have = fileSection(&line);
                break;
            case 'L':
                have = lineSection(&line);
                break;
            case 'V':
                if (current() == nullptr) error_ = "vendor section outside of a stratum section";
                have = skipSection(&line);
                break;
            case 'O':
                error_ = "open embedded sections cannot be part of a resolved SMAP";
                have = skipSection(&line);
                break;
            case 'C':
                error_ = "close embedded sections cannot be part of a resolved SMAP";
                have = skipSection(&line);
                break;
            default:
                if (verbose_) fprintf(stderr, "Zentrova warning: SMAP contains unknown section *%c. Section ignored.\n", line[1]);
                have = skipSection(&line);
                break;
            }
        }
        error_ = "unexpected end of SMAP section";
        return false;
    }

    StratumDraft *current() { return current_ < 0 ? nullptr : &strata_[static_cast<size_t>(current_)]; }

    void stratum(Line line) {
        const StratumDraft *previous = current();
        if (previous != nullptr && !previous->files) {
            error_ = "unexpected new stratum section, previous stratum section is missing a file section";
        } else if (previous != nullptr && !previous->lines) {
            error_ = "unexpected new stratum section, previous stratum section is missing a line section";
        }
        current_ = -1;
        if (line.size() < 5) {
            error_ = "stratum section with no name";
            return;
        }
        strata_.push_back({std::string(line.substr(3)), std::nullopt, std::nullopt});
        current_ = static_cast<int>(strata_.size()) - 1;
    }

    // The lines after a section header up to the next '*' line, which is left
    // in *line; false when the input ends first.
    template <typename Body>
    bool sectionLines(Line *line, Body body) {
        while (reader_.next(line)) {
            if (!line->empty() && (*line)[0] == '*') return true;
            body(*line);
        }
        return false;
    }

    bool skipSection(Line *line) {
        return sectionLines(line, [](Line) {});
    }

    bool fileSection(Line *line) {
        StratumDraft *owner = current();
        if (owner == nullptr) error_ = "file section outside of a stratum section";
        else if (owner->files) error_ = "more than one file section in a stratum section";
        if (owner == nullptr || owner->files) return skipSection(line);
        std::vector<FileDraft> files;
        bool sound = true;
        bool pathNext = false;
        bool more = sectionLines(line, [&](Line text) {
            if (!sound) return;
            if (pathNext) {
                files.back().path = std::string(text);
                pathNext = false;
                return;
            }
            FileDraft file{};
            sound = parseFileLine(text, &file, &pathNext) && files.size() < UINT16_MAX;
            if (sound) files.push_back(std::move(file));
            else malformed("file", owner->name, text);
        });
        if (sound && pathNext) malformed("file", owner->name, "(its path line is missing)");
        if (sound && !pathNext) owner->files = std::move(files);
        return more;
    }

    bool lineSection(Line *line) {
        StratumDraft *owner = current();
        if (owner == nullptr) error_ = "line section outside of a stratum section";
        else if (owner->lines) error_ = "more than one line section in a stratum section";
        if (owner == nullptr || owner->lines) return skipSection(line);
        std::vector<SMAPLineEntry> entries;
        bool sound = true;
        bool more = sectionLines(line, [&](Line text) {
            if (!sound) return;
            SMAPLineEntry entry;
            sound = parseLineEntry(text, entries.empty() ? 0 : entries.back().lineFileID, &entry);
            if (sound) entries.push_back(entry);
            else malformed("line", owner->name, text);
        });
        if (sound) owner->lines = std::move(entries);
        return more;
    }

    // A section with a line that cannot be read is dropped whole.
    void malformed(const char *section, const std::string &stratum, Line text) {
        if (verbose_)
            fprintf(stderr, "Zentrova warning: SMAP %s section of stratum %s has a malformed line '%.*s'. Section ignored.\n",
                    section, stratum.c_str(), static_cast<int>(std::min<size_t>(text.size(), 80)), text.data());
    }

    SMAP *fail(const char *message) {
        if (verbose_) fprintf(stderr, "Error in SMAP: %s\n", message);
        return nullptr;
    }

    // The caller's record; null when memory runs out.
    SMAP *build(const std::string &generated, size_t resolved) {
        SMAP *smap = newArray<SMAP>(1);
        if (smap == nullptr) return nullptr;
        smap->generatedFileName = copyText(generated);
        smap->strata = newArray<SMAPStratum>(strata_.size());
        bool ok = smap->generatedFileName != nullptr && smap->strata != nullptr;
        for (size_t s = 0; ok && s < strata_.size(); ++s) {
            ++smap->stratumCount;
            ok = copyStratum(strata_[s], &smap->strata[s]);
        }
        if (!ok) {
            SMAPFree(smap);
            return nullptr;
        }
        smap->resolved = &smap->strata[resolved];
        return smap;
    }

    static bool copyStratum(const StratumDraft &draft, SMAPStratum *stratum) {
        stratum->name = copyText(draft.name);
        if (stratum->name == nullptr) return false;
        if (draft.files) {
            stratum->fileSection = newArray<SMAPFileSection>(1);
            if (stratum->fileSection == nullptr) return false;
            const std::vector<FileDraft> &files = *draft.files;
            if (!files.empty()) {
                stratum->fileSection->entries = newArray<SMAPFileEntry>(files.size());
                if (stratum->fileSection->entries == nullptr) return false;
            }
            for (const FileDraft &file : files) {
                SMAPFileEntry &entry = stratum->fileSection->entries[stratum->fileSection->count++];
                entry.fileID = file.id;
                entry.sourceName = copyText(file.name);
                entry.sourcePath = file.path ? copyText(*file.path) : nullptr;
                if (entry.sourceName == nullptr || (file.path && entry.sourcePath == nullptr)) return false;
            }
        }
        if (draft.lines) {
            stratum->lineSection = newArray<SMAPLineSection>(1);
            if (stratum->lineSection == nullptr) return false;
            const std::vector<SMAPLineEntry> &lines = *draft.lines;
            if (!lines.empty()) {
                stratum->lineSection->entries = newArray<SMAPLineEntry>(lines.size());
                if (stratum->lineSection->entries == nullptr) return false;
                memcpy(stratum->lineSection->entries, lines.data(), lines.size() * sizeof(SMAPLineEntry));
                stratum->lineSection->count = static_cast<int32_t>(lines.size());
            }
        }
        return true;
    }

    SMAPLineReader reader_;
    bool verbose_;
    const char *error_ = nullptr;
    std::vector<StratumDraft> strata_;
    int current_ = -1;  // index into strata_, -1 outside a stratum
};

}  // namespace

SMAP *SMAPParse(const uint8_t *bytes, int length, int verbose) {
    return Parser(bytes, length, verbose).run();
}

void SMAPFree(SMAP *smap) {
    if (smap == nullptr) return;
    for (int32_t s = 0; s < smap->stratumCount; ++s) {
        SMAPStratum &stratum = smap->strata[s];
        sFree(stratum.name);
        if (stratum.fileSection != nullptr) {
            for (int f = 0; f < stratum.fileSection->count; ++f) {
                sFree(stratum.fileSection->entries[f].sourceName);
                sFree(stratum.fileSection->entries[f].sourcePath);
            }
            sFree(stratum.fileSection->entries);
            sFree(stratum.fileSection);
        }
        if (stratum.lineSection != nullptr) {
            sFree(stratum.lineSection->entries);
            sFree(stratum.lineSection);
        }
    }
    sFree(smap->strata);
    sFree(smap->generatedFileName);
    sFree(smap);
}
