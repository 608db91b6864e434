// Reading call stacks into backtraces and method buffers: deep stacks keep
// their top 7400 frames, buffers are never overrun, a marker pushed onto a
// full array is refused, and a thread without a context gives no frames.
// (Markers pushed and popped on real stacks, and the sampler's groups and
// its cut below the "Overhead" marker, are checked end to end.)
#include <gtest/gtest.h>

#include <vector>

#include "fake_stack_env.h"
#include "pri/runtime/runtime.h"
#include "pri/runtime/context_runtime.h"
#include "pri/runtime/markers.h"

namespace {

std::vector<std::pair<int32_t, int32_t>> framesOf(const PRIBacktrace *backtrace) {
    std::vector<std::pair<int32_t, int32_t>> frames;
    for (int i = 0; backtrace != nullptr && i < backtrace->count; ++i) {
        EXPECT_EQ(backtrace->frames[i].zero, 0);
        frames.emplace_back(backtrace->frames[i].location, backtrace->frames[i].method);
    }
    return frames;
}

TEST(Backtraces, DeepStacksKeepTheirTop7400Frames) {
    constexpr int kDepth = 8000;
    FakeStackEnv thread(2 + 2 * kDepth);
    for (int i = 1; i <= kDepth; ++i) thread.push(i, i);
    PRIBacktrace *current = zviGetCurrentBacktraceForEnv(thread.env());
    ASSERT_EQ(current->count, kPRIMaxBacktraceFrames);
    EXPECT_EQ(current->frames[0].method, kDepth);
    EXPECT_EQ(current->frames[kPRIMaxBacktraceFrames - 1].method, kDepth - kPRIMaxBacktraceFrames + 1);

    PRIBacktraceWorkspace workspace{PRINewBacktrace(4), nullptr, nullptr, nullptr, 0};
    zviInitBacktraceWorkspace(thread.env(), &workspace);
    PRIBacktrace *mine = zviGetCurrentBacktraceForEnvUsingBacktrace(thread.env(), &workspace);
    ASSERT_EQ(mine, workspace.backtrace);
    EXPECT_EQ(mine->capacity, kPRIMaxBacktraceFrames + 10) << "replaced by one with spare frames";
    EXPECT_EQ(framesOf(mine), framesOf(current));
    EXPECT_NE(workspace.copyBuffer, nullptr);

    // A length handed in is read as it is, within the array.
    EXPECT_EQ(zviGetStackTraceForEnvWithLength(thread.env(), &workspace, 2 * 3)->count, 3);
    EXPECT_EQ(workspace.backtrace, mine) << "big enough: reused";
    EXPECT_EQ(zviGetStackTraceForEnvWithLength(thread.env(), &workspace, 1 << 30)->count,
              kPRIMaxBacktraceFrames);
    EXPECT_EQ(zviGetStackTraceForEnvWithLength(thread.env(), &workspace, -2)->count, 0);
    EXPECT_EQ(thread.exceptions, 0);
    PRIFreeBacktrace(workspace.backtrace);
}

TEST(MethodBuffers, ConversionCopiesFromTheFirstEntryAndReplacesSmallBacktraces) {
    PRIMethodBuffer *buffer = zviAllocateMethodBuffer(kPRIMaxBacktraceFrames + 1);
    for (int i = 0; i < buffer->count; ++i) buffer->entries[i] = PRIMethodEntry{100 + i, i + 1};
    PRIBacktrace *shared = zviConvertMethodBufferToBacktrace(buffer);
    EXPECT_EQ(shared->count, kPRIMaxBacktraceFrames);
    EXPECT_EQ(shared->frames[4].location, 104);

    PRIBacktrace *from = zviConvertMethodBufferToBacktraceFrom(buffer, PRINewBacktrace(2), 1);  // 2 is released
    ASSERT_NE(from, nullptr);
    EXPECT_EQ(from->count, kPRIMaxBacktraceFrames);
    EXPECT_EQ(from->frames[0].method, 2);
    EXPECT_EQ(zviConvertMethodBufferToBacktraceFrom(buffer, from, 9000), from);
    EXPECT_EQ(from->count, 0);
    PRIFreeBacktrace(from);
    // The shared record is the thread's: replacing it does not release it.
    PRIBacktrace *grown = zviConvertMethodBufferToBacktraceFrom(buffer, shared, 0);
    EXPECT_NE(grown, shared);
    EXPECT_EQ(zviConvertMethodBufferToBacktrace(buffer), shared);
    PRIFreeBacktrace(grown);
    EXPECT_EQ(zviClearMethodBuffer(buffer, 1 << 20), 0);
    EXPECT_EQ(buffer->entries[kPRIMaxBacktraceFrames].method, 0);
    zviFreeMethodBuffer(buffer);
}

TEST(Markers, APushOntoAFullArrayIsRefused) {
    FakeStackEnv thread(2 + 2 * 2);
    thread.push(1, 1);
    thread.push(2, 2);
    EXPECT_EQ(PRIPushMarker(thread.env(), 1, 5), 0);
    EXPECT_EQ(thread.stackPointer(), 4);
    PRIBacktraceWorkspace workspace{};
    EXPECT_EQ(zviGetBacktraceUsingBacktracePushMarker(thread.env(), &workspace, 1, 5)->count, 2);
    PRIPopMarker(thread.env());
    EXPECT_EQ(thread.stackPointer(), 4);
    EXPECT_EQ(thread.exceptions, 0);
    PRIFreeBacktrace(workspace.backtrace);
}


// One snapshot of the fake thread (the agent's VM queries are absent, so a
// thread has run only by its own mark).
ZVSampleRecord &snapshot(FakeStackEnv &thread, ZVSampleRecord &record, int includeIdle) {
    ZVVector *records = ZVNewVector(1);
    ZVAddElement(records, reinterpret_cast<ZVWord>(&record));
    PRISampleThreads(thread.env(), records, includeIdle);
    ZVFreeVector(records);
    return record;
}

}  // namespace

// A negative stack pointer, or no context at all: no frames from any reader.
TEST(Sampler, AThreadWithoutAContextOrWithANegativeStackPointerGivesNoFrames) {
    FakeStackEnv thread;
    thread.push(1, 100);
    // (Has-run answers of a real sampled thread are checked end to end; the
    // query keeps a mark of its own.)
    EXPECT_EQ(PRISamplerThreadHasRun(thread.env(), thread.env()), 1);
    EXPECT_EQ(PRISamplerThreadHasRun(thread.env(), thread.env()), 0);
    thread.context().stackPointer = -1;
    ZVSampleRecord record{thread.env(), 0, 0, nullptr, 0, 0, nullptr};
    EXPECT_EQ(snapshot(thread, record, 1).frameCount, 0);
    PRIFreeSampleRecord(thread.env(), &record);
    thread.forgetContext();
    EXPECT_EQ(zviGetCurrentBacktraceForEnv(thread.env())->count, 0);
    PRIMethodBuffer *buffer = zviAllocateMethodBuffer(4);
    EXPECT_EQ(zviGetCurrentMethodForEnvIn(thread.env(), buffer, 4), 0);
    EXPECT_EQ(zviGetMethodBufferSize(buffer), 0);
    zviFreeMethodBuffer(buffer);
    ZVSampleRecord none{thread.env(), 0, 0, nullptr, 0, 0, nullptr};
    EXPECT_EQ(snapshot(thread, none, 1).hasRun, 0);
    EXPECT_EQ(none.frameCount, 0);
    EXPECT_EQ(none.capacity, 0);
}
