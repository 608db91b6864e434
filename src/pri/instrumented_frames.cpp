// The StackMapTable of an instrumented method. Inserted code never changes
// the types of the method's own locals and stack: a frame of the method
// stays right where its code went, given the instrumentation's locals, and
// the inserted code's own branch targets get frames whose types are known
// from the entry frame.
#include "pri/instrumented_frames.h"

#include <algorithm>

namespace {

constexpr const char *kContextClass = "meridyn/audit/profiler/ZVContext";

bool objectType(JCRClass *jclass, const char *name, JCRVerificationType *type) {
    int index = JCRFindClassRef(jclass, name);
    if (index <= 0) index = JCRAddClassRef(jclass, name);
    if (index <= 0) return false;
    *type = {JCR_ITEM_Object, static_cast<uint16_t>(index)};
    return true;
}

// locals padded with Top to slots, then extra; unchanged without extra.
std::vector<JCRVerificationType> withLocals(std::vector<JCRVerificationType> locals, int slots,
                                            const std::vector<JCRVerificationType> &extra) {
    if (extra.empty()) return locals;
    for (int used = JCRLocalSlots(locals); used < slots; ++used) locals.push_back({});
    locals.insert(locals.end(), extra.begin(), extra.end());
    return locals;
}

void moveUninitialized(std::vector<JCRVerificationType> &types, const PRIInsertionLog &log) {
    for (JCRVerificationType &t : types) {
        if (t.tag == JCR_ITEM_Uninitialized) t.data = static_cast<uint16_t>(log.instruction(t.data));
    }
}

}  // namespace

bool PRIMethodFrames::read(JCRClass *jclass, const JCRMember *method, const JCRAttribute *stackMap) {
    if (!JCRInitialFrame(jclass, method, &initial_)) return false;
    if (stackMap != nullptr && !JCRDecodeStackMap(stackMap, initial_, &own_)) return false;
    entry_ = initial_.locals;
    return objectType(jclass, kContextClass, &types_.context) && objectType(jclass, "[I", &types_.callStack) &&
           objectType(jclass, "java/lang/Throwable", &types_.throwable);
}

std::vector<JCRVerificationType> PRIMethodFrames::entryLocals(int firstLocal,
                                                              std::vector<JCRVerificationType> extra) const {
    return withLocals(entry_, firstLocal, extra);
}

void PRIMethodFrames::add(int offset, std::vector<JCRVerificationType> locals,
                          std::vector<JCRVerificationType> stack) {
    added_.push_back({offset, std::move(locals), std::move(stack)});
}

JCRAttribute *PRIMethodFrames::write(JCRClass *jclass, const PRIInsertionLog &log, int firstLocal,
                                     const std::vector<JCRVerificationType> &extra, int extraFrom) const {
    std::vector<JCRFrame> frames = added_;
    for (const JCRFrame &own : own_) {
        if (JCRLocalSlots(own.locals) > firstLocal) return nullptr;  // wider than max_locals
        JCRFrame frame{log.branchTarget(own.offset),
                       withLocals(own.locals, firstLocal, own.offset >= extraFrom ? extra : std::vector<JCRVerificationType>{}),
                       own.stack};
        moveUninitialized(frame.locals, log);
        moveUninitialized(frame.stack, log);
        frames.push_back(std::move(frame));
    }
    std::sort(frames.begin(), frames.end(), [](const JCRFrame &a, const JCRFrame &b) { return a.offset < b.offset; });
    for (size_t i = 1; i < frames.size(); ++i) {
        if (frames[i].offset == frames[i - 1].offset) return nullptr;
    }
    return JCREncodeStackMap(jclass, initial_, frames);
}
