// The StackMapTable of an instrumented method. Inserted code never changes
// the types of the method's own locals and stack: a frame of the method
// stays right where its code went, given the instrumentation's locals, and
// the inserted code's own branch targets get frames whose types are known
// from the entry frame.
#include "pri/rewrite/instrumented_frames.h"

#include <algorithm>
#include <string_view>

#include "contract/java_contract.h"
#include "support/heap.h"

namespace {


bool objectType(JCRClass *jclass, JCRClassIndex &classes, const char *name, JCRVerificationType *type) {
    int index = classes.findOrAdd(jclass, name);
    if (index <= 0) return false;
    *type = {JCR_ITEM_Object, static_cast<uint16_t>(index)};
    return true;
}

// locals padded with Top to slots, then extra; unchanged without extra.
JCRTypeList withLocals(JCRTypeList locals, int slots, const JCRTypeList &extra) {
    if (extra.empty()) return locals;
    for (int used = JCRLocalSlots(locals); used < slots; ++used) locals.push_back({});
    locals.append(extra);
    return locals;
}

void moveUninitialized(JCRTypeList &types, const PRIInsertionLog &log) {
    for (JCRVerificationType &t : types) {
        if (t.tag == JCR_ITEM_Uninitialized) t.data = static_cast<uint16_t>(log.instruction(t.data));
    }
}

}  // namespace

bool PRIMethodFrames::read(JCRClass *jclass, const JCRMember *method, const JCRAttribute *stackMap,
                           JCRClassIndex &classes) {
    if (!JCRInitialFrame(jclass, method, classes, &initial_)) return false;
    return stackMap == nullptr || JCRDecodeStackMap(stackMap, initial_, &own_);
}

bool PRIMethodFrames::nameTypes(JCRClass *jclass, JCRClassIndex &classes, PRIInsertedTypes &named, bool callStack,
                                bool throwable) {
    auto name = [&](const char *className, JCRVerificationType *type) {
        return type->tag == JCR_ITEM_Object || objectType(jclass, classes, className, type);
    };
    if (!name(java_contract::kContextClass, &named.context) || (callStack && !name("[I", &named.callStack)) ||
        (throwable && !name("java/lang/Throwable", &named.throwable))) {
        return false;
    }
    types_ = named;  // those this method does not use are never read
    return true;
}

JCRTypeList PRIMethodFrames::entryLocals(int firstLocal, const JCRTypeList &extra) const {
    return withLocals(initial_.locals, firstLocal, extra);
}

bool PRIMethodFrames::hasOwn(int pc) const {
    return std::any_of(own_.begin(), own_.end(), [&](const JCRFrame &f) { return f.offset == pc; });
}

void PRIMethodFrames::add(int offset, JCRTypeList locals, JCRTypeList stack) {
    added_.push_back({offset, std::move(locals), std::move(stack)});
}

JCRAttribute *PRIMethodFrames::write(JCRClass *jclass, JCRClassIndex &classes, const PRIInsertionLog &log,
                                     int firstLocal, const JCRTypeList &extra,
                                     int extraFrom) const {
    // Where each frame goes and what it is made of; each is composed only
    // when its turn to be encoded comes, in two lists used over and over.
    struct Placed {
        int offset;
        const JCRFrame *frame;
        bool own;  // the method's own types: extra locals added, `new` offsets moved
    };
    ZVInlineVector<Placed, 32> order;
    for (const JCRFrame &frame : added_) order.push_back({frame.offset, &frame, false});
    for (const JCRFrame &own : own_) order.push_back({log.branchTarget(own.offset), &own, true});
    if (startFrame_) order.push_back({log.branchTarget(0), &initial_, true});
    for (const auto &alias : aliases_) {
        const int target = alias.second;
        auto found = std::find_if(own_.begin(), own_.end(), [&](const JCRFrame &f) { return f.offset == target; });
        if (found == own_.end() && target != 0) return nullptr;
        order.push_back({alias.first, found != own_.end() ? &*found : &initial_, true});
    }
    std::sort(order.begin(), order.end(), [](const Placed &a, const Placed &b) { return a.offset < b.offset; });
    JCRStackMapEncoder encoder(initial_);
    JCRTypeList locals, stack;
    for (size_t i = 0; i < order.size(); ++i) {
        const Placed &p = order[i];
        if (i > 0 && p.offset == order[i - 1].offset) return nullptr;
        if (!p.own) {
            if (!encoder.add(p.offset, p.frame->locals, p.frame->stack)) return nullptr;
            continue;
        }
        if (JCRLocalSlots(p.frame->locals) > firstLocal) return nullptr;  // wider than max_locals
        locals = p.frame->locals;
        if (!extra.empty() && p.frame->offset >= extraFrom) {
            for (int used = JCRLocalSlots(locals); used < firstLocal; ++used) locals.push_back({});
            locals.append(extra);
        }
        stack = p.frame->stack;
        moveUninitialized(locals, log);
        moveUninitialized(stack, log);
        if (!encoder.add(p.offset, locals, stack)) return nullptr;
    }
    return encoder.finish(jclass, classes);
}

void PRIInsertionLog::addBatch(const JCRInsertion *blocks, int count, int oldCount) {
    steps_.push_back(points_.size());
    for (int b = 0; b < count; ++b) {
        const JCRInsertion &block = blocks[b];
        if (block.bytes == 0 || block.index >= oldCount) continue;
        bool skip = (block.flags & JCR_INSERT_SKIP_INSERTED) != 0;
        if (points_.size() == steps_.back() || points_.back().at != block.at) {
            int before = points_.size() == steps_.back() ? 0 : points_.back().before + points_.back().bytes;
            points_.push_back({block.at, 0, 0, before});
        }
        Point &p = points_.back();
        if (p.skipped == p.bytes && skip) p.skipped += block.bytes;
        p.bytes += block.bytes;
    }
}

int PRIInsertionLog::moved(int pc, bool instruction, size_t first) const {
    for (size_t s = first; s < steps_.size(); ++s) {
        // The step's last point at or below pc: the bytes of all before it,
        // and its own unless a branch to pc skips them.
        const Point *low = points_.begin() + steps_[s];
        const Point *high = s + 1 < steps_.size() ? points_.begin() + steps_[s + 1] : points_.end();
        const Point *after = std::upper_bound(low, high, pc, [](int at, const Point &p) { return at < p.at; });
        if (after == low) continue;
        const Point &p = after[-1];
        pc += p.before + (p.at < pc || instruction ? p.bytes : p.skipped);
    }
    return pc;
}

void PRIRelocateLocalVariables(const JCRClass *jclass, JCRCode *code, const PRIInsertionLog &log) {
    int codeLength = static_cast<int>(code->code_length);
    for (int a = 0; a < code->attributes_count; ++a) {
        JCRAttribute *attribute = code->attributes[a];
        const char *name = JCRUtf8At(jclass, attribute->name_index);
        if (name == nullptr) continue;
        std::string_view kind(name);
        if (kind != "LocalVariableTable" && kind != "LocalVariableTypeTable") continue;
        uint8_t *info = attribute->info;
        bool fits = attribute->length >= 2;
        int count = fits ? (info[0] << 8 | info[1]) : 0;
        fits = fits && attribute->length >= 2u + 10u * count;
        for (int e = 0; fits && e < count; ++e) {
            uint8_t *entry = info + 2 + 10 * e;
            int start = entry[0] << 8 | entry[1];
            int end = start + (entry[2] << 8 | entry[3]);
            int newStart = log.instruction(start);
            int newEnd = log.branchTarget(end);
            if (newEnd > codeLength || newStart > 0xFFFF || newEnd - newStart > 0xFFFF || newEnd < newStart) {
                fits = false;
                break;
            }
            entry[0] = static_cast<uint8_t>(newStart >> 8);
            entry[1] = static_cast<uint8_t>(newStart);
            entry[2] = static_cast<uint8_t>((newEnd - newStart) >> 8);
            entry[3] = static_cast<uint8_t>(newEnd - newStart);
        }
        if (!fits) {
            JCRRelease(&code->arena, attribute);
            for (int b = a + 1; b < code->attributes_count; ++b) code->attributes[b - 1] = code->attributes[b];
            --code->attributes_count;
            --a;
        }
    }
}
