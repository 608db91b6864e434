// Processor facts: the time-stamp counter and CPUID.
#pragma once

#include <cstdint>

// The raw time-stamp counter (not serialising).
inline uint64_t ReadTimeStampCounter() { return __builtin_ia32_rdtsc(); }

struct CpuIdRegisters {
    uint32_t eax;
    uint32_t ebx;
    uint32_t ecx;
    uint32_t edx;
};

// The four registers of CPUID for a leaf and sub-leaf; all zero for a leaf
// above what the processor supports.
CpuIdRegisters CpuId(uint32_t leaf, uint32_t subleaf = 0);
