// Method buffers: caller-owned arrays of {location, method id} entries that
// readers fill, and their conversion into backtrace records.
#include <algorithm>
#include <cstring>

#include "pri/runtime/runtime.h"
#include "support/heap.h"

namespace {

void copyEntries(const PRIMethodBuffer *buffer, int first, PRIBacktrace *backtrace) {
    int count = std::min(buffer->count - first, backtrace->capacity);
    for (int i = 0; i < count; ++i) {
        const PRIMethodEntry &entry = buffer->entries[first + i];
        backtrace->frames[i] = PRIBacktraceFrame{entry.location, entry.method, 0};
    }
    backtrace->count = count;
}

}  // namespace

PRIMethodBuffer *zviAllocateMethodBuffer(int count) {
    if (count < 0) return nullptr;
    auto *buffer = static_cast<PRIMethodBuffer *>(sMalloc(sizeof(PRIMethodBuffer)));
    size_t bytes = sizeof(PRIMethodEntry) * static_cast<size_t>(std::max(count, 1));
    auto *entries = static_cast<PRIMethodEntry *>(sMalloc(static_cast<int>(bytes)));
    if (buffer == nullptr || entries == nullptr) {
        sFree(buffer);
        sFree(entries);
        return nullptr;
    }
    memset(entries, 0, bytes);
    *buffer = PRIMethodBuffer{0, count, entries, count};
    return buffer;
}

int zviClearMethodBuffer(PRIMethodBuffer *buffer, int count) {
    if (buffer != nullptr && count > 0) {
        memset(buffer->entries, 0, sizeof(PRIMethodEntry) * static_cast<size_t>(std::min(count, buffer->capacity)));
    }
    return 0;
}

void zviGetMethodBufferValues(PRIMethodBuffer *buffer, int32_t *outMethod, int32_t *outLocation, int index) {
    bool inside = buffer != nullptr && index >= 0 && index < buffer->count;
    if (outMethod != nullptr) *outMethod = inside ? buffer->entries[index].method : 0;
    if (outLocation != nullptr) *outLocation = inside ? buffer->entries[index].location : -1;
}

void zviFreeMethodBuffer(PRIMethodBuffer *buffer) {
    if (buffer == nullptr) return;
    sFree(buffer->entries);
    sFree(buffer);
}

int zviGetMethodBufferSize(PRIMethodBuffer *buffer) { return buffer != nullptr ? buffer->count : 0; }

PRIBacktrace *zviConvertMethodBufferToBacktrace(PRIMethodBuffer *buffer) {
    PRIBacktrace *backtrace = PRISharedConvertedBacktrace();
    if (backtrace == nullptr) return nullptr;
    backtrace->count = 0;
    if (buffer != nullptr) copyEntries(buffer, 0, backtrace);
    return backtrace;
}

// The backtrace is reused when it has room for the entries from first on,
// else replaced; the caller's own record is then released with it.
PRIBacktrace *zviConvertMethodBufferToBacktraceFrom(PRIMethodBuffer *buffer, PRIBacktrace *backtrace, int first) {
    if (buffer == nullptr) return backtrace;
    first = std::clamp(first, 0, buffer->count);
    if (backtrace == nullptr || backtrace->capacity < buffer->count - first) {
        PRIBacktrace *bigger = PRINewBacktrace(buffer->count);
        if (bigger == nullptr) return nullptr;
        if (!PRIIsSharedBacktrace(backtrace)) PRIFreeBacktrace(backtrace);
        backtrace = bigger;
    }
    copyEntries(buffer, first, backtrace);
    return backtrace;
}
