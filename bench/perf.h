// perf.h: what the parts of the benchmark program share. Every case is
// named "Group/case/engine", so that run.sh can put each of ours beside its
// peer, and is run by a function named the same with '_' for '/', so that
// callgrind can be pointed at one case (run.sh --instructions).
#pragma once

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Registers a case. With VORLA_PERF_ITERATIONS=N in the environment every
// case runs exactly N iterations in one go, which makes instruction counts
// per iteration exact.
benchmark::internal::Benchmark* PerfAdd(const char* name, void (*run)(benchmark::State&));

#define PERF_CASE(function, name)                                                  \
    [[maybe_unused]] static benchmark::internal::Benchmark* const function##Case = \
        PerfAdd(name, function)

// Times one integrity check of the file at path in this process and
// prints the CPU time in microseconds; 0 when the file is intact.
// (vorla_perf --check-once FILE, for run_compare.sh.)
std::int32_t PerfCheckOnce(const char* path);

// Starts the library once, as the program does: command line, log on the
// console, the lock on, the allocator without a practical limit.
void PerfStartLibrary();

// snprintf with a format the compiler cannot see, as every case hands its
// format through DoNotOptimize; the warnings about such formats are meant
// for formats that come from outside.
template <typename... Args>
inline int PerfSnprintf(char* out, std::size_t capacity, const char* format, Args... args) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"
    return std::snprintf(out, capacity, format, args...);
#pragma GCC diagnostic pop
}
