// mem_bench.cpp: the tracked allocator and the typed pools against the
// standard heap. Goals: a MemAlloc/MemFree pair of 16 to 256 bytes within
// 4 times a malloc/free pair of the same size; a PoolAlloc/PoolFree pair of
// 200-byte members at least as fast as malloc/free.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <vector>

#include "platform/platform.h"
#include "zizezaz/core/cmdline.h"
#include "zizezaz/core/init.h"
#include "zizezaz/core/log.h"
#include "zizezaz/mem/mem.h"
#include "zizezaz/mem/pool.h"

namespace {

constexpr char SRC[] = "mem_bench";
constexpr int BATCH = 100;

// The library as the application runs it: its log flags, the lock on, no limit.
void Start() {
    static const int started = [] {
        const char* const argv[] = {"mem_bench"};
        CmdLineSetFromArgs(1, argv);
        CoreInit("debug.log", LOG_CONSOLE | LOG_NO_ABORT_BOX);
        return MemInit(0x7FFFFFFF);
    }();
    (void)started;
}

void MallocFree(benchmark::State& state) {
    const auto size = static_cast<std::size_t>(state.range(0));
    for (auto _ : state) {
        void* p = std::malloc(size);
        benchmark::DoNotOptimize(p);
        std::free(p);
    }
}

void MemAllocFree(benchmark::State& state) {
    Start();
    const auto size = static_cast<std::int32_t>(state.range(0));
    for (auto _ : state) {
        void* p = MemAlloc(size, 1, SRC, __LINE__);
        benchmark::DoNotOptimize(p);
        MemFree(p, size, 1, SRC, __LINE__);
    }
}

// A hundred blocks out at once, as a structure of many records holds them.
void MallocFreeBatch(benchmark::State& state) {
    const auto size = static_cast<std::size_t>(state.range(0));
    std::vector<void*> blocks(BATCH);
    for (auto _ : state) {
        for (void*& p : blocks)
            p = std::malloc(size);
        benchmark::DoNotOptimize(blocks.data());
        for (void* p : blocks)
            std::free(p);
    }
    state.SetItemsProcessed(state.iterations() * BATCH);
}

void MemAllocFreeBatch(benchmark::State& state) {
    Start();
    const auto size = static_cast<std::int32_t>(state.range(0));
    std::vector<void*> blocks(BATCH);
    for (auto _ : state) {
        for (void*& p : blocks)
            p = MemAlloc(size, 1, SRC, __LINE__);
        benchmark::DoNotOptimize(blocks.data());
        for (void* p : blocks)
            MemFree(p, size, 1, SRC, __LINE__);
    }
    state.SetItemsProcessed(state.iterations() * BATCH);
}

Pool* KeywordPool() {
    Start();
    Pool* pool = nullptr;
    PoolCreate(&pool, SRC, __LINE__);
    PoolSetMemberSize(pool, 200);
    PoolSetBlockCount(pool, 100);
    return pool;
}

void PoolAllocFree(benchmark::State& state) {
    Pool* pool = KeywordPool();
    for (auto _ : state) {
        void* p = PoolAlloc(pool, 200, SRC, __LINE__);
        benchmark::DoNotOptimize(p);
        PoolFree(pool, &p, 200, SRC, __LINE__);
    }
    PoolDestroy(&pool);
}

void PoolAllocFreeBatch(benchmark::State& state) {
    Pool* pool = KeywordPool();
    std::vector<void*> members(BATCH);
    for (auto _ : state) {
        for (void*& p : members)
            p = PoolAlloc(pool, 200, SRC, __LINE__);
        benchmark::DoNotOptimize(members.data());
        for (void*& p : members)
            PoolFree(pool, &p, 200, SRC, __LINE__);
    }
    state.SetItemsProcessed(state.iterations() * BATCH);
    PoolDestroy(&pool);
}

}  // namespace

BENCHMARK(MallocFree)->RangeMultiplier(2)->Range(16, 256)->Arg(200);
BENCHMARK(MemAllocFree)->RangeMultiplier(2)->Range(16, 256);
BENCHMARK(MallocFreeBatch)->Arg(16)->Arg(200)->Arg(256);
BENCHMARK(MemAllocFreeBatch)->Arg(16)->Arg(256);
BENCHMARK(PoolAllocFree);
BENCHMARK(PoolAllocFreeBatch);
