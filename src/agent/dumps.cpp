// Heap and object dumps on request. The dispatcher keeps the dump that the
// VM delivers on the requesting thread; the request functions read it back
// right after the request returns.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "agent/agent_internal.h"
#include "agent/core.h"
#include "pri/filters/filters.h"
#include "support/heap.h"

namespace {

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
    ZVDumpState &dump = ZVCore().dumps;
    const char *begin = event->u.heap_dump.begin;
    const char *end = event->u.heap_dump.end;
    if (ZVInstalledHandlers() == nullptr || begin == nullptr || end == nullptr || end < begin ||
        end - begin > INT32_MAX) {
        fputs("Should not happen. Invalid heap dump received\n", stderr);
        return;
    }
    int length = static_cast<int>(end - begin);
    if (dump.heapCallback != nullptr) {
        dump.heapCallback(const_cast<char *>(begin), length);
        return;
    }
    sFree(dump.heapBytes);
    dump.heapBytes = static_cast<char *>(sMalloc(length > 0 ? length : 1));
    if (dump.heapBytes == nullptr) {
        dump.heapLength = dump.heapSize = 0;
        return;
    }
    memcpy(dump.heapBytes, begin, length);
    dump.heapLength = dump.heapSize = length;
    dump.heapGeneration = zviGetGCGeneration();
}

void ZVReceiveObjectDump(const JVMPI_Event *event) {
    ZVDumpState &dump = ZVCore().dumps;
    const auto *data = reinterpret_cast<const unsigned char *>(event->u.object_dump.data);
    int64_t available = data != nullptr ? std::max<jint>(event->u.object_dump.data_len, 0) : 0;
    int64_t length = std::min<int64_t>(available, dump.objectMaximum);
    if (ZVTraits().objectDumpsOverrun) {
        // The VM reports more data than the record: size it from the record.
        length = 1;
        if (available >= 9 && data[0] == JVMPI_GC_OBJ_ARRAY_DUMP) {
            length = 4 * int64_t(readBigEndian32(data + 5)) + kArrayHeader;
        }
        length = std::min(length, available);  // never read past the event's data
    }
    if (length <= 0 || data == nullptr) {
        dump.objectLength = 0;
        return;
    }
    if (dump.objectCapacity < length) {
        sFree(dump.objectBytes);
        int64_t capacity = std::min<int64_t>(2 * length, INT32_MAX);
        dump.objectBytes = static_cast<char *>(sMalloc(static_cast<int>(capacity)));
        dump.objectCapacity = dump.objectBytes != nullptr ? static_cast<int32_t>(capacity) : 0;
        if (dump.objectBytes == nullptr) {
            dump.objectLength = 0;
            return;
        }
    }
    memcpy(dump.objectBytes, data, static_cast<size_t>(length));
    dump.objectLength = static_cast<int32_t>(length);
    dump.objectGeneration = zviGetGCGeneration();
}

char *zviHeapDump(int *outLength, int *outGeneration) {
    ZVDumpState &dump = ZVCore().dumps;
    dump.heapCallback = nullptr;
    requestHeapDump();
    if (outLength != nullptr) *outLength = dump.heapLength;
    if (outGeneration != nullptr) *outGeneration = dump.heapGeneration;
    return dump.heapBytes;
}

void zviProcessHeapDump(void (*callback)(char *bytes, int length)) {
    ZVDumpState &dump = ZVCore().dumps;
    dump.heapCallback = callback;
    requestHeapDump();
    dump.heapCallback = nullptr;
}

int32_t zviConvertHeapDumpClassID(ZVWord classID) { return PRIClassKeyGet(classID); }

unsigned char zviObjectArrayDescription(jobjectID object, uint32_t *outClassID,
                                        int32_t *outCount, uint32_t *outElements,
                                        int32_t maximum) {
    if (maximum < 0) maximum = 0;
    ZVCore().dumps.objectMaximum = static_cast<int32_t>(std::min<int64_t>(4 * int64_t(maximum) + 64, INT32_MAX));
    ZVCore().dumps.objectLength = 0;  // a dump that never arrives reports nothing
    zvipi->RequestEvent(JVMPI_EVENT_OBJECT_DUMP, object);
    int32_t length = ZVCore().dumps.objectLength;
    if (length <= 0) return 0;
    const auto *bytes = reinterpret_cast<const unsigned char *>(ZVCore().dumps.objectBytes);
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

ZVDumpState::~ZVDumpState() {
    sFree(heapBytes);
    sFree(objectBytes);
}
