// str_bench.cpp: StrFormat against the C library's snprintf on the message
// shapes the system prints most, and the CRC-32 of template names.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "zizezaz/str/format.h"
#include "zizezaz/str/str.h"

namespace {

constexpr std::int32_t kCapacity = 256;

// The formats pass through DoNotOptimize so that neither call can be
// specialised by the compiler for a constant format (GCC turns some
// snprintf calls into copies when it can see the format).
template <typename... Args>
void RunStrFormat(benchmark::State& state, const char* format, Args... args) {
    char out[kCapacity];
    for (auto _ : state) {
        const char* f = format;
        benchmark::DoNotOptimize(f);
        benchmark::DoNotOptimize(StrFormat(out, kCapacity, f, args...));
        benchmark::ClobberMemory();
    }
}

template <typename... Args>
void RunSnprintf(benchmark::State& state, const char* format, Args... args) {
    char out[kCapacity];
    for (auto _ : state) {
        const char* f = format;
        benchmark::DoNotOptimize(f);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"
        benchmark::DoNotOptimize(std::snprintf(out, kCapacity, f, args...));
#pragma GCC diagnostic pop
        benchmark::ClobberMemory();
    }
}

int Pointee = 0;
void* const kPointer = &Pointee;

// Each shape as the system uses it, both engines side by side.
#define SHAPE(name, format, ...)                        \
    void BM_StrFormat_##name(benchmark::State& state) { \
        RunStrFormat(state, format, __VA_ARGS__);       \
    }                                                   \
    void BM_Snprintf_##name(benchmark::State& state) {  \
        RunSnprintf(state, format, __VA_ARGS__);        \
    }                                                   \
    BENCHMARK(BM_StrFormat_##name);                     \
    BENCHMARK(BM_Snprintf_##name)

SHAPE(d, "%d", 1234567);
SHAPE(dot2d, "%.2d", 7);
SHAPE(dot4d, "%.4d", 2024);
SHAPE(s, "%s", "archive.zip");
SHAPE(p, "0x%p", kPointer);
SHAPE(width10d, "%10d", 4096);
SHAPE(offset, "Offset:   [%s]\n", "-1d");

// Names of every length from 4 to 79, as the template engine hashes them.
std::vector<std::string> MakeNames() {
    std::vector<std::string> names;
    const std::string pool =
        "Time.Year4Config.TargetSpecial.QuoteDayPadMonthPad_abcdefghijklmnopqrstuvwxyz0123456789";
    for (std::size_t length = 4; length <= 79; ++length)
        names.push_back(pool.substr(0, length));
    return names;
}

void BM_Crc32Update(benchmark::State& state) {
    const auto caseMode = static_cast<std::int32_t>(state.range(0));
    const std::vector<std::string> names = MakeNames();
    std::int64_t bytes = 0;
    for (const std::string& name : names)
        bytes += static_cast<std::int64_t>(name.size());
    for (auto _ : state) {
        for (const std::string& name : names) {
            std::uint32_t crc = 0;
            Crc32Update(name.c_str(), caseMode, &crc);
            benchmark::DoNotOptimize(crc);
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * bytes);
}
BENCHMARK(BM_Crc32Update)->Arg(0)->Arg(1)->ArgName("caseMode");

}  // namespace
