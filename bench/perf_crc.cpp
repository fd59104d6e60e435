// perf_crc.cpp: the block CRC (both of its methods) against zlib's
// crc32(), and the start-up integrity check alone on the built program
// file. PerfCheckOnce times one check in a fresh process, as start-up
// meets it (nothing in the caches, every page touched for the first time):
// run_compare.sh takes the median of many.
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <vector>

#include "perf.h"
#include "vorla/integrity.h"
#include "zizezaz/str/crc32_internal.h"
#include "zizezaz/str/str.h"

namespace {

template <typename Crc>
void RunBlock(benchmark::State& state, std::size_t length, Crc crc) {
    std::vector<unsigned char> block(length);
    for (std::size_t i = 0; i < length; ++i)
        block[i] = static_cast<unsigned char>(i * 131 + (i >> 9));
    for (auto _ : state)
        benchmark::DoNotOptimize(crc(block.data(), length));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * length));
}

std::uint32_t Ours(const unsigned char* p, std::size_t n) {
    return Crc32Block(0, p, n);
}
std::uint32_t Bytewise(const unsigned char* p, std::size_t n) {
    return Crc32BlockBytewise(0, p, n);
}
std::uint32_t Zlib(const unsigned char* p, std::size_t n) {
    return static_cast<std::uint32_t>(crc32_z(0, p, static_cast<z_size_t>(n)));
}

// The block CRC as the check runs it, the fallback where the processor
// lacks carry-less multiplication, and zlib's, on 64 KiB and 1 MiB.
#define CRC_BLOCK(name, bytes)                                      \
    void Crc_##name##_Crc32Block(benchmark::State& state) {         \
        RunBlock(state, bytes, Ours);                               \
    }                                                               \
    void Crc_##name##_bytewise(benchmark::State& state) {           \
        RunBlock(state, bytes, Bytewise);                           \
    }                                                               \
    void Crc_##name##_zlib(benchmark::State& state) {               \
        RunBlock(state, bytes, Zlib);                               \
    }                                                               \
    PERF_CASE(Crc_##name##_Crc32Block, "Crc/" #name "/Crc32Block"); \
    PERF_CASE(Crc_##name##_bytewise, "Crc/" #name "/bytewise");     \
    PERF_CASE(Crc_##name##_zlib, "Crc/" #name "/zlib")

CRC_BLOCK(block64k, std::size_t{64} << 10);
CRC_BLOCK(block1m, std::size_t{1} << 20);

// Everything the check does at start-up but the path look-up: read the
// program file, take its CRC, compare.
void Crc_check_AppCheckIntegrity(benchmark::State& state) {
    if (!AppCheckIntegrity(VORLA_BINARY)) {
        state.SkipWithError("the built program fails its own check");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(AppCheckIntegrity(VORLA_BINARY));
}
[[maybe_unused]] benchmark::internal::Benchmark* const checkCase =
    PerfAdd("Crc/check/AppCheckIntegrity", Crc_check_AppCheckIntegrity)
        ->Unit(benchmark::kMicrosecond);

}  // namespace

std::int32_t PerfCheckOnce(const char* path) {
    const std::clock_t start = std::clock();
    const std::int32_t intact = AppCheckIntegrity(path);
    const std::clock_t end = std::clock();
    std::printf("%.1f\n", 1e6 * static_cast<double>(end - start) / CLOCKS_PER_SEC);
    return intact ? 0 : 1;
}
