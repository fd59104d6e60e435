// platform_shared.h: what the POSIX and the Windows platform files both do
// the same way. Not a contract: callers above the platform use platform.h.
#pragma once

#include <cstdint>
#include <ctime>

#include "platform/platform.h"

// The compiler run-time's answer to which instruction sets the processor
// offers.
inline std::uint32_t PlatCompilerCpuFeatures() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    return __builtin_cpu_supports("pclmul") ? PLAT_CPU_PCLMUL : 0u;
#else
    return 0;
#endif
}

// The fields of a broken-down local time that the system uses.
inline void PlatTimeFromTm(const std::tm& tm, PlatTime* out) {
    out->second = tm.tm_sec;
    out->minute = tm.tm_min;
    out->hour = tm.tm_hour;
    out->day = tm.tm_mday;
    out->month = tm.tm_mon;
    out->year = tm.tm_year;
}
