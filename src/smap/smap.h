// Source maps of classes compiled from other languages: the SMAP text of a
// class's "SourceDebugExtension" attribute, parsed into strata, and the
// translation of generated (Java) lines into lines of the original source.
#pragma once

#include <cstdint>

struct JCRLineTable;

struct SMAPFileEntry {
    int32_t fileID;
    char *sourceName;  // NUL-terminated
    char *sourcePath;  // NUL-terminated, or null when the SMAP gives none
};

struct SMAPFileSection {
    uint16_t count;
    SMAPFileEntry *entries;  // null when count is 0
};

// InputStartLine[#LineFileID][,RepeatCount]:OutputStartLine[,OutputLineIncrement]
struct SMAPLineEntry {
    int32_t inputStartLine;
    int32_t lineFileID;
    int32_t repeatCount;
    int32_t outputStartLine;
    int32_t outputLineIncrement;
};

struct SMAPLineSection {
    int32_t count;
    SMAPLineEntry *entries;  // null when count is 0
};

struct SMAPStratum {
    char *name;
    SMAPFileSection *fileSection;  // null when the stratum has none
    SMAPLineSection *lineSection;  // null when the stratum has none
};

// One parsed SMAP. SMAPParse's caller owns it and releases it, with every
// stratum and section, through SMAPFree; the parser itself releases all it
// built when it fails.
struct SMAP {
    char *generatedFileName;
    int32_t stratumCount;
    SMAPStratum *strata;    // in file order
    SMAPStratum *resolved;  // the stratum named by the default stratum line
};

// Null when the bytes are not a resolvable SMAP; with verbose set, warnings
// and the error go to standard error. Never reads outside bytes[0, length).
SMAP *SMAPParse(const uint8_t *bytes, int length, int verbose);
void SMAPFree(SMAP *smap);  // null accepted

// The input line of the resolved stratum for an output (Java) line, or -1.
// When fileID is not null and *fileID is not -1, only entries of that file
// count; the answering entry's file ID is written to *fileID.
int32_t SMAPMapLine(const SMAP *smap, int outputLine, int32_t *fileID);
// The lowest and highest input line the resolved stratum maps for the file;
// both -1 when it maps none.
void SMAPFileRange(const SMAP *smap, int32_t fileID, int32_t *first, int32_t *last);

// A method's line table translated to source lines of the file its first
// mapped line belongs to, sorted by start pc and thinned to room entries
// (when room > 0). startPcs and lines receive new sMalloc'ed arrays that the
// caller frees (null when the count is 0). sourceName (may be null) receives
// that file's path or name, pointing into the SMAP; first and last (may be
// null) receive the file's line range. Returns the entry count.
int SMAPMapLineTable(const SMAP *smap, const JCRLineTable *table, uint16_t **startPcs, uint16_t **lines,
                     const char **sourceName, int room, int32_t *first, int32_t *last);
