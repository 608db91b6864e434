// Structured elements: the agent's generic data tree (integers, strings,
// lists, string-keyed maps, numeric arrays), with readers for its text syntax,
// its binary syntax and the relaxed argument form, and a text writer.
#pragma once

#include <cstdint>
#include <cstdio>

#include "support/containers.h"

enum SEType : int32_t {
    SE_INT32 = 1,
    SE_INT64 = 2,
    SE_STRING = 3,
    SE_LIST = 4,
    SE_MAP = 5,
    SE_BYTE_DATA = 6,
    SE_INT32_DATA = 7,
    SE_INT64_DATA = 8,
};

struct SEElement {
    int32_t type;
    // SE_INT32: the value; SE_INT64: the low 32 bits; SE_STRING: the length in
    // bytes; SE_LIST: a ZVVector*; SE_MAP: a ZVHashTable*; data: item count.
    ZVWord value;
    // SE_INT64: the high 32 bits; SE_STRING: the bytes (NUL follows);
    // data types: the items, or null when there are none.
    ZVWord data;
    int32_t owned;  // data types: 1 when the item array is released with the element
};

// ------------------------------------------------------------ construction

SEElement *SENewInt32(int32_t value);
SEElement *SENewInt64(uint32_t low, uint32_t high);
SEElement *SENewString(const char *bytes, int length);
SEElement *SENewStringFromC(const char *string);  // length counts the terminator
SEElement *SEAdoptString(char *buffer, int length);
SEElement *SENewData(int type, const void *items, int count, int copy);
SEElement *SENewList(int capacity);
SEElement *SENewMap(int initialSize, const char *name);

// --------------------------------------------------------------- accessors

int32_t SEGetInt32(const SEElement *element);
const char *SEGetString(const SEElement *element);
int SEGetBoolean(const SEElement *element);
void SEAppendToInt32Data(SEElement *element, const int32_t *values, int n);
void SEListAdd(SEElement *list, SEElement *element);
SEElement *SEListGet(const SEElement *list, int index);
int SEListSize(const SEElement *list);
void SEMapPut(SEElement *map, const char *key, SEElement *value);
// Like SEMapPut, but takes over the key (from sMalloc); a key that cannot be
// stored (no map, no memory) is released.
void SEMapPutKey(SEElement *map, char *key, SEElement *value);
SEElement *SEMapGet(const SEElement *map, const char *key);
// Removes the entry lookups find and releases the map's copy of its key; the
// value element is not released (it goes back to the caller's care).
void SEMapRemove(SEElement *map, const char *key);
ZVHashIterator *SEMapIterate(const SEElement *map);
SEElement *SECopy(const SEElement *element);
void SEFree(SEElement *element);
// Receives accessor and constructor type mismatches; deliberately silent.
void SEReportError(const char *message);

// ----------------------------------------------------------------- reading

struct SELexer;
struct SEReader;

typedef int (*SENextCharFunction)(void);
typedef int (*SEHasMoreFunction)(void);
typedef int (*SEReadBytesFunction)(void *buffer, int length);
typedef int (*SEReadBytesContextFunction)(void *context, void *buffer, int length);

// The text is copied; a negative length means up to the terminator.
SEReader *SEReaderFromString(const char *text, int length);
SEReader *SEReaderFromFile(const char *path);
SEReader *SEReaderFromCallbacks(SENextCharFunction nextCharacter, SEHasMoreFunction hasMore);
// Binary syntax over a memory buffer (the buffer must outlive the reader).
SEReader *SEReaderFromBinary(const void *bytes, int length);
// Switches a reader between the text syntax (0) and the binary syntax (1);
// a file reader in binary mode reads its bytes straight from the stream.
void SEReaderSetBinary(SEReader *reader, int binary);
// One element, or null at the end of input or on an error.
SEElement *SERead(SEReader *reader);
const char *SEReaderError(const SEReader *reader);
// The lexer's own error (lexical errors do not set the reader's error text).
const char *SEReaderLexerError(const SEReader *reader);
// The line of the text that the reader has reached, counted from 1, for
// messages about what it read; 0 for the binary syntax.
int SEReaderLine(const SEReader *reader);
void SEReaderFree(SEReader *reader);

// A new string in the text syntax from a relaxed argument string, or null
// when it is malformed; null text gives "{}". A key written with nothing
// after its '=' (port=,log=true) gets the empty string; with `emptyKey` not
// null, each such key is also handed to it, in order, with `context`.
char *SENormalizeArguments(const char *text, void (*emptyKey)(const char *key, void *context) = nullptr,
                           void *context = nullptr);

// ----------------------------------------------------------------- writing

// A new string in the text syntax that SERead reads back to an equal tree,
// as far as text can say it: SERead makes every scalar an SE_STRING, so
// integers are written as decimal words and numeric arrays as lists of them.
// Map entries are written once per key, sorted by key. Strings keep every
// byte (NUL is written as the escape \x00). Null for a null element.
char *SEWrite(const SEElement *element);
// Writes the same text to a stream; returns 0 on success, -1 on an I/O error.
int SEWriteFile(const SEElement *element, FILE *stream);
// Deep structural equality (maps compare as key sets, whatever their order).
int SEEquals(const SEElement *a, const SEElement *b);
