// pool_internal.h: the records behind a pool, shared with the tests. Not
// for callers: they use pool.h and never look inside a pool.
#pragma once

#include <cstddef>
#include <cstdint>

#include "zizezaz/mem/pool.h"

inline constexpr std::int32_t POOL_BUCKETS = 256;

// Stands for one member; it sits on its member's bucket chain while the
// member is out and on freeSlots while it is in.
struct PoolSlot {
    void* member;    // never changes
    PoolSlot* link;  // next slot on the same chain
};

// One tracked allocation: this header, count slots, count members. The
// header keeps a multiple of 8 bytes in every word size, so that the members
// after it keep the 8-byte alignment that their stride is rounded to.
struct alignas(8) PoolBlock {
    unsigned char* base;    // the block's own address, as given to MemFree
    unsigned char* cursor;  // first byte not yet cut; the slots once laid out
    std::int32_t size;      // bytes in the block
    std::int32_t count;     // slots and members
    PoolBlock* next;        // older block
};

struct Pool {
    const char* tag;  // PoolSourceName, compared by address
    // The four switches: off in the program, set directly by the tests.
    std::int32_t variableSize;  // members of any size cut in sequence
    std::int32_t passThrough;   // every member its own tracked allocation
    std::int32_t zeroFill;      // members zeroed when taken
    std::int32_t trace;         // every take and give-back printed
    const char* creatorFile;
    std::int32_t creatorLine;
    std::int32_t memberSize;
    std::int32_t stride;  // memberSize rounded up to a multiple of 8
    std::int32_t membersPerBlock;
    std::int32_t totalBytes;
    std::int32_t inUse;
    std::int32_t peakInUse;
    PoolSlot* buckets[POOL_BUCKETS];  // members out, chained by (address >> 3) % 256
    PoolSlot* freeSlots;              // members in; the last given back comes first
    PoolBlock* blocks;                // newest first
};

// A pool and each of its blocks are tracked allocations: their sizes show
// in the allocator's report of peak use, which users compare between runs.
static_assert(sizeof(void*) != 8 || sizeof(Pool) == 2128, "shows in the memory report");
static_assert(sizeof(void*) != 4 || sizeof(Pool) == 1084, "shows in the memory report");
static_assert(sizeof(void*) != 8 || (sizeof(PoolBlock) == 32 && sizeof(PoolSlot) == 16),
              "shows in the memory report");
static_assert(sizeof(void*) != 4 || (sizeof(PoolBlock) == 24 && sizeof(PoolSlot) == 8),
              "shows in the memory report");
// Members follow the header and the slots in a block whose start is aligned
// for any record; neither moves them off a multiple of 8.
static_assert(sizeof(PoolBlock) % 8 == 0 && sizeof(PoolSlot) % 8 == 0, "members stay 8-aligned");

// The pool module's source name: the location of its own reports and, by
// its address, the identity of every pool.
extern const char PoolSourceName[];

std::int32_t PoolGrow(Pool* pool, std::int32_t bytesNeeded);
std::int32_t PoolCarveBlock(Pool* pool, PoolBlock* block);
