// Heap and object dumps on request. The dispatcher keeps the dump that the
// VM delivers on the requesting thread; the request functions read it back
// right after the request returns.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "agent/agent_internal.h"
#include "pri/filters/filters.h"
#include "support/heap.h"

namespace {

struct DumpState {
    void (*heapCallback)(char *bytes, int length);  // one-shot, set while waiting
    char *heapBytes;
    int32_t heapLength;
    int32_t heapSize;
    int32_t heapGeneration;
    char *objectBytes;
    int32_t objectCapacity;
    int32_t objectLength;
    int32_t objectGeneration;
    int32_t objectMaximum;  // most bytes of an object dump to keep
};

DumpState gDump{};

uint32_t readBigEndian32(const unsigned char *bytes) {
    return (uint32_t(bytes[0]) << 24) | (uint32_t(bytes[1]) << 16) | (uint32_t(bytes[2]) << 8) |
           uint32_t(bytes[3]);
}

// Type byte, array ID, element count, element class ID: then the elements.
constexpr int kArrayHeader = 13;

void requestHeapDump() {
    JVMPI_HeapDumpArg argument{JVMPI_DUMP_LEVEL_1};
    zvipi->RequestEvent(JVMPI_EVENT_HEAP_DUMP, &argument);
}

}  // namespace

void ZVReceiveHeapDump(const JVMPI_Event *event) {
    const char *begin = event->u.heap_dump.begin;
    const char *end = event->u.heap_dump.end;
    if (ZVInstalledHandlers() == nullptr || begin == nullptr || end == nullptr || end < begin ||
        end - begin > INT32_MAX) {
        fputs("Should not happen. Invalid heap dump received\n", stderr);
        return;
    }
    int length = static_cast<int>(end - begin);
    if (gDump.heapCallback != nullptr) {
        gDump.heapCallback(const_cast<char *>(begin), length);
        return;
    }
    sFree(gDump.heapBytes);
    gDump.heapBytes = static_cast<char *>(sMalloc(length > 0 ? length : 1));
    if (gDump.heapBytes == nullptr) {
        gDump.heapLength = gDump.heapSize = 0;
        return;
    }
    memcpy(gDump.heapBytes, begin, length);
    gDump.heapLength = gDump.heapSize = length;
    gDump.heapGeneration = zviGetGCGeneration();
}

void ZVReceiveObjectDump(const JVMPI_Event *event) {
    const auto *data = reinterpret_cast<const unsigned char *>(event->u.object_dump.data);
    int64_t available = data != nullptr ? std::max<jint>(event->u.object_dump.data_len, 0) : 0;
    int64_t length = std::min<int64_t>(available, gDump.objectMaximum);
    int flavor = zviGetVMFlavor();
    if (flavor == ZV_VM_HOTSPOT || flavor == ZV_VM_JROCKIT) {
        // These VMs report more data than the record: size it from the record.
        length = 1;
        if (available >= 9 && data[0] == JVMPI_GC_OBJ_ARRAY_DUMP) {
            length = 4 * int64_t(readBigEndian32(data + 5)) + kArrayHeader;
        }
        length = std::min(length, available);  // never read past the event's data
    }
    if (length <= 0 || data == nullptr) {
        gDump.objectLength = 0;
        return;
    }
    if (gDump.objectCapacity < length) {
        sFree(gDump.objectBytes);
        int64_t capacity = std::min<int64_t>(2 * length, INT32_MAX);
        gDump.objectBytes = static_cast<char *>(sMalloc(static_cast<int>(capacity)));
        gDump.objectCapacity = gDump.objectBytes != nullptr ? static_cast<int32_t>(capacity) : 0;
        if (gDump.objectBytes == nullptr) {
            gDump.objectLength = 0;
            return;
        }
    }
    memcpy(gDump.objectBytes, data, static_cast<size_t>(length));
    gDump.objectLength = static_cast<int32_t>(length);
    gDump.objectGeneration = zviGetGCGeneration();
}

char *zviHeapDump(int *outLength, int *outGeneration) {
    gDump.heapCallback = nullptr;
    requestHeapDump();
    if (outLength != nullptr) *outLength = gDump.heapLength;
    if (outGeneration != nullptr) *outGeneration = gDump.heapGeneration;
    return gDump.heapBytes;
}

void zviProcessHeapDump(void (*callback)(char *bytes, int length)) {
    gDump.heapCallback = callback;
    requestHeapDump();
    gDump.heapCallback = nullptr;
}

int32_t zviConvertHeapDumpClassID(ZVWord classID) { return PRIClassKeyGet(classID); }

unsigned char zviObjectArrayDescription(jobjectID object, uint32_t *outClassID,
                                        int32_t *outCount, uint32_t *outElements,
                                        int32_t maximum) {
    if (maximum < 0) maximum = 0;
    gDump.objectMaximum = static_cast<int32_t>(std::min<int64_t>(4 * int64_t(maximum) + 64, INT32_MAX));
    gDump.objectLength = 0;  // a dump that never arrives reports nothing
    zvipi->RequestEvent(JVMPI_EVENT_OBJECT_DUMP, object);
    int32_t length = gDump.objectLength;
    if (length <= 0) return 0;
    const auto *bytes = reinterpret_cast<const unsigned char *>(gDump.objectBytes);
    // Any other record is kept as its type byte alone: it did arrive.
    if (bytes[0] != JVMPI_GC_OBJ_ARRAY_DUMP) return 1;
    if (length < kArrayHeader) return 0;  // an array record cut short
    uint32_t count = readBigEndian32(bytes + 5);
    if (outCount != nullptr) *outCount = static_cast<int32_t>(count);
    if (outClassID != nullptr) memcpy(outClassID, bytes + 9, 4);
    int64_t present = (int64_t(length) - kArrayHeader) / 4;
    int64_t copy = std::min({int64_t(count), int64_t(maximum), present});
    if (outElements != nullptr && copy > 0) {
        memcpy(outElements, bytes + kArrayHeader, static_cast<size_t>(copy) * 4);
    }
    return 1;
}

void ZVResetDumps() {
    sFree(gDump.heapBytes);
    sFree(gDump.objectBytes);
    gDump = DumpState{};
}
