// The StackMapTable attribute as a list of whole frames: decoded from its
// compact form, edited, and encoded again in the most compact form each
// frame allows.
#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "classfile/classfile.h"
#include "support/inline_vector.h"

// Verification type tags of the attribute.
enum {
    JCR_ITEM_Top = 0,
    JCR_ITEM_Integer = 1,
    JCR_ITEM_Float = 2,
    JCR_ITEM_Double = 3,
    JCR_ITEM_Long = 4,
    JCR_ITEM_Null = 5,
    JCR_ITEM_UninitializedThis = 6,
    JCR_ITEM_Object = 7,         // data: a Class constant
    JCR_ITEM_Uninitialized = 8,  // data: the offset of its `new`
};

struct JCRVerificationType {
    uint8_t tag = JCR_ITEM_Top;
    uint16_t data = 0;
    bool operator==(const JCRVerificationType &) const = default;
    // Long and Double take two local slots, listed once.
    bool wide() const { return tag == JCR_ITEM_Long || tag == JCR_ITEM_Double; }
};

// A list of verification types. Most frames hold a few locals and fewer
// stack entries: up to 16 live inside the list, so that a method's frames
// cost no allocation each.
class JCRTypeList : public ZVInlineVector<JCRVerificationType, 16> {
public:
    JCRTypeList() = default;
    // count Top entries.
    explicit JCRTypeList(size_t count) {
        for (size_t i = 0; i < count; ++i) push_back({});
    }
    JCRTypeList(std::initializer_list<JCRVerificationType> types) { append(types); }
    using ZVInlineVector::append;
    void append(std::initializer_list<JCRVerificationType> types) { append(types.begin(), types.size()); }
    void append(std::span<const JCRVerificationType> types) { append(types.data(), types.size()); }
    operator std::span<const JCRVerificationType>() const { return {data(), size()}; }
    bool operator==(const JCRTypeList &other) const {
        return std::equal(begin(), end(), other.begin(), other.end());
    }
};

// The types at one offset, locals as the attribute lists them (a wide
// type is one entry for two slots).
struct JCRFrame {
    int offset = 0;
    JCRTypeList locals;
    JCRTypeList stack;
};

// The Class constants of one class by name, read once: frames name many
// classes, and a scan of the pool per name would cost more than the rest.
class JCRClassIndex {
public:
    // The constant naming the class, found or added; 0 when refused.
    int findOrAdd(JCRClass *jclass, std::string_view name);
    // The "StackMapTable" Utf8, found or added once; 0 when refused.
    int stackMapName(JCRClass *jclass);

private:
    struct Slot {
        std::string_view name;  // points into the class's Utf8 entries, which live as long as it
        int index = 0;          // 0: empty
    };
    void build(JCRClass *jclass);
    void put(std::string_view name, int index);
    Slot &slotOf(std::string_view name);
    const JCRClass *built_ = nullptr;
    int indexed_ = 0;  // the pool's entries below this slot are indexed
    int stackMapName_ = 0;
    // Open addressing in one block (a power of two, at most half full): a
    // class's Class constants cost one allocation, not one each.
    std::vector<Slot> slots_;
    size_t used_ = 0;
};

// The implicit frame at offset 0: `this` and the parameters of the method.
// False when the descriptor is malformed or a class constant cannot be added.
bool JCRInitialFrame(JCRClass *jclass, const JCRMember *method, JCRClassIndex &classes, JCRFrame *frame);

// The frames of a StackMapTable attribute, after the initial frame. False
// (after a message) when the attribute is malformed: an unknown frame or
// type, a chop below zero locals, or bytes missing or left over.
bool JCRDecodeStackMap(const JCRAttribute *attribute, const JCRFrame &initial, std::vector<JCRFrame> *frames);

// A new StackMapTable attribute for frames in increasing offset order; null
// when offsets do not increase, a frame has more than 65535 entries, or the
// attribute name cannot be added.
JCRAttribute *JCREncodeStackMap(JCRClass *jclass, JCRClassIndex &classes, const JCRFrame &initial,
                                const std::vector<JCRFrame> &frames);

// The same one frame at a time, for frames composed on the fly: each is
// encoded against the one before, so no list of whole frames is built.
class JCRStackMapEncoder {
public:
    using Types = std::span<const JCRVerificationType>;
    explicit JCRStackMapEncoder(const JCRFrame &initial);
    // False (and finish() gives null) when the offset does not follow the
    // previous frame's or a list is too long.
    bool add(int offset, Types locals, Types stack);
    // The attribute, or null (see above, or the name cannot be added).
    JCRAttribute *finish(JCRClass *jclass, JCRClassIndex &classes);

private:
    ZVInlineVector<uint8_t, 256> bytes_;  // a method's table mostly fits
    JCRTypeList previous_;  // the locals of the frame before
    int previousOffset_ = -1;                    // -1: the initial frame
    int count_ = 0;
    bool ok_ = true;
};

// How many local slots the listed locals occupy.
int JCRLocalSlots(std::span<const JCRVerificationType> locals);
