// Thread-local slots: independent slots, values private to each thread.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/tls.h"

namespace {

void *tag(long n) { return reinterpret_cast<void *>(n); }

}  // namespace

TEST(ThreadSlot, SlotsAreIndependentAndPrivateToEachThread) {
    int first = AllocateThreadSlot();
    int second = AllocateThreadSlot();
    ASSERT_NE(first, kNoThreadSlot);
    ASSERT_NE(second, kNoThreadSlot);
    ASSERT_NE(first, second);
    EXPECT_EQ(ThreadSlotValue(first), nullptr);
    ASSERT_TRUE(SetThreadSlotValue(first, tag(1)));
    ASSERT_TRUE(SetThreadSlotValue(second, tag(2)));

    std::vector<std::thread> threads;
    std::vector<int> failures(8);
    for (int t = 0; t < 8; t++) {
        threads.emplace_back([&, t] {
            if (ThreadSlotValue(first) != nullptr || ThreadSlotValue(second) != nullptr) failures[t]++;
            for (int round = 0; round < 1000; round++) {
                SetThreadSlotValue(first, tag(100 + t));
                SetThreadSlotValue(second, tag(200 + t + round));
                std::this_thread::yield();
                if (ThreadSlotValue(first) != tag(100 + t)) failures[t]++;
                if (ThreadSlotValue(second) != tag(200 + t + round)) failures[t]++;
            }
        });
    }
    for (auto &thread : threads) thread.join();
    for (int t = 0; t < 8; t++) EXPECT_EQ(failures[t], 0) << t;
    EXPECT_EQ(ThreadSlotValue(first), tag(1));
    EXPECT_EQ(ThreadSlotValue(second), tag(2));
    FreeThreadSlot(first);
    FreeThreadSlot(second);
}

TEST(ThreadSlot, ReusedSlotReadsNull) {
    int slot = AllocateThreadSlot();
    SetThreadSlotValue(slot, tag(5));
    FreeThreadSlot(slot);
    int again = AllocateThreadSlot();
    EXPECT_EQ(ThreadSlotValue(again), nullptr);
    FreeThreadSlot(again);
}

TEST(ThreadSlot, ManySlotsCanBeHeldAtOnce) {
    std::vector<int> slots;
    for (int i = 0; i < 64; i++) {
        slots.push_back(AllocateThreadSlot());
        ASSERT_NE(slots.back(), kNoThreadSlot);
        SetThreadSlotValue(slots.back(), tag(i + 1));
    }
    for (int i = 0; i < 64; i++) EXPECT_EQ(ThreadSlotValue(slots[i]), tag(i + 1));
    for (int slot : slots) FreeThreadSlot(slot);
}

TEST(ThreadSlot, InvalidSlotIsRefused) {
    EXPECT_FALSE(SetThreadSlotValue(kNoThreadSlot, tag(1)));
    EXPECT_EQ(ThreadSlotValue(kNoThreadSlot), nullptr);
    FreeThreadSlot(kNoThreadSlot);
}
