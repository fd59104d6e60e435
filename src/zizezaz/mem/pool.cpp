// pool.cpp: typed pools. Members of one size are cut from tracked blocks of
// many members each; every member has a slot, which sits on one of 256
// bucket chains (chosen by the member's address) while the member is out and
// on the free chain while it is in, so that giving back something that is
// not out is caught.
#include "zizezaz/mem/pool.h"

#include <cstring>
#include <limits>

#include "zizezaz/core/log.h"
#include "zizezaz/mem/mem.h"
#include "zizezaz/mem/pool_internal.h"

const char PoolSourceName[] = "pool";

static constexpr std::uint32_t ORDINARY_HEAP = 1;
static constexpr std::int64_t HEADER_SIZE = sizeof(PoolBlock);
static constexpr std::int64_t SLOT_SIZE = sizeof(PoolSlot);
static constexpr std::int64_t INT32_TOP = std::numeric_limits<std::int32_t>::max();

static void CheckPool(const Pool* pool, std::int32_t line) {
    if (pool == nullptr) LogAbortNull(PoolSourceName, line);
    if (pool->tag != PoolSourceName) {
        LogSetLocation(PoolSourceName, line);
        LogAbort("Struct mismatch pointer (0x%p:%s != %s)\n", static_cast<const void*>(pool),
                 pool->tag, PoolSourceName);
    }
}

// Sizes that cannot be represented saturate; the tracked allocator then
// refuses them with its limit message instead of a wrapped size.
static std::int32_t Saturate(std::int64_t value) {
    return static_cast<std::int32_t>(value > INT32_TOP ? INT32_TOP : value);
}

static std::int32_t StrideOf(std::int32_t memberSize) {
    return Saturate((static_cast<std::int64_t>(memberSize) + 7) & ~std::int64_t{7}) & ~7;
}

static PoolSlot** BucketOf(Pool* pool, const void* member) {
    return &pool->buckets[(reinterpret_cast<std::uintptr_t>(member) >> 3) % POOL_BUCKETS];
}

[[noreturn]] static void AbortInvalidSize(std::int32_t size) {
    LogSetLocation(PoolSourceName, __LINE__);
    LogAbort("Invalid Memory Size (%d)\n", size);
}

// variableSize: the member is cut at the cursor of the newest block with room
// for it. The cursor moves on in steps of 8 so that every member stays
// aligned like a fixed-size one.
static void* CutVariable(Pool* pool, std::int32_t need) {
    const std::int64_t step = (static_cast<std::int64_t>(need) + 7) & ~std::int64_t{7};
    PoolBlock* block = pool->blocks;
    while (block && block->base + block->size - block->cursor <= step)
        block = block->next;
    if (block == nullptr) {
        PoolGrow(pool, Saturate(step));
        block = pool->blocks;
    }
    void* member = block->cursor;
    block->cursor += step;
    return member;
}

std::int32_t PoolCreate(Pool** out, const char* creatorFile, std::int32_t creatorLine) {
    if (out == nullptr) LogAbortNull(PoolSourceName, __LINE__);
    auto* pool =
        static_cast<Pool*>(MemAlloc(sizeof(Pool), ORDINARY_HEAP, PoolSourceName, __LINE__));
    pool->tag = PoolSourceName;
    pool->creatorFile = creatorFile;
    pool->creatorLine = creatorLine;
    *out = pool;
    return 1;
}

std::int32_t PoolSetMemberSize(Pool* pool, std::int32_t memberSize) {
    CheckPool(pool, __LINE__);
    pool->memberSize = memberSize;
    const std::int32_t stride = StrideOf(memberSize);
    if (stride != pool->stride) {
        // Blocks laid out for another stride cannot serve the new one.
        PoolReset(pool);
        pool->stride = stride;
    }
    return 1;
}

std::int32_t PoolSetBlockCount(Pool* pool, std::int32_t count) {
    CheckPool(pool, __LINE__);
    pool->membersPerBlock = count;
    return 1;
}

void* PoolAlloc(Pool* pool, std::int32_t size, const char* file, std::int32_t line) {
    CheckPool(pool, __LINE__);
    if (file == nullptr) LogAbortNull(PoolSourceName, __LINE__);
    void* member = nullptr;
    std::int32_t taken = size;
    if (pool->passThrough) {
        member = MemAlloc(size, ORDINARY_HEAP, file, line);
    } else if (pool->variableSize) {
        if (size < 0) AbortInvalidSize(size);
        taken = Saturate(static_cast<std::int64_t>(size) + 4);
        member = CutVariable(pool, taken);
    } else {
        if (size != pool->memberSize) {
            LogSetLocation(PoolSourceName, __LINE__);
            LogAbort("Invalid pool member size (%d != %d) from (%s/%d)\n", size, pool->memberSize,
                     file, line);
        }
        // A pool set up with a negative member size would lay its members
        // over its own slots.
        if (size < 0) AbortInvalidSize(size);
        if (pool->freeSlots == nullptr) PoolGrow(pool, 0);
        PoolSlot* slot = pool->freeSlots;
        pool->freeSlots = slot->link;
        PoolSlot** bucket = BucketOf(pool, slot->member);
        slot->link = *bucket;
        *bucket = slot;
        member = slot->member;
    }
    if (pool->trace) LogPrint("-- Pool Alloc 0x%p : %10d [%s / %d]\n", member, taken, file, line);
    pool->inUse += 1;
    if (pool->peakInUse < pool->inUse) pool->peakInUse = pool->inUse;
    if (pool->zeroFill) std::memset(member, 0, static_cast<std::size_t>(taken));
    return member;
}

void PoolFree(Pool* pool, void** member, std::int32_t size, const char* file, std::int32_t line) {
    CheckPool(pool, __LINE__);
    if (member == nullptr) LogAbortNull(PoolSourceName, __LINE__);
    if (pool->trace) LogPrint("-- Pool Free  0x%p : %10d [%s / %d]\n", *member, size, file, line);
    if (pool->passThrough) {
        MemFree(*member, size, ORDINARY_HEAP, file, line);
        pool->inUse -= 1;
        *member = nullptr;
        return;
    }
    if (pool->variableSize) {
        pool->inUse -= 1;
        *member = nullptr;
        return;
    }
    if (size != pool->memberSize) {
        LogSetLocation(PoolSourceName, __LINE__);
        LogAbort("Invalid pool member size (%d != %d) from (%s/%d)\n", size, pool->memberSize, file,
                 line);
    }
    if (*member == nullptr) return;

    PoolSlot** link = BucketOf(pool, *member);
    while (*link && (*link)->member != *member)
        link = &(*link)->link;
    if (*link == nullptr) {
        // Not out: name its free slot when it is one of ours (given back
        // twice), null when it never came from this pool.
        PoolSlot* free = pool->freeSlots;
        while (free && free->member != *member)
            free = free->link;
        LogSetLocation(PoolSourceName, __LINE__);
        LogAbort("Unable to find member to free [0x%p] [0x%p]\n", *member,
                 static_cast<void*>(free));
    }
    PoolSlot* slot = *link;
    *link = slot->link;
    slot->link = pool->freeSlots;
    pool->freeSlots = slot;
    pool->inUse -= 1;
    *member = nullptr;
}

std::int32_t PoolDestroy(Pool** pool) {
    if (pool == nullptr) LogAbortNull(PoolSourceName, __LINE__);
    CheckPool(*pool, __LINE__);
    Pool* record = *pool;
    if (record->inUse > 0) {
        LogPrint("Not all pool memory was freed (%d) for (%s/%d)\n", record->inUse,
                 record->creatorFile, record->creatorLine);
    }
    PoolReset(record);
    MemFree(record, sizeof(Pool), ORDINARY_HEAP, PoolSourceName, __LINE__);
    *pool = nullptr;
    return 1;
}

std::int32_t PoolReset(Pool* pool) {
    CheckPool(pool, __LINE__);
    PoolBlock* block = pool->blocks;
    while (block) {
        PoolBlock* next = block->next;
        MemFree(block->base, block->size, ORDINARY_HEAP, PoolSourceName, __LINE__);
        block = next;
    }
    for (PoolSlot*& bucket : pool->buckets)
        bucket = nullptr;
    pool->freeSlots = nullptr;
    pool->blocks = nullptr;
    pool->inUse = 0;
    pool->peakInUse = 0;
    pool->totalBytes = 0;
    return 1;
}

std::int32_t PoolGrow(Pool* pool, std::int32_t bytesNeeded) {
    CheckPool(pool, __LINE__);
    // A pool whose block count was never set still gets one member per block
    // rather than a block without slots.
    const std::int64_t count = pool->membersPerBlock < 1 ? 1 : pool->membersPerBlock;
    std::int64_t bytes = HEADER_SIZE + count * (SLOT_SIZE + pool->stride);
    if (bytesNeeded > pool->stride * count) {
        bytes =
            HEADER_SIZE + count * SLOT_SIZE + ((static_cast<std::int64_t>(bytesNeeded) + 3) & ~3);
    }
    const std::int32_t size = Saturate(bytes);
    auto* block = static_cast<PoolBlock*>(MemAlloc(size, ORDINARY_HEAP, PoolSourceName, __LINE__));
    block->base = reinterpret_cast<unsigned char*>(block);
    block->cursor = block->base + HEADER_SIZE;
    block->size = size;
    block->count = static_cast<std::int32_t>(count);
    block->next = pool->blocks;
    pool->blocks = block;
    pool->totalBytes = Saturate(static_cast<std::int64_t>(pool->totalBytes) + size);
    PoolCarveBlock(pool, block);
    return 1;
}

std::int32_t PoolCarveBlock(Pool* pool, PoolBlock* block) {
    CheckPool(pool, __LINE__);
    if (block == nullptr) LogAbortNull(PoolSourceName, __LINE__);
    block->cursor = block->base + HEADER_SIZE;
    if (pool->variableSize) return 1;

    // The layout is checked before a slot is written, so that a block too
    // small for it is reported instead of overrun.
    const std::int64_t membersStart =
        HEADER_SIZE + static_cast<std::int64_t>(block->count) * SLOT_SIZE;
    const std::int64_t end = membersStart + static_cast<std::int64_t>(block->count) * pool->stride;
    if (end != block->size || block->count < 0 || pool->stride < 0) {
        const std::uintptr_t base = reinterpret_cast<std::uintptr_t>(block->base);
        LogSetLocation(PoolSourceName, __LINE__);
        LogAbort("Pool corrupted (%d != %d) [0x%p 0x%p]\n", static_cast<std::int32_t>(end),
                 block->size,
                 // A corrupted end may lie outside the block, where pointer
                 // arithmetic would be undefined; the address is only printed.
                 reinterpret_cast<const void*>(  // NOLINT(performance-no-int-to-ptr)
                     base + static_cast<std::uintptr_t>(end)),
                 static_cast<const void*>(block->base));
    }
    auto* slots = reinterpret_cast<PoolSlot*>(block->cursor);
    unsigned char* members = block->base + membersStart;
    for (std::int32_t i = 0; i < block->count; ++i) {
        slots[i].member = members + static_cast<std::int64_t>(i) * pool->stride;
        slots[i].link = i + 1 < block->count ? &slots[i + 1] : pool->freeSlots;
    }
    if (block->count > 0) pool->freeSlots = &slots[0];
    return 1;
}
