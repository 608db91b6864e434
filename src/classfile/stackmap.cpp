// StackMapTable decoding and encoding (frames are deltas on the previous
// frame; the first one on the frame the method's descriptor implies).
#include "classfile/stackmap.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "classfile/classfile_internal.h"

namespace {

enum {
    kSameFrameLast = 63,
    kSameLocalsOneStackLast = 127,
    kSameLocalsOneStackExtended = 247,
    kChopFirst = 248,
    kSameFrameExtended = 251,
    kAppendLast = 254,
    kFullFrame = 255,
};

class FrameReader {
public:
    explicit FrameReader(const JCRAttribute *attribute) : at_(attribute->info), end_(at_ + attribute->length) {}
    bool ok() const { return ok_; }
    bool done() const { return at_ == end_; }
    int u8() {
        if (at_ >= end_) return fail();
        return *at_++;
    }
    int u16() {
        int high = u8();
        return high << 8 | u8();
    }
    JCRVerificationType type() {
        JCRVerificationType t;
        int tag = u8();
        if (tag > JCR_ITEM_Uninitialized) return fail(), t;
        t.tag = static_cast<uint8_t>(tag);
        if (tag == JCR_ITEM_Object || tag == JCR_ITEM_Uninitialized) t.data = static_cast<uint16_t>(u16());
        return t;
    }
    bool types(int count, JCRTypeList *out) {
        for (int i = 0; i < count && ok_; ++i) out->push_back(type());
        return ok_;
    }
    int fail() {
        ok_ = false;
        at_ = end_;
        return 0;
    }

private:
    const uint8_t *at_;
    const uint8_t *end_;
    bool ok_ = true;
};

// Gathers a frame's bytes in a small block of its own and appends them to
// the table's in one go (when the block is full and at the end): a frame
// takes a few appends, not one per byte.
class FrameWriter {
public:
    explicit FrameWriter(ZVInlineVector<uint8_t, 256> &bytes) : bytes_(bytes) {}
    ~FrameWriter() { flush(); }
    FrameWriter(const FrameWriter &) = delete;
    FrameWriter &operator=(const FrameWriter &) = delete;
    void u8(int value) {
        if (used_ == sizeof block_) flush();
        block_[used_++] = static_cast<uint8_t>(value);
    }
    void u16(int value) {
        u8(value >> 8);
        u8(value);
    }
    void type(const JCRVerificationType &t) {
        u8(t.tag);
        if (t.tag == JCR_ITEM_Object || t.tag == JCR_ITEM_Uninitialized) u16(t.data);
    }
    void types(JCRStackMapEncoder::Types list, size_t from = 0) {
        for (size_t i = from; i < list.size(); ++i) type(list[i]);
    }

private:
    void flush() {
        bytes_.append(block_, used_);
        used_ = 0;
    }
    ZVInlineVector<uint8_t, 256> &bytes_;
    uint8_t block_[64];
    size_t used_ = 0;
};

using Types = JCRStackMapEncoder::Types;

bool isPrefix(Types shorter, Types longer) {
    return shorter.size() <= longer.size() && std::equal(shorter.begin(), shorter.end(), longer.begin());
}

void writeFrame(FrameWriter &out, Types previous, Types locals, Types stack, int delta) {
    bool sameLocals = locals.size() == previous.size() && isPrefix(previous, locals);
    if (sameLocals && stack.empty()) {
        if (delta <= kSameFrameLast) return out.u8(delta);
        out.u8(kSameFrameExtended);
        return out.u16(delta);
    }
    if (sameLocals && stack.size() == 1) {
        if (delta <= kSameLocalsOneStackLast - 64) {
            out.u8(64 + delta);
        } else {
            out.u8(kSameLocalsOneStackExtended);
            out.u16(delta);
        }
        return out.type(stack[0]);
    }
    size_t before = previous.size();
    if (stack.empty() && locals.size() > before && locals.size() - before <= 3 && isPrefix(previous, locals)) {
        out.u8(kSameFrameExtended + static_cast<int>(locals.size() - before));
        out.u16(delta);
        return out.types(locals, before);
    }
    if (stack.empty() && locals.size() < before && before - locals.size() <= 3 && isPrefix(locals, previous)) {
        out.u8(kSameFrameExtended - static_cast<int>(before - locals.size()));
        return out.u16(delta);
    }
    out.u8(kFullFrame);
    out.u16(delta);
    out.u16(static_cast<int>(locals.size()));
    out.types(locals);
    out.u16(static_cast<int>(stack.size()));
    out.types(stack);
}

// The verification type of the field descriptor at descriptor[*at], which
// then moves past it; Top when it is malformed.
JCRVerificationType parameterType(JCRClass *jclass, JCRClassIndex &classes, const char *descriptor, size_t *at,
                                  bool *ok) {
    size_t start = *at;
    while (descriptor[*at] == '[') ++*at;
    bool array = *at > start;
    char c = descriptor[*at];
    JCRVerificationType t;
    if (c == 'L') {
        const char *semicolon = std::strchr(descriptor + *at, ';');
        if (semicolon == nullptr) return *ok = false, t;
        *at = static_cast<size_t>(semicolon - descriptor) + 1;
    } else if (c != '\0' && std::strchr("BCDFIJSZ", c) != nullptr) {
        ++*at;
        if (!array) {
            t.tag = c == 'F' ? JCR_ITEM_Float : c == 'J' ? JCR_ITEM_Long : c == 'D' ? JCR_ITEM_Double : JCR_ITEM_Integer;
            return t;
        }
    } else {
        return *ok = false, t;
    }
    // An object or array: a Class constant of its internal name.
    std::string_view name(descriptor + start, *at - start);
    if (!array) name = name.substr(1, name.size() - 2);
    int index = classes.findOrAdd(jclass, name);
    if (index <= 0) return *ok = false, t;
    t.tag = JCR_ITEM_Object;
    t.data = static_cast<uint16_t>(index);
    return t;
}

}  // namespace

int JCRLocalSlots(std::span<const JCRVerificationType> locals) {
    int slots = 0;
    for (const JCRVerificationType &t : locals) slots += t.wide() ? 2 : 1;
    return slots;
}

JCRClassIndex::Slot &JCRClassIndex::slotOf(std::string_view name) {
    size_t mask = slots_.size() - 1;
    size_t hash = 2166136261u;  // FNV-1a
    for (char c : name) hash = (hash ^ static_cast<uint8_t>(c)) * 16777619u;
    for (size_t at = hash & mask;; at = (at + 1) & mask) {
        Slot &slot = slots_[at];
        if (slot.index == 0 || slot.name == name) return slot;
    }
}

void JCRClassIndex::put(std::string_view name, int index) {
    if (2 * (used_ + 1) > slots_.size()) {
        std::vector<Slot> old;
        old.swap(slots_);
        slots_.assign(old.empty() ? 64 : 2 * old.size(), Slot{});
        for (const Slot &s : old) {
            if (s.index != 0) slotOf(s.name) = s;
        }
    }
    Slot &slot = slotOf(name);
    if (slot.index != 0) return;  // the first of duplicates wins
    slot = {name, index};
    ++used_;
}

// Indexes the Class entries (and finds the "StackMapTable" Utf8) of the
// class's pool, and later only the entries added since: others add to the
// pool too (the context's references), and a name missing here then is
// missing from the pool.
void JCRClassIndex::build(JCRClass *jclass) {
    if (built_ != jclass) {
        built_ = jclass;
        indexed_ = 1;
        stackMapName_ = 0;
        used_ = 0;
        // Sized by the Class entries present (a few in most pools), with
        // room for some added; put() doubles the table past half full.
        size_t classes = 0;
        for (int index = 1; index < jclass->constant_pool_count; ++index) {
            const JCRConstant *entry = jclass->constant_pool[index];
            if (entry != nullptr && entry->tag == JCR_CONSTANT_Class) ++classes;
        }
        size_t size = 64;
        while (size < 2 * (classes + 16)) size *= 2;
        slots_.assign(size, Slot{});
    }
    static constexpr std::string_view kStackMapTable = "StackMapTable";
    for (int index = indexed_; index < jclass->constant_pool_count; ++index) {
        const JCRConstant *entry = jclass->constant_pool[index];
        if (entry == nullptr) continue;
        if (entry->tag == JCR_CONSTANT_Utf8) {
            if (stackMapName_ <= 0 && std::string_view(entry->text, entry->length) == kStackMapTable) stackMapName_ = index;
            continue;
        }
        if (entry->tag != JCR_CONSTANT_Class) continue;
        const JCRConstant *name = JCRConstantAt(jclass, entry->index1, JCR_CONSTANT_Utf8);
        if (name != nullptr) put(std::string_view(name->text, name->length), index);
    }
    indexed_ = jclass->constant_pool_count;
}

int JCRClassIndex::stackMapName(JCRClass *jclass) {
    build(jclass);
    if (stackMapName_ <= 0) stackMapName_ = JCRAddUtf8(jclass, "StackMapTable");
    return stackMapName_ > 0 ? stackMapName_ : 0;
}

int JCRClassIndex::findOrAdd(JCRClass *jclass, std::string_view name) {
    build(jclass);
    int found = slotOf(name).index;
    if (found != 0) return found;
    int index = JCRAddNewClassRef(jclass, std::string(name).c_str());
    const JCRConstant *entry = index > 0 ? JCRConstantAt(jclass, index, JCR_CONSTANT_Class) : nullptr;
    const JCRConstant *text = entry != nullptr ? JCRConstantAt(jclass, entry->index1, JCR_CONSTANT_Utf8) : nullptr;
    if (text != nullptr) put(std::string_view(text->text, text->length), index);
    return index > 0 ? index : 0;
}

bool JCRInitialFrame(JCRClass *jclass, const JCRMember *method, JCRClassIndex &classes, JCRFrame *frame) {
    frame->offset = 0;
    frame->locals.clear();
    frame->stack.clear();
    const char *name = JCRUtf8At(jclass, method->name_index);
    const char *descriptor = JCRUtf8At(jclass, method->descriptor_index);
    if (name == nullptr || descriptor == nullptr || descriptor[0] != '(') return false;
    if ((method->access_flags & JCR_ACC_STATIC) == 0) {
        JCRVerificationType self;
        if (std::strcmp(name, "<init>") == 0 && !JCRClassNameIs(jclass, "java/lang/Object")) {
            self.tag = JCR_ITEM_UninitializedThis;
        } else {
            self.tag = JCR_ITEM_Object;
            self.data = jclass->this_class;
        }
        frame->locals.push_back(self);
    }
    bool ok = true;
    size_t at = 1;
    while (ok && descriptor[at] != ')') frame->locals.push_back(parameterType(jclass, classes, descriptor, &at, &ok));
    return ok;
}

bool JCRDecodeStackMap(const JCRAttribute *attribute, const JCRFrame &initial, std::vector<JCRFrame> *frames) {
    FrameReader in(attribute);
    int count = in.u16();
    const JCRFrame *previous = &initial;
    frames->reserve(static_cast<size_t>(count));
    for (int i = 0; i < count && in.ok(); ++i) {
        JCRFrame frame;
        int type = in.u8();
        int delta = 0;
        if (type <= kSameLocalsOneStackLast) {
            delta = type <= kSameFrameLast ? type : type - 64;
            frame.locals = previous->locals;
            if (type > kSameFrameLast) in.types(1, &frame.stack);
        } else if (type < kSameLocalsOneStackExtended) {
            in.fail();
        } else if (type == kSameLocalsOneStackExtended) {
            delta = in.u16();
            frame.locals = previous->locals;
            in.types(1, &frame.stack);
        } else if (type <= kAppendLast) {
            delta = in.u16();
            frame.locals = previous->locals;
            int change = type - kSameFrameExtended;
            if (-change > static_cast<int>(frame.locals.size())) {
                in.fail();  // a chop of more locals than the frame has
            } else if (change < 0) {
                frame.locals.truncate(frame.locals.size() - static_cast<size_t>(-change));
            } else {
                in.types(change, &frame.locals);
            }
        } else {
            delta = in.u16();
            in.types(in.u16(), &frame.locals);
            in.types(in.u16(), &frame.stack);
        }
        frame.offset = previous == &initial ? delta : previous->offset + delta + 1;
        frames->push_back(std::move(frame));
        previous = &frames->back();
    }
    if (!in.ok() || !in.done()) {
        std::fprintf(stderr, "ZV encountered a malformed StackMapTable\n");
        return false;
    }
    return true;
}

JCRStackMapEncoder::JCRStackMapEncoder(const JCRFrame &initial) : previous_(initial.locals) {
    bytes_.push_back(0);  // the count, written by finish()
    bytes_.push_back(0);
}

bool JCRStackMapEncoder::add(int offset, Types locals, Types stack) {
    int delta = previousOffset_ < 0 ? offset : offset - previousOffset_ - 1;
    if (!ok_ || delta < 0 || delta > 0xFFFF || locals.size() > 0xFFFF || stack.size() > 0xFFFF || count_ == 0xFFFF) {
        return ok_ = false;
    }
    FrameWriter out(bytes_);
    writeFrame(out, previous_, locals, stack, delta);
    previous_.clear();
    previous_.append(locals);
    previousOffset_ = offset;
    ++count_;
    return true;
}

JCRAttribute *JCRStackMapEncoder::finish(JCRClass *jclass, JCRClassIndex &classes) {
    if (!ok_) return nullptr;
    bytes_[0] = static_cast<uint8_t>(count_ >> 8);
    bytes_[1] = static_cast<uint8_t>(count_);
    int name = classes.stackMapName(jclass);
    if (name <= 0) return nullptr;
    auto *attribute = static_cast<JCRAttribute *>(JCRAllocate(sizeof(JCRAttribute) + bytes_.size()));
    if (attribute == nullptr) return nullptr;
    attribute->name_index = static_cast<uint16_t>(name);
    attribute->length = static_cast<uint32_t>(bytes_.size());
    std::memcpy(attribute->info, bytes_.data(), bytes_.size());
    return attribute;
}

JCRAttribute *JCREncodeStackMap(JCRClass *jclass, JCRClassIndex &classes, const JCRFrame &initial,
                                const std::vector<JCRFrame> &frames) {
    if (frames.size() > 0xFFFF) return nullptr;
    JCRStackMapEncoder encoder(initial);
    for (const JCRFrame &frame : frames) {
        if (!encoder.add(frame.offset, frame.locals, frame.stack)) return nullptr;
    }
    return encoder.finish(jclass, classes);
}
