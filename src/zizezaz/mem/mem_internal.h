// mem_internal.h: the tracked allocator's state, its block frame and its
// checks, shared with the tests. Not for callers: they use mem.h.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// One per block while tracking is on, placed after the block in the same
// allocation (at MemTrackerAddress), all of them in one doubly linked list.
struct MemTracker {
    std::int32_t line;       // the caller's source line
    const char* sourceName;  // the caller's source file name, not owned
    std::int32_t size;       // the size as requested
    std::uint32_t flags;     // the caller's flags
    unsigned char* block;    // byte 0 of the block (its leading guard)
    MemTracker* next;        // older record, null at the end
    MemTracker* prev;        // newer record, null at the head
};
// line comes first: a damaged trailing guard is reported together with the
// four bytes that follow it into the record.
static_assert(offsetof(MemTracker, line) == 0, "the report of a damaged guard reads line");
// Every tracked block carries one record, so a field added here grows them all.
static_assert(sizeof(void*) != 8 || sizeof(MemTracker) == 48, "a record per tracked block");
static_assert(sizeof(void*) != 4 || sizeof(MemTracker) == 28, "a record per tracked block");

struct MemStateRecord {
    std::int32_t tracking;  // 1: every block carries a MemTracker
    MemTracker* trackerHead;
    std::int32_t blockCount;
    std::int32_t bytesInUse;  // sum of rounded sizes: guards count, trackers do not
    std::int32_t byteLimit;
    std::int32_t peakBlockCount;
    std::int32_t peakBytes;
};

extern MemStateRecord MemState;

// Lowest and highest address ever handed out by the tracked allocator,
// which alone widens the range; empty until the first block.
extern std::uintptr_t CoreAddressLow;
extern std::uintptr_t CoreAddressHigh;
std::int32_t CoreAddressInRange(std::uintptr_t address);

inline constexpr std::int32_t MEM_GUARD_SIZE = 4;
// The caller's area (A + 4) is aligned for any record, in every word size:
// 16 bytes covers the C library's own promise (8 on 32-bit Windows, 16
// elsewhere) and the vector types.
inline constexpr std::uintptr_t MEM_AREA_ALIGN = 16;
static_assert(MEM_AREA_ALIGN >= alignof(std::max_align_t) &&
                  (MEM_AREA_ALIGN & (MEM_AREA_ALIGN - 1)) == 0,
              "MemAlloc's area holds any record");

// size + 8 rounded up to a multiple of 4: the guards, the area, the padding.
// Wider than 32 bits so that no request near the top of the range overflows.
constexpr std::int64_t MemRoundedSize(std::int64_t size) {
    return (size + 11) & ~std::int64_t{3};
}

// Guard byte k is the low byte of ((A >> k) ^ 0xCC): both guards of a block
// hold the same four bytes, and neighbouring blocks hold different ones.
constexpr std::array<std::uint8_t, 4> MemGuard(std::uintptr_t block) {
    std::array<std::uint8_t, 4> guard{};
    for (std::uint32_t k = 0; k < 4; ++k) {
        guard[k] = static_cast<std::uint8_t>(((block >> k) ^ 0xCCu) & 0xFFu);
    }
    return guard;
}
static_assert(MemGuard(0x003A1238) == std::array<std::uint8_t, 4>{0xF4, 0xD0, 0x42, 0x8B});

// Where a block's tracker lies: right after the block, moved up to the
// record's alignment when the rounded size leaves it 4 bytes short.
constexpr std::uintptr_t MemTrackerAddress(std::uintptr_t block, std::int64_t rounded) {
    const std::uintptr_t end = block + static_cast<std::uintptr_t>(rounded);
    return (end + alignof(MemTracker) - 1) & ~std::uintptr_t{alignof(MemTracker) - 1};
}

// The block of an allocation that starts at start: the first A at or after
// it whose caller's area A + 4 is aligned, so 0 to MEM_AREA_ALIGN - 1 bytes in.
constexpr std::uintptr_t MemBlockAt(std::uintptr_t start) {
    return ((start + MEM_GUARD_SIZE + MEM_AREA_ALIGN - 1) & ~(MEM_AREA_ALIGN - 1)) - MEM_GUARD_SIZE;
}

// Bytes obtained from the heap for a block: the slack that MemBlockAt may
// skip, the block and, with tracking, the record with its alignment.
constexpr std::size_t MemRequestSize(std::int64_t rounded, std::int32_t tracking) {
    return static_cast<std::size_t>(rounded) + (MEM_AREA_ALIGN - 1) +
           (tracking ? alignof(MemTracker) - 1 + sizeof(MemTracker) : 0);
}

// Tests only: switches tracking on or off. Refused (0) while blocks are
// allocated, since their frames were laid out for the other mode. The
// program never calls it.
std::int32_t MemSetTracking(std::int32_t on);

// 1 when both guards of the block at A are intact; 0 when not and abort is
// 0; with abort 1 a damaged guard is fatal.
std::int32_t MemCheckGuards(std::int32_t abortOnFailure, std::uintptr_t block, std::int32_t size,
                            const char* sourceName, std::int32_t line);
std::int32_t MemCheckTracker(MemTracker* record, std::uintptr_t block, std::int32_t size,
                             const char* sourceName, std::int32_t line);
std::int32_t MemCheckAll();
std::int32_t MemListTracked();
