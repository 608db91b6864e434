// The agent's four container kinds: a growable word vector, a chained hash
// table with pluggable hash and equality, a fixed-size integer table, and a
// counted 16-bit string with a cached hash. None of them locks: owners guard
// shared containers with their own locks (lookups reorder hash chains).
#pragma once

#include <jni.h>

#include <cstdint>

// ZVWord and the ZVVector record come with the extension interface.
#include "zvi.h"

// ---------------------------------------------------------------- ZVVector

ZVVector *ZVNewVector(int capacity);
void ZVAddElement(ZVVector *vector, ZVWord word);
void ZVRemoveElementAt(ZVVector *vector, int index);
ZVWord ZVPopElement(ZVVector *vector);
void ZVRemoveAllElements(ZVVector *vector);
void ZVFreeVector(ZVVector *vector);
int ZVVectorSize(const ZVVector *vector);
ZVWord ZVElementAt(const ZVVector *vector, int index);
// Sorts by signed word value; the companions (either may be null) are
// permuted the same way so parallel vectors stay aligned. A companion with
// fewer words than the vector is left untouched.
void ZVSortVectors(ZVVector *vector, ZVVector *companion1, ZVVector *companion2,
                   int ascending);

// ------------------------------------------------------------- ZVHashTable

typedef uint32_t (*ZVHashFunction)(ZVWord key);
typedef int (*ZVEqualFunction)(ZVWord a, ZVWord b);

// An entry is 3 + extraValues words: next, key, value, [value2, [value3]].
struct ZVHashEntry {
    ZVHashEntry *next;
    ZVWord key;
    ZVWord value;
};

// A block of 128 entries; entries are recycled, never returned to the heap.
struct ZVHashChunk {
    ZVHashChunk *next;
    int32_t used;
    ZVWord *entries;  // 128 entries of (3 + extraValues) words each
};

enum { ZV_HASH_MOVE_TO_FRONT = 1 };

struct ZVHashTable {
    const char *name;  // not owned; "noname" when none was given
    int32_t count;
    uint32_t shift;  // 32 minus the number of index bits
    int32_t bucketCount;
    uint32_t extraValues;  // 0, 1 or 2
    ZVHashFunction hashFunction;    // null: the key word is its own hash
    ZVEqualFunction equalFunction;  // null: keys compare by identity
    ZVHashEntry *freeList;
    ZVHashChunk *chunkList;  // newest first
    ZVHashEntry **buckets;
    uint32_t flags;
};

struct ZVHashIterator {
    ZVHashTable *table;
    int32_t bucket;  // starts at -1
    ZVHashEntry *entry;
    ZVWord key;
    ZVWord value;
    ZVWord value2;
    ZVWord value3;
};

ZVHashTable *ZVHashNew(int initialSize, ZVHashFunction hashFunction,
                       ZVEqualFunction equalFunction, const char *name,
                       int extraValues);
// Always adds an entry (a key put twice shadows the older entry); returns the
// new count, or 0 when nothing could be added.
int ZVHashPut(ZVHashTable *table, ZVWord key, ZVWord value, ZVWord value2 = 0,
              ZVWord value3 = 0);
ZVWord ZVHashGet(ZVHashTable *table, ZVWord key);
// The same lookup delivering the value words through the non-null outputs;
// on a miss they are set to 0.
void ZVHashGet(ZVHashTable *table, ZVWord key, ZVWord *value, ZVWord *value2,
               ZVWord *value3 = nullptr);
void ZVHashRemove(ZVHashTable *table, ZVWord key);
void ZVHashFree(ZVHashTable *table);
// Iteration: the iterator is released by ZVHashNext when it returns null; a
// caller that stops early releases it with sFree.
ZVHashIterator *ZVHashIterate(ZVHashTable *table);
ZVHashIterator *ZVHashNext(ZVHashIterator *iterator);

// Key functions for ZVHashNew. String keys are `const char *` words,
// wide-string keys are `ZVWideString *` words.
uint32_t ZVStringHash(ZVWord string);
int ZVStringEquals(ZVWord a, ZVWord b);
uint32_t ZVWideStringHash(ZVWord wideString);
int ZVWideStringEquals(ZVWord a, ZVWord b);

// -------------------------------------------------------------- ZVIntTable

// Nine words: next overflow node, four keys, four values. Key 0 is free.
struct ZVIntNode {
    ZVIntNode *next;
    ZVWord keys[4];
    ZVWord values[4];
};

struct ZVIntTable {
    const char *name;  // not owned; "Unnamed" when none was given
    int32_t count;
    int32_t bucketCount;
    uint32_t shift;
    ZVIntNode *buckets;  // bucketCount inline nodes, allocated with the header
};

// At least 2 buckets; key 0 marks a free slot and is refused by every call.
ZVIntTable *ZVIntTableNew(int size, const char *name);
ZVWord ZVIntTableGet(const ZVIntTable *table, ZVWord key);
void ZVIntTablePut(ZVIntTable *table, ZVWord key, ZVWord value);
void ZVIntTableRemove(ZVIntTable *table, ZVWord key);
// Releases the overflow nodes and the table (not what keys or values point to).
void ZVIntTableFree(ZVIntTable *table);

// ------------------------------------------------------------ ZVWideString

// Owners may extend the record with further words behind these fields.
struct ZVWideString {
    uint16_t *chars;  // not terminated
    uint32_t length;
    uint32_t hash;  // 0 until computed
};

// ---------------------------------------------------------------- JNI text

// A pending Java exception is printed and ends the VM through FatalError.
void ZVCheckJNIException(JNIEnv *env, const char *message);
jstring ZVAllocateStringUTF(JNIEnv *env, const char *utf8);
