// One method's rewrite: a call at entry that pushes the method's frame and
// keeps the thread's context in a new local, a call before every return and in
// a catch-all handler that pops it, and a store of the line number into the
// call stack at each source line; or one quick call for a tiny method. A
// branch the inserted code pushes out of 16-bit reach jumps on through a
// trampoline.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "classfile/bytecode.h"
#include "classfile/classfile.h"
#include "pri/rewrite/constructor_prologue.h"
#include "pri/rewrite/instrument_internal.h"
#include "pri/rewrite/instrumented_frames.h"
#include "pri/rewrite/instrument.h"
#include "smap/smap.h"
#include "support/heap.h"
#include "support/inline_vector.h"

namespace {

constexpr uint32_t kMaxInstrumentedCodeLength = 65414;
constexpr int kProbeRoom = 32;
constexpr uint16_t kPrivate = 0x0002;

bool isGroupID(uint32_t id) { return ZVIsGroupMethodID(id) != 0; }

bool isReturn(int opcode) { return JCRKindOf(opcode) == JCR_KIND_RETURN; }

// Instructions built into the class's operand pool.
class Code {
public:
    explicit Code(JCRClass *jclass) : jclass_(jclass) {}

    Code &op(int opcode) { return add([&](JCRInsn *i) { return JCRMakeOp(i, opcode); }); }
    Code &add32(int opcode, int32_t value) {
        return add([&](JCRInsn *i) { return JCRMakeOpU32(jclass_, i, opcode, value); });
    }
    Code &ref(int opcode, int index) {
        return add([&](JCRInsn *i) { return JCRMakeOpU16(jclass_, i, opcode, index); });
    }
    Code &pushInt(int32_t value) { return add([&](JCRInsn *i) { return JCRMakePushInt(jclass_, i, value); }); }
    Code &aload(int local) { return add([&](JCRInsn *i) { return JCRMakeALoad(jclass_, i, local); }); }
    Code &astore(int local) { return add([&](JCRInsn *i) { return JCRMakeAStore(jclass_, i, local); }); }
    Code &iload(int local) { return add([&](JCRInsn *i) { return JCRMakeILoad(jclass_, i, local); }); }
    Code &istore(int local) { return add([&](JCRInsn *i) { return JCRMakeIStore(jclass_, i, local); }); }
    // A branch to a label (an instruction index of this block) set later.
    Code &branch(int opcode, int label) {
        branches_.push_back({static_cast<int>(insns_.size()), label});
        return ref(opcode, 0);
    }
    int label() {
        labels_.push_back(static_cast<int>(insns_.size()));
        return static_cast<int>(labels_.size()) - 1;
    }
    void place(int label) { labels_[label] = static_cast<int>(insns_.size()); }
    // The label's offset from the start of the block.
    int offsetOfLabel(int label) const { return offsetOf(labels_[label]); }

    // The block with its branches resolved; false when a builder failed.
    bool finish() {
        for (const Branch &b : branches_) {
            int offset = offsetOf(labels_[b.label]) - offsetOf(b.at);
            JCRInsn &insn = insns_[b.at];
            if (JCRMakeOpU16(jclass_, &insn, insn.opcode, offset & 0xFFFF) == 0) return false;
        }
        return ok_;
    }
    JCRInsn *data() { return insns_.data(); }
    int count() const { return static_cast<int>(insns_.size()); }
    int bytes() const { return offsetOf(count()); }

private:
    struct Branch {
        int at;
        int label;
    };

    template <typename Builder>
    Code &add(Builder build) {
        JCRInsn insn{};
        if (build(&insn) == 0) ok_ = false;
        insns_.push_back(insn);
        return *this;
    }
    int offsetOf(int index) const {
        int offset = 0;
        for (int i = 0; i < index; ++i) offset += JCRInsnSize(&insns_[i]);
        return offset;
    }

    JCRClass *jclass_;
    ZVInlineVector<JCRInsn, 16> insns_;
    ZVInlineVector<Branch, 8> branches_;
    ZVInlineVector<int, 8> labels_;
    bool ok_ = true;
};

int debugFlags(int debug) { return debug ? JCR_INSERT_TRACE : 0; }

void dumpMethod(const JCRClass *jclass, const JCRInsnList *list, const JCRCode *code, const JCRLineTable *table) {
    JCRDumpCode(jclass, list, table);
    JCRDumpExceptionTable(code);
    if (table != nullptr) JCRDumpLineTable(table);
}

// Replaces the attribute old with replacement (which the member then owns).
void replaceAttribute(const JCRClass *jclass, JCRMember *owner, JCRAttribute *old, JCRAttribute *replacement) {
    for (int a = 0; a < owner->attributes_count; ++a) {
        if (owner->attributes[a] == old) {
            JCRRelease(&jclass->arena, old);
            owner->attributes[a] = replacement;
            return;
        }
    }
    sFree(replacement);
}

void replaceCodeAttribute(JCRCode *code, JCRAttribute *old, JCRAttribute *replacement) {
    for (int a = 0; a < code->attributes_count; ++a) {
        if (code->attributes[a] == old) {
            JCRRelease(&code->arena, old);
            code->attributes[a] = replacement;
            return;
        }
    }
    sFree(replacement);
}

bool isConstructor(const JCRClass *jclass, const JCRMember *method) {
    const char *name = JCRUtf8At(jclass, method->name_index);
    return name != nullptr && std::string_view(name) == "<init>" && !JCRClassNameIs(jclass, "java/lang/Object");
}

JCRAttribute *findCodeAttribute(const JCRClass *jclass, const JCRCode *code, const char *name) {
    for (int a = 0; a < code->attributes_count; ++a) {
        const char *text = JCRUtf8At(jclass, code->attributes[a]->name_index);
        if (text != nullptr && std::string_view(text) == name) return code->attributes[a];
    }
    return nullptr;
}

// Owns what one rewrite allocates, and remembers where code went in so that
// pc ranges and frames the editor does not know can follow.
struct Work {
    JCRCode *code = nullptr;
    JCRLineTable *table = nullptr;  // &lineTable when the method has one
    JCRInsnList *list = nullptr;
    uint16_t *lines = nullptr;  // the line table the probes follow, in the thread's scratch
    uint16_t *pcs = nullptr;
    PRIInsertionLog log;

    // Where the blocks go at one instruction: the entry code first, then a
    // handler's resume, the line's probe and the exit before a return.
    enum Place { kEntry = 0, kResume = 1, kProbe = 2, kExit = 3 };

    // Plans a block before instruction index of the list as it is; apply()
    // puts every planned block in with one pass over the method. Returns
    // the instructions it will take, its padding nops included.
    int plan(const JCRInsn *insns, int n, int index, Place place, int flags) {
        int size = 0;
        for (int i = 0; i < n; ++i) size += JCRInsnSize(&insns[i]);
        planned.push_back({index, place, static_cast<int>(planned.size()), static_cast<int>(pool.size()), n, flags});
        pool.insert(pool.end(), insns, insns + n);
        return n + (index < list->count ? JCRSwitchPadding(list, size) : 0);
    }
    bool apply() {
        if (planned.empty()) return true;
        std::sort(planned.begin(), planned.end(), [](const Planned &a, const Planned &b) {
            return a.index != b.index ? a.index < b.index : a.place != b.place ? a.place < b.place : a.order < b.order;
        });
        std::vector<JCRInsertion> &blocks = s.blocks;
        blocks.clear();
        for (const Planned &p : planned) blocks.push_back({p.index, pool.data() + p.first, p.n, p.flags, 0, 0});
        int oldCount = list->count;
        if (JCRInsertBatch(list, blocks.data(), static_cast<int>(blocks.size()), code, table) == 0) return false;
        log.addBatch(blocks.data(), static_cast<int>(blocks.size()), oldCount);
        planned.clear();
        pool.clear();
        return true;
    }

    // The instructions inserted (0 when refused); bytes, when given, gets
    // their size with the nops that keep switches aligned.
    int insert(const JCRInsn *insns, int n, int index, int flags, int *bytes = nullptr) {
        int at = JCRInsnOffset(list, index);
        int size = 0;
        for (int i = 0; i < n; ++i) size += JCRInsnSize(&insns[i]);
        int inserted = JCRInsertAt(list, insns, n, index, code, table, flags);
        size += inserted > n ? inserted - n : 0;  // padding nops, a byte each
        if (bytes != nullptr) *bytes = inserted > 0 ? size : 0;
        if (inserted > 0 && index < list->count - inserted) log.add(at, size, (flags & JCR_INSERT_SKIP_INSERTED) != 0);
        return inserted;
    }
    // Points lines and pcs at room for count entries each.
    void reserveLines(int count) {
        if (s.lines.size() < 2 * static_cast<size_t>(count)) s.lines.resize(2 * static_cast<size_t>(count));
        lines = s.lines.data();
        pcs = lines + count;
    }
    // Reads the method's line table, its entries into the thread's scratch.
    void readLineTable(const JCRAttribute *attribute) {
        size_t count = JCRLineTableCount(attribute);
        if (s.lineEntries.size() < count) s.lineEntries.resize(count);
        JCRReadLineTable(attribute, &lineTable, s.lineEntries.data());
        table = &lineTable;
    }
    Work() {
        planned.clear();
        pool.clear();
    }
    ~Work() {
        JCRFreeInsnList(list);
        JCRFreeCode(code);
    }

private:
    struct Planned {
        int index;
        Place place;
        int order;
        int first;  // in pool
        int n;
        int flags;
    };
    // Kept by the thread from method to method: planning allocates nothing
    // once they have grown to a method's size.
    struct Scratch {
        std::vector<Planned> planned;
        std::vector<JCRInsn> pool;
        std::vector<JCRInsertion> blocks;
        std::vector<uint16_t> lines;  // the lines, then the pcs
        std::vector<JCRLineEntry> lineEntries;
    };
    static Scratch &scratch() {
        static thread_local Scratch kept;
        return kept;
    }
    Scratch &s = scratch();
    JCRLineTable lineTable{};
    std::vector<Planned> &planned = s.planned;
    std::vector<JCRInsn> &pool = s.pool;
};

// The first line (lowest start pc, the later entry on equal pcs) and the
// highest line of a line table.
void lineRange(const JCRLineTable *table, int32_t *first, int32_t *last) {
    int lowestPc = -1;
    int highest = -1;
    for (int i = 0; i < table->count; ++i) {
        const JCRLineEntry &e = table->entries[i];
        if (lowestPc < 0 || e.start_pc <= lowestPc) {
            lowestPc = e.start_pc;
            *first = e.line_number;
        }
        if (e.line_number > highest) highest = e.line_number;
    }
    *last = highest;
}

// Line probes: callStack[stackPointer] = line at each canonical entry (from
// the second one when the method has entry code). Branches to a line run its
// probe. Returns false when the probes could not be built.
bool insertProbes(JCRClass *jclass, Work &w, int count, int firstProbe, int L, int debug) {
    int k = 0, offset = 0;  // the search's place: instruction k starts at offset
    // The probes differ only in the line pushed: the loads are built once.
    JCRInsn probe[4] = {};
    if (JCRMakeALoad(jclass, &probe[0], L + 1) == 0 || JCRMakeILoad(jclass, &probe[1], L + 2) == 0 ||
        JCRMakeOp(&probe[3], 79 /* iastore */) == 0) {
        return false;
    }
    for (int i = firstProbe; i < count; ++i) {
        if (JCRMakePushInt(jclass, &probe[2], w.lines[i]) == 0) return false;
        // Before the instruction at the line's pc or, when none starts there,
        // the nearest one below it; then no further probes follow. The
        // canonical entries come in pc order: the search goes on from there.
        int target = w.pcs[i];
        while (k + 1 < w.list->count && offset + JCRInsnSize(&w.list->insns[k]) <= target) {
            offset += JCRInsnSize(&w.list->insns[k]);
            ++k;
        }
        bool exact = offset == target;
        if (w.plan(probe, 4, k, Work::kProbe, debugFlags(debug)) == 0) return false;
        if (!exact) break;
    }
    return true;
}

// The entry code (see the class comment), inserted before instruction index
// (0) so that branches back to it do not run it again. Without entry and
// exit calls it only fetches the thread's context for the line probes.
// Returns its size in instructions, or -1.
int insertEntry(JCRClass *jclass, Work &w, const PRIContextRefs *refs, uint32_t id, int32_t firstLine,
                bool calls, bool lines, int L, int index, int debug) {
    Code entry(jclass);
    auto loadStack = [&] {
        entry.op(89 /* dup */).op(89).ref(JCR_OP_GETFIELD, refs->index[PRI_REF_CALL_STACK]).astore(L + 1);
        entry.ref(JCR_OP_GETFIELD, refs->index[PRI_REF_STACK_POINTER]).istore(L + 2);
    };
    if (!calls) {
        entry.ref(JCR_OP_INVOKESTATIC, refs->index[PRI_REF_GET_CONTEXT_FAST]);
        if (lines) loadStack();
        entry.astore(L);
        if (!entry.finish()) return -1;
        return w.plan(entry.data(), entry.count(), index, Work::kEntry, JCR_INSERT_SKIP_INSERTED | debugFlags(debug));
    }
    // With entry and exit calls, L + 2 keeps where the entry put the frame
    // (line probes or not): the exits and handlers go back there, whatever
    // an exception left above it. The entry call never returns null (while
    // hibernating or before the bootstrap it returns a placeholder whose
    // exits do nothing), so the entry code has no branch and needs no frame.
    entry.pushInt(static_cast<int32_t>(id)).pushInt(firstLine);
    entry.ref(JCR_OP_INVOKESTATIC, refs->index[PRI_REF_DID_ENTER]);
    if (lines) {
        loadStack();
    } else {
        entry.op(89).ref(JCR_OP_GETFIELD, refs->index[PRI_REF_STACK_POINTER]).istore(L + 2);
    }
    entry.astore(L);
    if (!entry.finish()) return -1;
    return w.plan(entry.data(), entry.count(), index, Work::kEntry, JCR_INSERT_SKIP_INSERTED | debugFlags(debug));
}

// [aload L, iload L + 2, invokestatic willExitMethod] before every return;
// branches to a return run it. It has no branch of its own, so it needs no
// frame.
bool insertExits(JCRClass *jclass, Work &w, const PRIContextRefs *refs, int L, int debug) {
    Code exit(jclass);  // the same block before each return
    exit.aload(L).iload(L + 2).ref(JCR_OP_INVOKESTATIC, refs->index[PRI_REF_WILL_EXIT]);
    if (!exit.finish()) return false;
    for (int i = 0; i < w.list->count; ++i) {
        if (!isReturn(w.list->insns[i].opcode)) continue;
        if (w.plan(exit.data(), exit.count(), i, Work::kExit, debugFlags(debug)) == 0) return false;
    }
    return true;
}

// [aload L, iload L + 2, invokestatic resumeFrame] at the start of each of
// the method's own handlers: an exception may have left frames above the
// method's (a constructor's, thrown before or inside its super() call, which
// no handler can cover). Branches to a handler run it too; it changes nothing
// then. Its handlers' frames move onto it.
bool insertResumes(JCRClass *jclass, Work &w, const PRIContextRefs *refs, int L, int debug) {
    if (w.code->exception_table_length == 0) return true;
    std::vector<int> starts;
    for (int e = 0; e < w.code->exception_table_length; ++e) starts.push_back(w.code->exception_table[e].handler_pc);
    std::sort(starts.begin(), starts.end());
    starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
    Code resume(jclass);  // the same block at each handler
    resume.aload(L).iload(L + 2).ref(JCR_OP_INVOKESTATIC, refs->index[PRI_REF_RESUME_FRAME]);
    if (!resume.finish()) return false;
    int index = 0, offset = 0;  // instruction index starts at offset
    for (int at : starts) {
        while (index < w.list->count && offset < at) offset += JCRInsnSize(&w.list->insns[index++]);
        if (offset != at || index == w.list->count) return false;  // not an instruction start
        if (w.plan(resume.data(), resume.count(), index, Work::kResume, debugFlags(debug)) == 0) return false;
    }
    return true;
}

// A handler after the last instruction that pops the frame and rethrows,
// covering everything from start (the end of the entry code) on; existing
// handlers come first. Its frame holds only the context. In a constructor
// whose entry code comes first (thisInitialized: the old offset after the
// call that initialises `this`, else 0) a second one covers the code up to
// and with that call: the verifier lets a handler cover it when every path
// of the handler ends in athrow, and its frame keeps `this` uninitialised.
bool appendCatchAll(JCRClass *jclass, Work &w, const PRIContextRefs *refs, int start, int thisInitialized,
                    int L, PRIMethodFrames *frames) {
    int split = thisInitialized > 0 ? w.log.branchTarget(thisInitialized) : start;
    int call = thisInitialized > 0 ? w.log.instruction(thisInitialized - 3 /* invokespecial */) : start;
    int codeEnd = JCRInsnOffset(w.list, w.list->count);  // the handlers cover none of each other
    int end = codeEnd;                                     // where the next handler goes
    auto append = [&](int from, int to, JCRTypeList locals) {
        Code handler(jclass);
        handler.aload(L).iload(L + 2).ref(JCR_OP_INVOKESTATIC, refs->index[PRI_REF_EXIT_FRAME]).op(JCR_OP_ATHROW);
        if (!handler.finish()) return false;
        int handlerPc = end;
        if (JCRInsertAt(w.list, handler.data(), handler.count(), w.list->count, w.code, w.table, 0) == 0) return false;
        end += handler.bytes();  // appended: no padding
        if (handlerPc > 0xFFFF) {
            w.list->branch_overflow = 1;
            return true;
        }
        JCRAddExceptionEntry(w.code, from, to, handlerPc, 0);
        if (frames != nullptr) frames->add(handlerPc, std::move(locals), {frames->types().throwable});
        return true;
    };
    const PRIInsertedTypes *t = frames != nullptr ? &frames->types() : nullptr;
    if (call > start) {
        JCRTypeList uninitialized;
        if (t != nullptr) uninitialized = frames->entryLocals(L, {t->context, {}, t->stackPointer});
        if (!append(start, call, std::move(uninitialized))) return false;
    }
    JCRTypeList locals(static_cast<size_t>(L));
    if (t != nullptr) locals.append({t->context, {}, t->stackPointer});
    return append(split, codeEnd, std::move(locals));
}

// The method's line table in source lines of the class's source map, with the
// source's line range and name; 0 entries for a synthetic method.
int mappedLineTable(const JCRClass *jclass, const JCRMember *method, const SMAP *smap, Work &w, int room,
                    int32_t *firstLine, int32_t *lastLine, const char **source) {
    if (JCRIsSynthetic(jclass, method)) return 0;
    int32_t first = -1, last = -1;
    const char *name = nullptr;
    uint16_t *pcs = nullptr, *lines = nullptr;
    int count = SMAPMapLineTable(smap, w.table, &pcs, &lines, &name, room, &first, &last);
    if (count > 0) {
        w.reserveLines(count);
        std::copy(lines, lines + count, w.lines);
        std::copy(pcs, pcs + count, w.pcs);
        *firstLine = first;
        *lastLine = last;
        if (source != nullptr) *source = name;
    }
    sFree(pcs);
    sFree(lines);
    return count;
}

// A branch of the method's own code with a 16-bit offset, as decoded: the
// inserted code may push its target out of reach; its offset is then laid
// out again from the log, or it jumps on through a trampoline.
struct ShortBranch {
    int at;      // old offset
    int target;  // old offset
    int opcode;
    int trampoline = -1;  // its trampoline's offset when inserted, or -1
    size_t logAfter = 0;  // log entries made before the trampoline was in place
};

void shortBranches(const JCRInsnList *list, std::vector<ShortBranch> *found) {
    found->clear();
    for (int i = 0, offset = 0; i < list->count; offset += JCRInsnSize(&list->insns[i]), ++i) {
        const JCRInsn &insn = list->insns[i];
        if (JCROpcodes[insn.opcode].branch_kind != JCR_BRANCH_16 || insn.operand_length < 2) continue;
        found->push_back({offset, offset + jcr::readS16(insn.operands), insn.opcode});
    }
}

// Places where trampolines ([goto_w target] each) can go, in old offsets:
// before an instruction that has a frame of its own (a jump over them leads
// there), at the start (the implicit frame), or after the last instruction.
// Never inside a handler's range, whose frame the trampolines' frames would
// have to match, nor before a constructor has initialised `this`.
std::vector<int> trampolineSites(const JCRCode *code, const PRIMethodFrames *frames, int thisInitialized) {
    std::vector<int> sites;
    if (thisInitialized == 0) sites.push_back(0);
    if (frames != nullptr) {
        for (const JCRFrame &f : frames->own()) {
            if (f.offset < thisInitialized || f.offset == 0) continue;
            bool covered = false;
            for (int e = 0; e < code->exception_table_length && !covered; ++e) {
                covered = code->exception_table[e].start_pc < f.offset && f.offset <= code->exception_table[e].end_pc;
            }
            if (!covered) sites.push_back(f.offset);
        }
    }
    sites.push_back(static_cast<int>(code->code_length));
    return sites;
}

// Inserts the trampolines of the branches at the old offsets in far, each
// at the site nearest its branch; copies holds those that only fill a block
// to keep switches aligned. Returns false when one cannot be built.
bool insertTrampolines(JCRClass *jclass, Work &w, std::vector<ShortBranch> &branches, std::vector<ShortBranch> &copies,
                       const std::vector<int> &far, const std::vector<int> &sites, PRIMethodFrames *frames) {
    std::vector<std::pair<int, ShortBranch *>> planned;  // site, branch
    for (ShortBranch &b : branches) {
        if (std::find(far.begin(), far.end(), b.at) == far.end() || b.opcode == JCR_OP_JSR) continue;
        int best = sites.front();
        for (int site : sites) {
            if (std::abs(site - b.at) < std::abs(best - b.at)) best = site;
        }
        planned.push_back({best, &b});
    }
    std::sort(planned.begin(), planned.end(), [](const auto &a, const auto &b) { return a.first > b.first; });
    // From the last site back, so that the old offsets of the sites still
    // to come stay those of the current numbering.
    int end = static_cast<int>(w.code->code_length);
    for (size_t first = 0; first < planned.size();) {
        int site = planned[first].first;
        size_t last = first;
        while (last < planned.size() && planned[last].first == site) ++last;
        bool atEnd = site == end;
        int index = atEnd ? w.list->count : JCRInsnAtOffset(w.list, w.log.branchTarget(site));
        if (index < 0) return false;
        // Code that runs into the site jumps over the trampolines; after an
        // unconditional jump the first trampoline starts with its own frame.
        bool entered = !atEnd && (index == 0 || !JCREndsFallThrough(w.list->insns[index - 1].opcode));
        int count = static_cast<int>(last - first);
        int over = entered ? 5 : 0;
        int filler = 0;  // nops before the jump over, or copies of the first trampoline
        if (w.list->has_switch && !atEnd) filler = entered ? (4 - (over + 5 * count) % 4) % 4 : (4 - count % 4) % 4;
        int nops = entered ? filler : 0;
        Code block(jclass);
        for (int k = 0; k < nops; ++k) block.op(JCR_OP_NOP);
        if (entered) block.add32(JCR_OP_GOTO_W, over + 5 * count);
        int jumps = count + (entered ? 0 : filler);
        for (int k = 0; k < jumps; ++k) block.add32(JCR_OP_GOTO_W, 0);
        if (!block.finish()) return false;
        int at = JCRInsnOffset(w.list, index);
        int inserted = w.insert(block.data(), block.count(), index, JCR_INSERT_SKIP_INSERTED);
        if (inserted != block.count()) return false;  // padding of its own would break the jumps
        for (int k = 0; k < jumps; ++k) {
            ShortBranch *b = k < count ? planned[first + k].second : nullptr;
            if (b == nullptr) {
                copies.push_back(*planned[first].second);
                b = &copies.back();
            }
            b->trampoline = at + nops + over + 5 * k;
            b->logAfter = w.log.size();
            JCRInsn &jump = w.list->insns[index + nops + (entered ? 1 : 0) + k];
            jcr::writeU32(jump.operands, static_cast<uint32_t>(w.log.branchTarget(b->target) - b->trampoline));
        }
        if (frames != nullptr && site == 0 && entered && !frames->hasOwn(0)) frames->needStartFrame();
        first = last;
    }
    return true;
}

// Writes every short branch's offset from where its instruction and target
// went (or its trampoline); the frames of trampolines are those of their
// targets. Returns the old offsets of the branches still out of reach.
std::vector<int> layOutShortBranches(Work &w, const std::vector<ShortBranch> &branches,
                                     const std::vector<ShortBranch> &copies, PRIMethodFrames *frames) {
    std::vector<int> far;
    for (const ShortBranch &c : copies) {
        if (frames != nullptr) frames->alias(w.log.instructionSince(c.logAfter, c.trampoline), c.target);
    }
    for (const ShortBranch &b : branches) {
        int at = w.log.instruction(b.at);
        int target = b.trampoline >= 0 ? w.log.instructionSince(b.logAfter, b.trampoline) : w.log.branchTarget(b.target);
        int index = JCRInsnAtOffset(w.list, at);
        int delta = target - at;
        if (index < 0 || w.list->insns[index].opcode != b.opcode) {
            far.push_back(b.at);  // should not happen: leave the method alone
            continue;
        }
        if (delta < -32768 || delta > 32767) {
            far.push_back(b.at);
            continue;
        }
        jcr::writeU16(w.list->insns[index].operands, static_cast<uint32_t>(delta));
        if (b.trampoline >= 0 && frames != nullptr) frames->alias(target, b.target);
    }
    return far;
}

}  // namespace

bool PRIIsSimpleMethod(const JCRInsnList *list) {
    if (list->count > 24) return false;
    for (int i = 0; i < list->count; ++i) {
        int op = list->insns[i].opcode;
        if ((op >= 153 && op <= 168) || (op >= 182 && op <= 186) || (op >= 187 && op <= 189) || op == 191 ||
            op >= 198) {
            return false;
        }
    }
    return true;
}

namespace {

// max_stack after the insertions, from the method's own max_stack: no
// inserted block needs more than 3 words above the depth where it goes (at
// most the old max_stack), and the entry code and handlers start at depth 0
// and 1. A bound, not the exact depth, but it saves a walk of every path of
// the method; the walk is left for a bound past the 65535 a method can have.
int maxStackAfter(const JCRClass *jclass, const Work &w, bool calls, bool entryCode, bool lines) {
    int old = w.code->max_stack;
    int bound = old;
    if (!entryCode) {
        bound = std::max(old, 2);                // the quick call's two ints at depth 0
    } else if (lines) {
        bound = old + 3;                         // a probe: array, index, line
    } else if (calls) {
        bound = std::max(old + 2, 3);            // an exit: context, frame; a handler's adds them to the exception
    } else {
        bound = std::max(old, 1);                // the context alone
    }
    return bound <= 0xFFFF ? bound : JCRComputeMaxStack(jclass, w.code, w.list);
}

// One rewrite of the method, with trampolines for the short branches at the
// old offsets in far, and line probes when probes is set. 1: rewritten; 0:
// left as it was; -1: some short branches (in stillFar) would not reach.
int instrumentOnce(JCRClass *jclass, JCRMember *method, int debug, uint32_t methodID, PRIContextRefs *refs,
                   int32_t *firstLine, int32_t *lastLine, const SMAP *smap, const char **source,
                   bool lateConstructorEntry, const std::vector<int> &far, bool probes, std::vector<int> *stillFar) {
    if (source != nullptr) *source = nullptr;
    JCRAttribute *codeAttribute = JCRFindMemberAttribute(jclass, method, "Code");
    if (codeAttribute == nullptr) return 0;
    Work w;
    w.code = JCRParseCode(jclass, codeAttribute);
    if (w.code == nullptr || w.code->code_length > kMaxInstrumentedCodeLength) return 0;
    w.list = JCRDecodeCode(w.code);
    if (w.list == nullptr) return 0;
    const int L = w.code->max_locals;
    if (L > 0xFFFF - 3) {  // no room for the added locals
        auto text = [](const char *s) { return s != nullptr ? s : "?"; };
        fprintf(stderr, "ZV: method %s.%s%s has %d locals, too many to add the profiler's; not instrumented\n",
                text(JCRClassName(jclass)), text(JCRUtf8At(jclass, method->name_index)),
                text(JCRUtf8At(jclass, method->descriptor_index)), L);
        return 0;
    }
    static thread_local std::vector<ShortBranch> branches;  // kept from method to method, like the Work's scratch
    shortBranches(w.list, &branches);
    std::vector<ShortBranch> copies;
    JCRAttribute *lineAttribute = isGroupID(methodID) ? nullptr : findCodeAttribute(jclass, w.code, "LineNumberTable");
    if (lineAttribute != nullptr) {
        w.readLineTable(lineAttribute);
    }
    if (debug) {
        printf("before:\n");
        dumpMethod(jclass, w.list, w.code, w.table);
    }
    // Class files from version 50 carry frames that the verifier checks.
    JCRAttribute *stackMap = findCodeAttribute(jclass, w.code, "StackMapTable");
    PRIMethodFrames methodFrames;
    PRIMethodFrames *frames = jclass->major_version >= 50 ? &methodFrames : nullptr;
    if (frames != nullptr && !frames->read(jclass, method, stackMap, refs->classes)) {
        if (debug) printf("Could not read the frames of a method of %s: left as it was\n", JCRClassName(jclass));
        return 0;
    }
    // A checked constructor's frame is pushed at its first instruction, like
    // any other; its catch-all is split at the call that initialises `this`.
    // No handler can cover that call: when it throws, the caller's handler
    // pops the frame. Where the caller may be left as loaded
    // (lateConstructorEntry), the frame is pushed right after the call
    // instead, and one catch-all covers the rest: a constructor is then timed
    // from the return of super() or this(). Its handlers must all start after
    // the call, as the prologue has no context.
    int thisInitialized = 0;  // offset after that call; 0: not a checked constructor
    int entryIndex = 0;       // the instruction the entry code goes before
    if (frames != nullptr && isConstructor(jclass, method)) {
        PRIConstructorPrologue prologue;
        if (!PRIFindThisInitialization(jclass, w.code, w.list, *frames, &prologue)) {
            if (debug) printf("Could not follow a constructor of %s to super(): left as it was\n", JCRClassName(jclass));
            return 0;
        }
        thisInitialized = prologue.afterCall;
        bool handlersAfter = true;
        for (int e = 0; e < w.code->exception_table_length; ++e) {
            handlersAfter = handlersAfter && w.code->exception_table[e].handler_pc >= thisInitialized;
        }
        // Trampolines never go before the call: its index stays.
        if (lateConstructorEntry && handlersAfter) entryIndex = prologue.callIndex + 1;
    }
    if (!far.empty() &&
        !insertTrampolines(jclass, w, branches, copies, far, trampolineSites(w.code, frames, thisInitialized), frames)) {
        return 0;
    }
    bool hasLines = w.table != nullptr && w.table->count > 0;
    if (hasLines && smap == nullptr) lineRange(w.table, firstLine, lastLine);

    const PRIRuntimeSettings &settings = PRISettings();
    bool calls = true;       // entry and exit calls
    bool entryCode = true;   // the context kept in local L
    bool lines = false;
    int entryCount = 0;
    int32_t entryLine = *firstLine;  // the line the entry call stores
    if (smap == nullptr && PRIIsSimpleMethod(w.list)) {
        PRIAddContextRefs(jclass, refs, PRIRefBit(PRI_REF_ENTER_EXIT_QUICK));
        Code quick(jclass);
        quick.pushInt(static_cast<int32_t>(methodID)).pushInt(*firstLine);
        quick.ref(JCR_OP_INVOKESTATIC, refs->index[PRI_REF_ENTER_EXIT_QUICK]);
        if (!quick.finish() ||
            w.plan(quick.data(), quick.count(), 0, Work::kEntry, JCR_INSERT_SKIP_INSERTED | debugFlags(debug)) == 0 ||
            !w.apply()) {
            return 0;
        }
        calls = false;
        entryCode = false;
    } else {
        lines = settings.instrumentLines != 0;
        if (hasLines) {
            lines = lines && probes;
            int count = 0;
            if (smap != nullptr) {
                count = mappedLineTable(jclass, method, smap, w, JCRRoomFor(w.list, kProbeRoom), firstLine, lastLine,
                                        source);
                // A private method of a mapped class only records its lines.
                if (count > 0 && (method->access_flags & kPrivate) != 0) calls = false;
            } else if (lines || entryIndex > 0 || debug) {
                // Without probes, only a late entry (its line is the last
                // before it) and the debug output need the table.
                w.reserveLines(w.table->count);
                count = PRICanonicalLineTable(jclass, w.table, w.lines, w.pcs, JCRRoomFor(w.list, kProbeRoom));
            }
            if (!calls) entryIndex = 0;  // the context alone, fetched at the start
            if (debug) {
                printf("Cannonical line table:\n");
                for (int i = 0; i < count; ++i) printf("line %d starts at pc %d\n", w.lines[i], w.pcs[i]);
            }
            int firstProbe = calls ? 1 : 0;  // the entry call stores the first line
            if (entryIndex > 0) {
                // The lines before the entry code get no probe (the context
                // is not there yet); the entry call stores the last of them.
                int entryAt = JCRInsnOffset(w.list, entryIndex);
                firstProbe = 0;
                while (firstProbe < count && w.pcs[firstProbe] < entryAt) ++firstProbe;
                if (firstProbe > 0) entryLine = static_cast<int32_t>(w.lines[firstProbe - 1]);
            }
            lines = lines && count > firstProbe;
            if (lines && !insertProbes(jclass, w, count, firstProbe, L, debug)) return 0;
        }
        uint32_t wanted = calls ? PRIRefBit(PRI_REF_DID_ENTER) | PRIRefBit(PRI_REF_STACK_POINTER) |
                                      PRIRefBit(PRI_REF_WILL_EXIT) | PRIRefBit(PRI_REF_EXIT_FRAME)
                                : PRIRefBit(PRI_REF_GET_CONTEXT_FAST);
        if (calls && w.code->exception_table_length > 0) wanted |= PRIRefBit(PRI_REF_RESUME_FRAME);
        if (lines) wanted |= PRIRefBit(PRI_REF_CALL_STACK) | PRIRefBit(PRI_REF_STACK_POINTER);
        PRIAddContextRefs(jclass, refs, wanted);
        if (frames != nullptr && !frames->nameTypes(jclass, refs->classes, refs->types, lines, calls)) return 0;
        int entryAt = JCRInsnOffset(w.list, entryIndex);
        size_t step = w.log.size();
        entryCount = insertEntry(jclass, w, refs, methodID, entryLine, calls, lines, L, entryIndex, debug);
        if (entryCount <= 0) return 0;
        if (calls && (!insertExits(jclass, w, refs, L, debug) || !insertResumes(jclass, w, refs, L, debug))) return 0;
        if (!w.apply()) return 0;
        // Branches to where the entry code went skip it: the catch-all starts there.
        int entryEnd = entryIndex > 0 ? w.log.branchTargetSince(step, entryAt) : JCRInsnOffset(w.list, entryCount);
        if (calls && !appendCatchAll(jclass, w, refs, entryEnd, entryIndex > 0 ? 0 : thisInitialized, L, frames)) {
            return 0;
        }
    }
    if (debug) {
        printf("after %s:\n", JCRClassName(jclass));
        dumpMethod(jclass, w.list, w.code, w.table);
    }
    if (w.list->branch_overflow || !far.empty()) {
        *stillFar = layOutShortBranches(w, branches, copies, frames);
        if (!stillFar->empty()) return -1;
        w.list->branch_overflow = 0;  // every short branch has its offset again
    }
    int codeLength = 0;
    if (JCRCheckCode(w.list, 1, &codeLength) != 0) return 0;

    // The new code bytes are encoded straight into the written attribute;
    // until then the list's operands point into the old ones.
    int maxStack = maxStackAfter(jclass, w, calls, entryCode, lines);
    w.code->max_stack = static_cast<uint16_t>(maxStack);
    w.code->code_length = static_cast<uint32_t>(codeLength);
    PRIRelocateLocalVariables(jclass, w.code, w.log);
    if (entryCode) w.code->max_locals = static_cast<uint16_t>(L + (lines || calls ? 3 : 1));
    if (frames != nullptr && (frames->any() || stackMap != nullptr)) {
        JCRTypeList added;
        if (entryCode) added.push_back(frames->types().context);
        if (entryCode && (lines || calls)) {
            added.append({lines ? frames->types().callStack : JCRVerificationType{}, frames->types().stackPointer});
        }
        // Before a late entry, the method's own frames know no added locals.
        int addedFrom = entryIndex > 0 ? thisInitialized : 0;
        JCRAttribute *written = frames->write(jclass, refs->classes, w.log, L, added, addedFrom);
        if (written == nullptr) {
            if (debug) printf("Could not keep the frames of a method of %s: left as it was\n", JCRClassName(jclass));
            return 0;
        }
        if (stackMap != nullptr) {
            replaceCodeAttribute(w.code, stackMap, written);
        } else if (!JCRAddCodeAttribute(w.code, written)) {
            return 0;
        }
    }
    if (w.table != nullptr && !JCRStoreLineTable(w.table, lineAttribute)) {
        JCRAttribute *written = JCRWriteLineTable(jclass, w.table);
        if (written == nullptr) return 0;
        replaceCodeAttribute(w.code, lineAttribute, written);
    }
    JCRAttribute *writtenCode = JCRWriteCode(jclass, w.code, w.list);
    if (writtenCode == nullptr) return 0;
    replaceAttribute(jclass, method, codeAttribute, writtenCode);
    return 1;
}

}  // namespace

// Inserted code may push a short branch past its reach: the method is then
// rewritten again with trampolines for those branches, and at last without
// line probes, before it is left as it was.
int PRIInstrumentMethod(JCRClass *jclass, JCRMember *method, int debug, uint32_t methodID,
                        PRIContextRefs *refs, int32_t *firstLine, int32_t *lastLine, const SMAP *smap,
                        const char **source, bool lateConstructorEntry) {
    std::vector<int> far;
    for (int attempt = 0; attempt < 6; ++attempt) {
        bool probes = attempt < 4;
        std::vector<int> stillFar;
        int done = instrumentOnce(jclass, method, debug, methodID, refs, firstLine, lastLine, smap, source,
                                  lateConstructorEntry, far, probes, &stillFar);
        if (done >= 0) return done;
        size_t before = far.size();
        for (int at : stillFar) {
            if (std::find(far.begin(), far.end(), at) == far.end()) far.push_back(at);
        }
        if (far.size() == before && attempt < 3) attempt = 3;  // no nearer trampoline: drop the probes
    }
    const char *name = JCRUtf8At(jclass, method->name_index);
    const char *descriptor = JCRUtf8At(jclass, method->descriptor_index);
    fprintf(stderr, "Detected branch error during instrumentation\n");
    fprintf(stderr, "ZV: %s.%s%s left uninstrumented: a branch of it would not reach its target\n",
            JCRClassName(jclass), name != nullptr ? name : "?", descriptor != nullptr ? descriptor : "");
    return 0;
}
