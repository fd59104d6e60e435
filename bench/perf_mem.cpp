// perf_mem.cpp: the tracked allocator and the typed pools against the C
// library's malloc and free. A pair is one block taken and given back;
// a batch is a hundred taken, then all given back, as a structure of many
// records holds them.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "perf.h"
#include "zizezaz/mem/mem.h"
#include "zizezaz/mem/pool.h"

namespace {

constexpr char SRC[] = "perf_mem";
constexpr int BATCH = 100;
constexpr std::int32_t MEMBER = 200;  // about a keyword record of the template engine

template <std::int32_t Size>
void MemPair(benchmark::State& state) {
    PerfStartLibrary();
    for (auto _ : state) {
        void* p = MemAlloc(Size, 1, SRC, __LINE__);
        benchmark::DoNotOptimize(p);
        MemFree(p, Size, 1, SRC, __LINE__);
    }
}

template <std::int32_t Size>
void MallocPair(benchmark::State& state) {
    for (auto _ : state) {
        void* p = std::malloc(Size);
        benchmark::DoNotOptimize(p);
        std::free(p);
    }
}

template <std::int32_t Size>
void MemBatch(benchmark::State& state) {
    PerfStartLibrary();
    std::vector<void*> blocks(BATCH);
    for (auto _ : state) {
        for (void*& p : blocks)
            p = MemAlloc(Size, 1, SRC, __LINE__);
        benchmark::DoNotOptimize(blocks.data());
        for (void* p : blocks)
            MemFree(p, Size, 1, SRC, __LINE__);
    }
}

template <std::int32_t Size>
void MallocBatch(benchmark::State& state) {
    std::vector<void*> blocks(BATCH);
    for (auto _ : state) {
        for (void*& p : blocks)
            p = std::malloc(Size);
        benchmark::DoNotOptimize(blocks.data());
        for (void* p : blocks)
            std::free(p);
    }
}

Pool* KeywordPool() {
    PerfStartLibrary();
    Pool* pool = nullptr;
    PoolCreate(&pool, SRC, __LINE__);
    PoolSetMemberSize(pool, MEMBER);
    PoolSetBlockCount(pool, BATCH);
    return pool;
}

void Pool_pair_PoolAlloc(benchmark::State& state) {
    Pool* pool = KeywordPool();
    for (auto _ : state) {
        void* p = PoolAlloc(pool, MEMBER, SRC, __LINE__);
        benchmark::DoNotOptimize(p);
        PoolFree(pool, &p, MEMBER, SRC, __LINE__);
    }
    PoolDestroy(&pool);
}

void Pool_batch_PoolAlloc(benchmark::State& state) {
    Pool* pool = KeywordPool();
    std::vector<void*> members(BATCH);
    for (auto _ : state) {
        for (void*& p : members)
            p = PoolAlloc(pool, MEMBER, SRC, __LINE__);
        benchmark::DoNotOptimize(members.data());
        for (void*& p : members)
            PoolFree(pool, &p, MEMBER, SRC, __LINE__);
    }
    PoolDestroy(&pool);
}

// Named one by one, so that run.sh --instructions can find each function.
#define MEM_SIZE(n)                                               \
    void Mem_pair##n##_MemAlloc(benchmark::State& state) {        \
        MemPair<n>(state);                                        \
    }                                                             \
    void Mem_pair##n##_malloc(benchmark::State& state) {          \
        MallocPair<n>(state);                                     \
    }                                                             \
    PERF_CASE(Mem_pair##n##_MemAlloc, "Mem/pair" #n "/MemAlloc"); \
    PERF_CASE(Mem_pair##n##_malloc, "Mem/pair" #n "/malloc")
#define MEM_BATCH(n)                                                \
    void Mem_batch##n##_MemAlloc(benchmark::State& state) {         \
        MemBatch<n>(state);                                         \
    }                                                               \
    void Mem_batch##n##_malloc(benchmark::State& state) {           \
        MallocBatch<n>(state);                                      \
    }                                                               \
    PERF_CASE(Mem_batch##n##_MemAlloc, "Mem/batch" #n "/MemAlloc"); \
    PERF_CASE(Mem_batch##n##_malloc, "Mem/batch" #n "/malloc")

MEM_SIZE(16);
MEM_SIZE(32);
MEM_SIZE(64);
MEM_SIZE(128);
MEM_SIZE(256);
MEM_BATCH(16);
MEM_BATCH(256);

void Pool_pair_malloc(benchmark::State& state) {
    MallocPair<MEMBER>(state);
}
void Pool_batch_malloc(benchmark::State& state) {
    MallocBatch<MEMBER>(state);
}
PERF_CASE(Pool_pair_PoolAlloc, "Pool/pair/PoolAlloc");
PERF_CASE(Pool_pair_malloc, "Pool/pair/malloc");
PERF_CASE(Pool_batch_PoolAlloc, "Pool/batch/PoolAlloc");
PERF_CASE(Pool_batch_malloc, "Pool/batch/malloc");

}  // namespace
