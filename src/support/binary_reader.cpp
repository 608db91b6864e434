// The binary element syntax: a type byte per element, little-endian typed
// integers, counted strings, lists, maps and numeric arrays.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "support/element_maps.h"
#include "support/element_reader.h"
#include "support/heap.h"

namespace {

enum BinaryType {
    kByte = 0,
    kShort = 1,
    kInt = 2,
    kString = 3,
    kList = 4,
    kMap = 5,
    kByteData = 6,
    kInt32Data = 7,
    kInt64Data = 8,
    kLong = 9,
};

// Sources of unknown length are read in pieces of this size, so that a
// length field promising more than the input holds costs no more memory
// than the bytes that actually arrive.
constexpr int kChunk = 64 * 1024;
// Initial capacity for containers whose count comes from such a source.
constexpr int kMaxInitialItems = 1024;

class BinaryReader {
public:
    explicit BinaryReader(SEReader *reader) : reader_(reader) {}

    // Null at the end of the input, or after setting the reader's error text
    // to what was wrong and where.
    SEElement *top() {
        SEElement *result = element(0);
        if (result == nullptr && (consumed_ > 0 || problem_[0] != '\0') && reader_->error == nullptr) {
            if (problem_[0] == '\0') std::snprintf(problem_, sizeof problem_, "the input ends inside an element");
            reader_->error = static_cast<char *>(sMalloc(kSEErrorSize));
            // A long problem text is cut at the buffer's end, still terminated.
            if (reader_->error != nullptr &&
                std::snprintf(reader_->error, kSEErrorSize, "Binary syntax error: %s after byte %ld\n", problem_, at_) < 0)
                reader_->error[0] = '\0';
        }
        return result;
    }

    SEElement *element(int depth) {
        int type;
        if (!readByte(type)) return nullptr;
        switch (type) {
        case kByte:
        case kShort:
        case kInt: {
            int32_t value;
            return readInt32Payload(type, value) ? SENewInt32(value) : nullptr;
        }
        case kLong: {
            int64_t value;
            if (!readInt64Payload(value)) return nullptr;
            auto bits = static_cast<uint64_t>(value);
            return SENewInt64(static_cast<uint32_t>(bits), static_cast<uint32_t>(bits >> 32));
        }
        case kString: {
            std::string bytes;
            if (!readCounted(bytes)) return nullptr;
            return SENewString(bytes.data(), static_cast<int>(bytes.size()));
        }
        case kList: return depth < kSEMaxDepth ? list(depth + 1) : tooDeep();
        case kMap: return depth < kSEMaxDepth ? map(depth + 1) : tooDeep();
        case kByteData: {
            std::string bytes;
            if (!readCounted(bytes)) return nullptr;
            return SENewData(SE_BYTE_DATA, bytes.data(), static_cast<int>(bytes.size()), 1);
        }
        case kInt32Data: return int32Data();
        case kInt64Data: return int64Data();
        default: return problem("unknown element type %d", type);
        }
    }

private:
    // The first problem found, and how many bytes had been read then.
    SEElement *problem(const char *format, int value) {
        if (problem_[0] == '\0') {
            std::snprintf(problem_, sizeof problem_, format, value);
            at_ = consumed_;
        }
        return nullptr;
    }
    SEElement *tooDeep() { return problem("elements nested deeper than %d", kSEMaxDepth); }

    // All the bytes or failure. A memory read that would pass the end fails
    // and consumes nothing.
    bool readBytes(void *buffer, int length) {
        if (length == 0) return true;
        if (!readSource(buffer, length)) {
            if (problem_[0] == '\0') at_ = consumed_;
            return false;
        }
        consumed_ += length;
        return true;
    }

    bool readSource(void *buffer, int length) {
        if (reader_->readBytes != nullptr) return reader_->readBytes(buffer, length) != 0;
        if (reader_->readBytesContext != nullptr)
            return reader_->readBytesContext(reader_->context, buffer, length) != 0;
        if (reader_->file != nullptr)
            return std::fread(buffer, 1, static_cast<size_t>(length), reader_->file) == static_cast<size_t>(length);
        if (reader_->memory == nullptr || length > reader_->size - reader_->position) return false;
        std::memcpy(buffer, reader_->memory + reader_->position, static_cast<size_t>(length));
        reader_->position += length;
        return true;
    }

    bool isMemory() const {
        return reader_->readBytes == nullptr && reader_->readBytesContext == nullptr && reader_->file == nullptr;
    }

    // A memory input can be checked up front: `count` items of at least
    // `minimumBytes` each must fit in what is left.
    bool fits(int count, int minimumBytes) const {
        return !isMemory() || count <= (reader_->size - reader_->position) / minimumBytes;
    }

    int initialCapacity(int count) const { return isMemory() ? count : std::min(count, kMaxInitialItems); }

    bool readByte(int &value) {
        unsigned char byte;
        if (!readBytes(&byte, 1)) return false;
        value = byte;
        return true;
    }

    bool readInt32Payload(int type, int32_t &value) {
        unsigned char bytes[4];
        switch (type) {
        case kByte:
            if (!readBytes(bytes, 1)) return false;
            value = bytes[0];
            return true;
        case kShort:
            if (!readBytes(bytes, 2)) return false;
            value = bytes[0] | bytes[1] << 8;
            return true;
        case kInt:
            if (!readBytes(bytes, 4)) return false;
            value = static_cast<int32_t>(static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
                                         static_cast<uint32_t>(bytes[2]) << 16 |
                                         static_cast<uint32_t>(bytes[3]) << 24);
            return true;
        default:
            std::fprintf(stderr, "readInt32FromBinaryWithType: Invalid type (%d).", type);
            value = -1;
            return true;
        }
    }

    bool readInt64Payload(int64_t &value) {
        unsigned char bytes[8];
        if (!readBytes(bytes, 8)) return false;
        uint64_t bits = 0;
        for (int i = 7; i >= 0; i--) bits = bits << 8 | bytes[i];
        value = static_cast<int64_t>(bits);
        return true;
    }

    // False on a short read; an invalid type yields -1 after its message.
    bool readInt32(int32_t &value) {
        int type;
        return readByte(type) && readInt32Payload(type, value);
    }

    bool readInt64(int64_t &value) {
        int type;
        if (!readByte(type)) return false;
        if (type == kLong) return readInt64Payload(value);
        if (type == kByte || type == kShort || type == kInt) {
            int32_t small;
            if (!readInt32Payload(type, small)) return false;
            value = small;
            return true;
        }
        std::fprintf(stderr, "readInt64FromBinaryWithType: Invalid type (%d).", type);
        value = -1;
        return true;
    }

    bool readCount(int32_t &count, int minimumBytes) {
        if (!readInt32(count)) return false;
        if (count >= 0 && fits(count, minimumBytes)) return true;
        problem("a count or length of %d that the input cannot hold", count);
        return false;
    }

    bool readByteString(std::string &bytes, int32_t length) {
        bytes.clear();
        while (length > 0) {
            int piece = std::min(length, kChunk);
            size_t start = bytes.size();
            bytes.resize(start + static_cast<size_t>(piece));
            if (!readBytes(bytes.data() + start, piece)) return false;
            length -= piece;
        }
        return true;
    }

    // A typed-integer length, then that many bytes.
    bool readCounted(std::string &bytes) {
        int32_t length;
        return readCount(length, 1) && length < INT_MAX && readByteString(bytes, length);
    }

    SEElement *list(int depth) {
        int32_t count;
        if (!readCount(count, 2)) return nullptr;
        SEElement *list = SENewList(initialCapacity(count));
        if (list == nullptr) return nullptr;
        for (int32_t i = 0; i < count; i++) {
            SEElement *item = element(depth);
            if (item == nullptr) {
                SEFree(list);
                return nullptr;
            }
            SEListAdd(list, item);
        }
        return list;
    }

    SEElement *map(int depth) {
        int32_t count;
        if (!readCount(count, 4)) return nullptr;
        SEElement *map = SENewMap(initialCapacity(count), nullptr);
        if (map == nullptr) return nullptr;
        for (int32_t i = 0; i < count; i++) {
            int32_t keyLength;
            std::string key;
            if (!readCount(keyLength, 1) || !readByteString(key, keyLength)) return failMap(map);
            SEElement *value = element(depth);
            if (value == nullptr) return failMap(map);
            char *ownKey = sStrdup(key.c_str());
            if (!seMapInsert(map, ownKey, value)) {
                sFree(ownKey);
                SEFree(value);
                return failMap(map);
            }
        }
        return map;
    }

    static SEElement *failMap(SEElement *map) {
        SEFree(map);
        return nullptr;
    }

    // An item may be a lone invalid type byte, so each needs one byte at least.
    SEElement *int32Data() {
        int32_t count;
        if (!readCount(count, 1)) return nullptr;
        std::vector<int32_t> items;
        items.reserve(static_cast<size_t>(initialCapacity(count)));
        for (int32_t i = 0; i < count; i++) {
            int32_t value;
            if (!readInt32(value)) return nullptr;
            items.push_back(value);
        }
        return SENewData(SE_INT32_DATA, items.data(), count, 1);
    }

    SEElement *int64Data() {
        int32_t count;
        if (!readCount(count, 1)) return nullptr;
        std::vector<int64_t> items;
        items.reserve(static_cast<size_t>(initialCapacity(count)));
        for (int32_t i = 0; i < count; i++) {
            int64_t value;
            if (!readInt64(value)) return nullptr;
            items.push_back(value);
        }
        return SENewData(SE_INT64_DATA, items.data(), count, 1);
    }

    SEReader *reader_;
    long consumed_ = 0;  // bytes read by this call
    long at_ = 0;
    char problem_[96] = "";
};

}  // namespace

SEElement *seReadBinary(SEReader *reader) { return BinaryReader(reader).top(); }
