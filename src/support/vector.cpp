// ZVVector: a growable array of machine words, and the quicksort that keeps
// parallel vectors aligned.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <utility>

#include "support/containers.h"
#include "support/heap.h"

namespace {

// The heap takes a 32-bit byte count, which bounds how many words one block can hold.
constexpr int64_t kMaxWords = INT32_MAX / static_cast<int64_t>(sizeof(ZVWord));

ZVWord *allocateWords(int64_t count) {
    if (count < 1 || count > kMaxWords) return nullptr;
    return static_cast<ZVWord *>(sMalloc(static_cast<int>(count * static_cast<int64_t>(sizeof(ZVWord)))));
}

// The vectors a sort permutes in step; a companion shorter than the sorted
// vector cannot follow it and is left alone.
struct SortTarget {
    ZVWord *words;
    ZVWord *companion1;
    ZVWord *companion2;
    bool ascending;

    void swap(int a, int b) const {
        std::swap(words[a], words[b]);
        if (companion1 != nullptr) std::swap(companion1[a], companion1[b]);
        if (companion2 != nullptr) std::swap(companion2[a], companion2[b]);
    }
    bool before(ZVWord a, ZVWord b) const { return ascending ? a < b : a > b; }
};

// Hoare partitioning around the middle word. The smaller side is sorted by
// recursion and the larger one by the loop, so the depth stays logarithmic;
// the ranges are disjoint, so the order of work does not change the result.
void quicksort(const SortTarget &target, int lo, int hi) {
    ZVWord *w = target.words;
    while (lo < hi) {
        ZVWord pivot = w[lo + (hi - lo) / 2];
        int i = lo;
        int j = hi;
        do {
            while (i < hi && target.before(w[i], pivot)) i++;
            while (j > lo && target.before(pivot, w[j])) j--;
            if (i < j) target.swap(i, j);
            if (j < i) break;
            i++;
            j--;
        } while (i <= j);
        if (j - lo < hi - i) {
            if (lo < j) quicksort(target, lo, j);
            lo = i;
        } else {
            if (i < hi) quicksort(target, i, hi);
            hi = j;
        }
    }
}

}  // namespace

ZVVector *ZVNewVector(int capacity) {
    auto *vector = static_cast<ZVVector *>(sMalloc(sizeof(ZVVector)));
    if (vector == nullptr) return nullptr;
    vector->size = 0;
    vector->capacity = 0;
    vector->data = nullptr;
    if (capacity >= 1) {
        vector->data = allocateWords(capacity);
        if (vector->data != nullptr) vector->capacity = capacity;
    }
    return vector;
}

void ZVAddElement(ZVVector *vector, ZVWord word) {
    if (vector == nullptr) return;
    if (vector->size >= vector->capacity) {
        int64_t grown = static_cast<int64_t>(vector->capacity) * 2 + 4;
        if (grown > kMaxWords) grown = kMaxWords;
        if (grown <= vector->capacity) return;
        ZVWord *data = allocateWords(grown);
        if (data == nullptr) return;
        if (vector->size > 0) std::memcpy(data, vector->data, static_cast<size_t>(vector->size) * sizeof(ZVWord));
        sFree(vector->data);
        vector->data = data;
        vector->capacity = static_cast<int32_t>(grown);
    }
    vector->data[vector->size++] = word;
}

void ZVRemoveElementAt(ZVVector *vector, int index) {
    if (vector == nullptr || index < 0 || index >= vector->size) return;
    std::memmove(vector->data + index, vector->data + index + 1,
                 static_cast<size_t>(vector->size - index - 1) * sizeof(ZVWord));
    vector->size--;
}

ZVWord ZVPopElement(ZVVector *vector) {
    if (vector == nullptr || vector->size < 1) return 0;
    return vector->data[--vector->size];
}

void ZVRemoveAllElements(ZVVector *vector) {
    if (vector != nullptr) vector->size = 0;
}

void ZVFreeVector(ZVVector *vector) {
    if (vector == nullptr) return;
    sFree(vector->data);
    sFree(vector);
}

int ZVVectorSize(const ZVVector *vector) { return vector == nullptr ? 0 : vector->size; }

ZVWord ZVElementAt(const ZVVector *vector, int index) {
    if (vector == nullptr || index < 0 || index >= vector->size) {
        std::fputs("ZVElementAt : index out of bounds\n", stderr);
        return 0;
    }
    return vector->data[index];
}

void ZVSortVectors(ZVVector *vector, ZVVector *companion1, ZVVector *companion2, int ascending) {
    if (vector == nullptr || vector->size < 2) return;
    auto follower = [vector](ZVVector *companion) {
        return companion != nullptr && companion != vector && companion->size >= vector->size ? companion->data
                                                                                              : nullptr;
    };
    ZVWord *first = follower(companion1);
    ZVWord *second = follower(companion2);
    if (second == first) second = nullptr;  // one vector passed twice is permuted once
    quicksort(SortTarget{vector->data, first, second, ascending != 0}, 0, vector->size - 1);
}
