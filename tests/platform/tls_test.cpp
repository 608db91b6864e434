// Thread-local slots: independent slots, values private to each thread.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/tls.h"

namespace {

void *tag(long n) { return reinterpret_cast<void *>(n); }

}  // namespace

TEST(ThreadSlot, SlotsAreIndependentAndPrivateToEachThread) {
    std::vector<int> slots;
    for (int i = 0; i < 64; i++) {
        slots.push_back(AllocateThreadSlot());
        ASSERT_NE(slots.back(), kNoThreadSlot);
        EXPECT_EQ(ThreadSlotValue(slots.back()), nullptr);
        ASSERT_TRUE(SetThreadSlotValue(slots.back(), tag(i + 1)));
    }
    std::vector<int> failures(8);
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; t++) {
        threads.emplace_back([&, t] {
            for (int slot : slots) failures[t] += ThreadSlotValue(slot) != nullptr;
            for (int round = 0; round < 1000; round++) {
                SetThreadSlotValue(slots[0], tag(100 + t));
                SetThreadSlotValue(slots[1], tag(200 + t + round));
                std::this_thread::yield();
                failures[t] += ThreadSlotValue(slots[0]) != tag(100 + t);
                failures[t] += ThreadSlotValue(slots[1]) != tag(200 + t + round);
            }
        });
    }
    for (auto &thread : threads) thread.join();
    for (int t = 0; t < 8; t++) EXPECT_EQ(failures[t], 0) << t;
    for (int i = 0; i < 64; i++) EXPECT_EQ(ThreadSlotValue(slots[i]), tag(i + 1));
    for (int slot : slots) FreeThreadSlot(slot);
    int reused = AllocateThreadSlot();  // most likely a number just released
    EXPECT_EQ(ThreadSlotValue(reused), nullptr);
    FreeThreadSlot(reused);
    EXPECT_FALSE(SetThreadSlotValue(kNoThreadSlot, tag(1)));
    EXPECT_EQ(ThreadSlotValue(kNoThreadSlot), nullptr);
}
