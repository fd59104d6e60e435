// platform_cpu.h: the compiler run-time's answer to which instruction sets
// the processor offers, for systems that keep no record of their own.
#pragma once

#include <cstdint>

#include "platform/platform.h"

// The run-time asks the processor (CPUID) a dozen questions the first time,
// each a trip out of a virtual machine: a platform that can read the answers
// elsewhere does so instead.
inline std::uint32_t PlatCompilerCpuFeatures() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    return (__builtin_cpu_supports("pclmul") ? PLAT_CPU_PCLMUL : 0u) |
           (__builtin_cpu_supports("avx512f") ? PLAT_CPU_AVX512F : 0u);
#else
    return 0;
#endif
}
