// Thread-local slots: each slot holds one pointer-sized value per thread,
// null in every thread until that thread sets it.
#pragma once

constexpr int kNoThreadSlot = -1;

// A new slot, or kNoThreadSlot when the system has none left.
int AllocateThreadSlot();
// After release the slot number may be handed out again, reading null in
// every thread.
void FreeThreadSlot(int slot);
// Null for a slot the calling thread never set (or an invalid slot).
void *ThreadSlotValue(int slot);
// False for an invalid slot or when the system is out of memory.
bool SetThreadSlotValue(int slot, void *value);
