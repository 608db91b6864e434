// Processor facts: CPUID leaves and the time-stamp counter.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/cpu.h"

TEST(Cpu, CpuIdReportsVendorAndTimeStampCounter) {
    CpuIdRegisters leaf0 = CpuId(0);
    EXPECT_GE(leaf0.eax, 1u);
    char vendor[13] = {};
    std::memcpy(vendor, &leaf0.ebx, 4);
    std::memcpy(vendor + 4, &leaf0.edx, 4);
    std::memcpy(vendor + 8, &leaf0.ecx, 4);
    EXPECT_EQ(std::string(vendor).size(), 12u);
    EXPECT_NE(CpuId(1).edx & 0x10u, 0u);  // every x86-64 processor has a TSC
}

TEST(Cpu, LeafBeyondTheMaximumGivesZeros) {
    uint32_t beyond = CpuId(0).eax + 1;
    if (beyond >= 0x80000000u) GTEST_SKIP();
    CpuIdRegisters registers = CpuId(beyond);
    EXPECT_EQ(registers.eax | registers.ebx | registers.ecx | registers.edx, 0u);
}

TEST(Cpu, TimeStampCounterAdvances) {
    uint64_t first = ReadTimeStampCounter();
    volatile uint64_t sink = 0;
    for (int i = 0; i < 100000; i++) sink = sink + static_cast<uint64_t>(i);
    EXPECT_GT(ReadTimeStampCounter(), first);
}
