// Keeping a method's StackMapTable valid through instrumentation: where its
// offsets went, and the frames of the method with the instrumentation's
// locals added and those its inserted code needs.
#pragma once

#include <vector>

#include "classfile/bytecode.h"
#include "classfile/stackmap.h"
#include "support/inline_vector.h"

// Where old offsets went after a series of insertions. Each step is one
// insertion or one batch of them, recorded in the numbering left by the
// earlier steps.
class PRIInsertionLog {
public:
    // bytes went in before the instruction at offset at; skip: branches to
    // that instruction skip the inserted code.
    void add(int at, int bytes, bool skip) {
        steps_.push_back(points_.size());
        points_.push_back({at, bytes, skip ? bytes : 0, 0});
    }
    // One batch (JCRInsertBatch): blocks went in before the instructions at
    // their old offsets, in one pass. Blocks after the last of oldCount
    // instructions move nothing.
    void addBatch(const JCRInsertion *blocks, int count, int oldCount);
    // The new offset of the instruction that was at pc.
    int instruction(int pc) const { return moved(pc, true); }
    // Where a branch to pc lands now; also where a range ending at pc ends.
    int branchTarget(int pc) const { return moved(pc, false); }
    // Steps so far; an offset in the numbering they left moves on through
    // the later ones with instructionSince.
    size_t size() const { return steps_.size(); }
    int instructionSince(size_t first, int pc) const { return moved(pc, true, first); }
    int branchTargetSince(size_t first, int pc) const { return moved(pc, false, first); }

private:
    // At old offset at of its step, bytes went in; branches to at skip the
    // first `skipped` of them. before: the bytes of the step's earlier
    // points, whose offsets are lower (a step's points are in offset order).
    struct Point {
        int at;
        int bytes;
        int skipped;
        int before;
    };
    int moved(int pc, bool instruction, size_t first = 0) const;
    ZVInlineVector<Point, 48> points_;
    ZVInlineVector<size_t, 4> steps_;  // index of each step's first point
};

// The verification types of what the inserted code keeps and passes.
struct PRIInsertedTypes {
    JCRVerificationType context;    // ZVContext
    JCRVerificationType callStack;  // int[]
    JCRVerificationType stackPointer{JCR_ITEM_Integer, 0};
    JCRVerificationType throwable;  // what a catch-all handler receives
};

class PRIMethodFrames {
public:
    // Reads the frames (stackMap may be null: the method has none); false
    // when the table is malformed or a class constant cannot be added.
    bool read(JCRClass *jclass, const JCRMember *method, const JCRAttribute *stackMap, JCRClassIndex &classes);
    // Names the types of the inserted code that keeps the context: the call
    // stack's only with line probes, the catch-all's only with exit calls (a
    // class constant is added only where a frame names it). named keeps those
    // of the class's methods so far: each is looked up once per class. False
    // when a class constant cannot be added.
    bool nameTypes(JCRClass *jclass, JCRClassIndex &classes, PRIInsertedTypes &named, bool callStack,
                   bool throwable);
    const PRIInsertedTypes &types() const { return types_; }
    const JCRFrame &initial() const { return initial_; }
    const std::vector<JCRFrame> &own() const { return own_; }
    // The initial locals padded with Top to firstLocal slots, then extra.
    JCRTypeList entryLocals(int firstLocal, const JCRTypeList &extra) const;
    // A frame of the inserted code, at its offset in the final numbering.
    void add(int offset, JCRTypeList locals, JCRTypeList stack);
    // At offset (final numbering), the frame that the method's own code has
    // at old offset target: for a jump on to target.
    void alias(int offset, int target) { aliases_.push_back({offset, target}); }
    // Code now jumps to the method's first instruction: it gets the implicit
    // frame written out.
    void needStartFrame() { startFrame_ = true; }
    // Whether the method's own frames name old offset pc (not the implicit one at 0).
    bool hasOwn(int pc) const;
    // The new StackMapTable: the method's own frames moved through log, with
    // extra after firstLocal slots (the entry code has run at each of them
    // from old offset extraFrom on), and the added ones. Null when two frames
    // fall on one offset or encoding fails.
    JCRAttribute *write(JCRClass *jclass, JCRClassIndex &classes, const PRIInsertionLog &log, int firstLocal,
                        const JCRTypeList &extra, int extraFrom = 0) const;
    bool any() const { return !own_.empty() || !added_.empty(); }

private:
    JCRFrame initial_;
    std::vector<JCRFrame> own_;
    ZVInlineVector<JCRFrame, 2> added_;  // the catch-all handlers' frames, mostly
    std::vector<std::pair<int, int>> aliases_;
    bool startFrame_ = false;
    PRIInsertedTypes types_;
};

// Moves the ranges of the code's local variable tables through log (the
// code already holds its new bytes); a table whose ranges no longer fit is
// dropped (debuggers then show no names), never left pointing into the
// wrong code.
void PRIRelocateLocalVariables(const JCRClass *jclass, JCRCode *code, const PRIInsertionLog &log);
