// CPUID through the compiler's helper, which checks the highest leaf first.
#include "platform/cpu.h"

#include <cpuid.h>

CpuIdRegisters CpuId(uint32_t leaf, uint32_t subleaf) {
    CpuIdRegisters registers{};
    unsigned int eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (__get_cpuid_count(leaf, subleaf, &eax, &ebx, &ecx, &edx) != 0) registers = {eax, ebx, ecx, edx};
    return registers;
}
