// mem.cpp: the tracked allocator. Every block is framed by two guards
// derived from its address, counted against a limit, zero-filled when handed
// out and checked and zeroed when given back. Failures are fatal.
//
// One allocation holds up to MEM_AREA_ALIGN - 1 bytes of slack, the block
// A .. A + rounded (leading guard, caller's area, padding, trailing guard)
// and, with tracking, the MemTracker after it. A is placed so that the
// caller's area A + 4 is aligned for any record whatever the heap returned;
// the accounting, the address range and the reports know only the block.
//
// Where each allocation really starts is kept apart from the blocks, in a
// table of the live blocks (block address -> slack, rounded size, heap). It
// also lets a give-back be checked before a byte of the block is read: an
// address that is not a live block (given back twice, or never handed out)
// is refused by the address test, and a size larger than the block's cannot
// make the guard check read past the allocation.
#include "zizezaz/mem/mem.h"

#include <cstdlib>
#include <cstring>
#include <limits>

#include "platform/platform.h"
#include "zizezaz/core/log.h"
#include "zizezaz/mem/mem_internal.h"
#include "zizezaz/str/format.h"

MemStateRecord MemState;

std::uintptr_t CoreAddressLow = UINTPTR_MAX;
std::uintptr_t CoreAddressHigh = 0;

std::int32_t CoreAddressInRange(std::uintptr_t address) {
    return (CoreAddressLow <= address && address <= CoreAddressHigh) ? 1 : 0;
}

// ---- The table of live blocks -------------------------------------------
// Open addressing with linear probing, at most half full, keyed by the block
// address (never 0, which marks a free entry). Removal shifts the following
// entries back, so a lookup stops at the first free entry. It is changed
// only under the log lock, like MemState, and lives on the C library's heap
// so that it does not count as the caller's memory.

struct LiveBlock {
    std::uintptr_t block;
    std::int32_t rounded;  // rounded size the block was made with
    std::uint8_t start;    // block minus the start of its allocation
    std::uint8_t local;    // 1: from the local heap
};

static LiveBlock* liveEntries = nullptr;
static std::size_t liveMask = 0;  // capacity - 1, the capacity a power of two
static std::size_t liveUsed = 0;

static constexpr std::size_t LIVE_FIRST_CAPACITY = 32;

// Blocks share their low bits (the area is aligned), and the heap hands out
// runs of them a fixed step apart; folding the higher bits in keeps such a
// run from landing on every other or every fourth entry.
static std::size_t LiveHome(std::uintptr_t block) {
    const std::uintptr_t h = block / MEM_AREA_ALIGN;
    return static_cast<std::size_t>(h ^ (h >> 8) ^ (h >> 16)) & liveMask;
}

static LiveBlock* LiveFind(std::uintptr_t block) {
    if (liveEntries == nullptr) return nullptr;
    for (std::size_t i = LiveHome(block);; i = (i + 1) & liveMask) {
        if (liveEntries[i].block == block) return &liveEntries[i];
        if (liveEntries[i].block == 0) return nullptr;
    }
}

static void LivePut(const LiveBlock& entry) {
    std::size_t i = LiveHome(entry.block);
    while (liveEntries[i].block != 0)
        i = (i + 1) & liveMask;
    liveEntries[i] = entry;
    ++liveUsed;
}

// Makes room for one more block, doubling the table when it would pass half
// full; 0 when the heap has no room for it.
static std::int32_t LiveReserve() {
    const std::size_t capacity = liveEntries ? liveMask + 1 : 0;
    if (liveUsed < capacity / 2) return 1;
    const std::size_t grown = capacity ? capacity * 2 : LIVE_FIRST_CAPACITY;
    auto* entries = static_cast<LiveBlock*>(std::calloc(grown, sizeof(LiveBlock)));
    if (entries == nullptr) return 0;
    LiveBlock* old = liveEntries;
    liveEntries = entries;
    liveMask = grown - 1;
    liveUsed = 0;
    for (std::size_t i = 0; i < capacity; ++i) {
        if (old[i].block != 0) LivePut(old[i]);
    }
    std::free(old);
    return 1;
}

static void LiveRemove(const LiveBlock* entry) {
    auto hole = static_cast<std::size_t>(entry - liveEntries);
    for (std::size_t i = (hole + 1) & liveMask; liveEntries[i].block != 0; i = (i + 1) & liveMask) {
        // An entry may fill the hole when the hole lies between its home and
        // where it sits now.
        const std::size_t home = LiveHome(liveEntries[i].block);
        if (((i - home) & liveMask) >= ((i - hole) & liveMask)) {
            liveEntries[hole] = liveEntries[i];
            hole = i;
        }
    }
    liveEntries[hole] = LiveBlock{};
    --liveUsed;
}

// ---- Helpers ---------------------------------------------------------------

static constexpr char UNSAFE[] = "Unsafe";

// Values printed with %d; sizes near the top of the 32-bit range have rounded
// values past it, which are shown wrapped rather than overflowing.
static std::int32_t Int32(std::int64_t value) {
    return static_cast<std::int32_t>(value);
}

// The allocator keeps addresses as integers, since its range and guard
// checks compare and step addresses that need not lie in one block; these
// two are where an address becomes a pointer again.
static const void* AsPointer(std::uintptr_t address) {
    return reinterpret_cast<const void*>(address);  // NOLINT(performance-no-int-to-ptr)
}

static unsigned char* Bytes(std::uintptr_t address) {
    return reinterpret_cast<unsigned char*>(address);  // NOLINT(performance-no-int-to-ptr)
}

static std::uintptr_t BlockEnd(std::uintptr_t block, std::int32_t size) {
    return block + static_cast<std::uintptr_t>(static_cast<std::int64_t>(size));
}

// A record address is only followed when it lies in the range and is
// aligned for the record; anything else is a damaged link.
static std::int32_t RecordAddressValid(const MemTracker* record) {
    const auto address = reinterpret_cast<std::uintptr_t>(record);
    return CoreAddressInRange(address) && address % alignof(MemTracker) == 0;
}

// Prints label and " %.2X" for each byte as one line.
static void PrintByteLine(const char* label, const unsigned char* bytes, std::int32_t count) {
    char text[64];
    std::int32_t used = StrFormat(text, sizeof text, "%s", label);
    for (std::int32_t i = 0; i < count; ++i) {
        used += StrFormat(text + used, static_cast<std::int32_t>(sizeof text) - used, " %.2X",
                          static_cast<std::int32_t>(bytes[i]));
    }
    LogPrintNoLock("%s\n", text);
}

static std::int32_t GuardDamage(const unsigned char* at, const std::array<std::uint8_t, 4>& guard) {
    std::int32_t damaged = 0;
    for (std::int32_t k = 0; k < MEM_GUARD_SIZE; ++k) {
        if (at[k] != guard[static_cast<std::size_t>(k)]) ++damaged;
    }
    return damaged;
}

[[noreturn]] static void AbortAt(const char* sourceName, std::int32_t line, const char* message,
                                 std::int32_t first, std::int32_t second) {
    LogSetLocationNoLock(sourceName, line);
    LogAbort(message, first, second);
}

// LOG_MEM_CHECK is set.
static void CheckAllBlocks(const char* sourceName, std::int32_t line) {
    if (!MemState.tracking) AbortAt(sourceName, line, "Memory tracking must be enabled\n", 0, 0);
    MemCheckAll();
}

// The first check of MemCheckGuards, made before a byte of the block is
// read: its start and end must lie in the range, and it must be a live
// block.
static LiveBlock* CheckBlockAddress(std::uintptr_t block, std::int32_t size, const char* sourceName,
                                    std::int32_t line) {
    const std::uintptr_t end = BlockEnd(block, size);
    LiveBlock* entry = nullptr;
    if (CoreAddressInRange(block) && CoreAddressInRange(end)) entry = LiveFind(block);
    if (entry == nullptr) {
        MemListTracked();
        LogSetLocationNoLock(sourceName, line);
        LogAbort("Invalid memory address (%d) <From:0x%p To:0x%p>\n", size, AsPointer(block),
                 AsPointer(end));
    }
    return entry;
}

static std::int32_t CheckGuards(std::int32_t abortOnFailure, std::uintptr_t block,
                                std::int32_t size, const char* sourceName, std::int32_t line,
                                const LiveBlock* entry);

std::int32_t MemSetTracking(std::int32_t on) {
    if (MemState.blockCount != 0) return 0;
    MemState.tracking = on ? 1 : 0;
    return 1;
}

// ---- Start and report -------------------------------------------------------

std::int32_t MemInit(std::int32_t limit) {
    if (LogGetFlags() & LOG_VERBOSE) LogBanner("Memory Init");
    MemState.blockCount = 0;
    MemState.bytesInUse = 0;
    MemState.peakBlockCount = 0;
    MemState.peakBytes = 0;
    MemState.byteLimit = limit;
    if (LogGetFlags() & LOG_VERBOSE) {
        if (limit == 0x7FFFFFFF) {
            LogPrint("Memory Initialized (Maximum)\n");
        } else {
            LogPrint("Memory Initialized (limit %dk)\n", limit >> 10);
        }
        LogBanner(nullptr);
    }
    return 1;
}

std::int32_t MemRemove() {
    const std::int32_t verbose = (LogGetFlags() & LOG_VERBOSE) != 0;
    if (verbose) {
        LogBanner("Memory Remove");
        LogPrint("Maximum Memory in use (%d / %dk)\n", MemState.peakBlockCount,
                 MemState.peakBytes >> 10);
    }
    if (MemState.bytesInUse != 0) {
        if (MemState.bytesInUse >= 1024) {
            LogPrint("Not all memory was free'd (%d / %dk)\n", MemState.blockCount,
                     MemState.bytesInUse >> 10);
        } else {
            LogPrint("Not all memory was free'd (%d / %db)\n", MemState.blockCount,
                     MemState.bytesInUse);
        }
        MemListTracked();
    }
    if (verbose) LogBanner(nullptr);
    return 1;
}

// ---- Allocation and release -------------------------------------------------

void* MemAlloc(std::int32_t size, std::uint32_t flags, const char* sourceName, std::int32_t line) {
    LogLock();
    const std::uint32_t logFlags = LogGetFlags();
    if (logFlags & LOG_MEM_CHECK) CheckAllBlocks(sourceName, line);
    if (size <= 0) AbortAt(sourceName, line, "Invalid Memory Size (%d)\n", size, 0);
    const std::int64_t rounded = MemRoundedSize(size);
    if (rounded > std::numeric_limits<std::int32_t>::max() ||
        MemState.bytesInUse + rounded > MemState.byteLimit) {
        LogSetLocationNoLock(sourceName, line);
        LogAbort("Memory exceeds limit ((%d + %d) / %d)\n", MemState.bytesInUse, Int32(rounded),
                 MemState.byteLimit);
    }

    const std::uint8_t local = (flags & MEM_LOCAL_HEAP) ? 1 : 0;
    const std::size_t request = MemRequestSize(rounded, MemState.tracking);
    void* allocation = nullptr;
    if (LiveReserve()) allocation = local ? PlatLocalAlloc(request) : std::malloc(request);
    if (allocation == nullptr) {
        AbortAt(sourceName, line,
                local ? "No Local Memory available (%d / %d)\n" : "No Memory available (%d / %d)\n",
                size, Int32(rounded));
    }
    const auto start = reinterpret_cast<std::uintptr_t>(allocation);
    const std::uintptr_t block = MemBlockAt(start);
    const std::uintptr_t area = block + MEM_GUARD_SIZE;
    LivePut(LiveBlock{block, Int32(rounded), static_cast<std::uint8_t>(block - start), local});

    // With tracking the record follows the block and heads the list. The
    // range's top is then the record, which must itself pass the range test.
    std::uintptr_t top = block + static_cast<std::uintptr_t>(rounded);
    MemTracker* record = nullptr;
    if (MemState.tracking) {
        record = reinterpret_cast<MemTracker*>(Bytes(MemTrackerAddress(block, rounded)));
        MemTracker* head = MemState.trackerHead;
        *record = MemTracker{
            line, sourceName, size, flags, Bytes(block), head, head ? head->prev : nullptr};
        if (head) head->prev = record;
        MemState.trackerHead = record;
        top = reinterpret_cast<std::uintptr_t>(record);
    }
    if (block < CoreAddressLow) CoreAddressLow = block;
    if (top > CoreAddressHigh) CoreAddressHigh = top;

    const auto guard = MemGuard(block);
    std::memcpy(Bytes(block), guard.data(), MEM_GUARD_SIZE);
    std::memset(Bytes(area), 0,
                static_cast<std::size_t>(rounded - 2 * std::int64_t{MEM_GUARD_SIZE}));
    std::memcpy(Bytes(block) + rounded - MEM_GUARD_SIZE, guard.data(), MEM_GUARD_SIZE);

    MemState.blockCount += 1;
    MemState.bytesInUse = Int32(MemState.bytesInUse + rounded);
    if (MemState.blockCount > MemState.peakBlockCount) {
        MemState.peakBlockCount = MemState.blockCount;
    }
    if (MemState.bytesInUse > MemState.peakBytes) MemState.peakBytes = MemState.bytesInUse;
    LogUnlock();

    if (logFlags & LOG_MEM_TRACE) {
        LogPrint("-- Alloc 0x%p 0x%p: %10d [%s / %d]\n", AsPointer(area),
                 static_cast<void*>(record), size, sourceName, line);
    }
    return Bytes(area);
}

// The flags only matter to the caller's bookkeeping: the block goes back to
// the heap that the table of live blocks recorded for it, since the other
// heap's release would not know it. Addresses are worked out as integers:
// the pointer may be null or foreign, and nothing is read through it before
// it is known as live.
void MemFree(void* pointer, std::int32_t size, [[maybe_unused]] std::uint32_t flags,
             const char* sourceName, std::int32_t line) {
    const std::int64_t rounded = MemRoundedSize(size);
    const std::uintptr_t block = reinterpret_cast<std::uintptr_t>(pointer) - MEM_GUARD_SIZE;
    const std::uint32_t logFlags = LogGetFlags();
    if (logFlags & LOG_MEM_TRACE) {
        const void* record =
            MemState.tracking ? AsPointer(MemTrackerAddress(block, rounded)) : nullptr;
        LogPrint("-- Free  0x%p 0x%p: %10d [%s / %d]\n", pointer, record, size, sourceName, line);
    }

    LogLock();
    if (logFlags & LOG_MEM_CHECK) CheckAllBlocks(sourceName, line);
    if (size <= 0) AbortAt(sourceName, line, "Invalid Memory Size (%d)\n", size, 0);
    if (pointer == nullptr) {
        AbortAt(sourceName, line, "No Memory address to free (%d / %d)\n", size, Int32(rounded));
    }

    if (MemState.tracking) {
        // The record is first looked for where the given size puts it; once
        // that place is in range and the block is known to be live, the
        // block's own size is used, so that a wrong size is reported as a
        // mismatch instead of reading past the allocation.
        std::uintptr_t address = MemTrackerAddress(block, rounded);
        if (CoreAddressInRange(address)) {
            address =
                MemTrackerAddress(block, CheckBlockAddress(block, size, sourceName, line)->rounded);
        }
        auto* record = reinterpret_cast<MemTracker*>(Bytes(address));
        MemCheckTracker(record, block, size, sourceName, line);
        if (record->prev) record->prev->next = record->next;
        if (record->next) record->next->prev = record->prev;
        if (MemState.trackerHead == record) {
            MemState.trackerHead = record->prev ? record->prev : record->next;
        }
        *record = MemTracker{};
    }

    LiveBlock* entry = CheckBlockAddress(block, size, sourceName, line);
    CheckGuards(1, block, size, sourceName, line, entry);
    void* allocation = Bytes(block - entry->start);
    const std::uint8_t local = entry->local;
    LiveRemove(entry);
    // Intact guards mean the given size is the block's own.
    std::memset(Bytes(block), 0, static_cast<std::size_t>(rounded));
    if (local) {
        PlatLocalFree(allocation);
    } else {
        std::free(allocation);
    }
    MemState.blockCount -= 1;
    MemState.bytesInUse = Int32(MemState.bytesInUse - rounded);
    LogUnlock();
}

// ---- Checks and the list ----------------------------------------------------

// MemCheckGuards once the block is known to be live.
static std::int32_t CheckGuards(std::int32_t abortOnFailure, std::uintptr_t block,
                                std::int32_t size, const char* sourceName, std::int32_t line,
                                const LiveBlock* entry) {
    const std::int64_t rounded = MemRoundedSize(size);
    const auto guard = MemGuard(block);
    const unsigned char* bytes = Bytes(block);
    // Intact guards where the block's own size puts them need no counting.
    if (rounded == entry->rounded && std::memcmp(bytes, guard.data(), MEM_GUARD_SIZE) == 0 &&
        std::memcmp(bytes + rounded - MEM_GUARD_SIZE, guard.data(), MEM_GUARD_SIZE) == 0) {
        return 1;
    }
    const std::int32_t before = GuardDamage(bytes, guard);
    // A trailing guard that the given size places beyond the block cannot be
    // read; it counts as damaged throughout. One that it places inside the
    // block is where the given size says, even if that is not the guard.
    const unsigned char* trailing =
        rounded <= entry->rounded ? bytes + rounded - MEM_GUARD_SIZE : nullptr;
    const std::int32_t after = trailing ? GuardDamage(trailing, guard) : MEM_GUARD_SIZE;
    if (before == 0 && after == 0) return 1;

    LogPrintNoLock("Memory corrupt (%d) <Addr:0x%p Before:%d After:%d Max:%d>\n", size,
                   static_cast<const void*>(bytes + MEM_GUARD_SIZE), before, after, MEM_GUARD_SIZE);
    PrintByteLine("Expected:", guard.data(), MEM_GUARD_SIZE);
    if (before > 0) PrintByteLine("Prior corruption:", bytes, 8);
    if (after > 0) {
        // The guard, and with tracking the first field of the record after
        // it; never a byte outside the allocation.
        unsigned char found[8] = {};
        std::int32_t count = 0;
        if (trailing) {
            std::memcpy(found, trailing, MEM_GUARD_SIZE);
            count = MEM_GUARD_SIZE;
            if (MemState.tracking && rounded == entry->rounded) {
                std::memcpy(found + count, AsPointer(MemTrackerAddress(block, rounded)), 4);
                count += 4;
            }
        }
        PrintByteLine("After corruption:", found, count);
    }
    if (abortOnFailure) {
        MemListTracked();
        LogSetLocationNoLock(sourceName, line);
        LogAbort("Memory corrupt (%d) <Addr:0x%p Before:%d After:%d Max:%d>\n", size,
                 static_cast<const void*>(bytes + MEM_GUARD_SIZE), before, after, MEM_GUARD_SIZE);
    }
    return 0;
}

std::int32_t MemCheckGuards(std::int32_t abortOnFailure, std::uintptr_t block, std::int32_t size,
                            const char* sourceName, std::int32_t line) {
    return CheckGuards(abortOnFailure, block, size, sourceName, line,
                       CheckBlockAddress(block, size, sourceName, line));
}

std::int32_t MemCheckTracker(MemTracker* record, std::uintptr_t block, std::int32_t size,
                             const char* sourceName, std::int32_t line) {
    if (!RecordAddressValid(record)) {
        MemListTracked();
        LogSetLocationNoLock(UNSAFE, 0);
        LogAbort("Tracker invalid address <0x%p>\n", static_cast<void*>(record));
    }
    MemTracker* next = record->next;
    MemTracker* prev = record->prev;
    if (next && !RecordAddressValid(next)) {
        MemListTracked();
        LogSetLocationNoLock(UNSAFE, 0);
        LogAbort("Tracker next invalid address <0x%p->0x%p>\n", static_cast<void*>(record),
                 static_cast<void*>(next));
    }
    if (prev && !RecordAddressValid(prev)) {
        MemListTracked();
        LogSetLocationNoLock(UNSAFE, 0);
        LogAbort("Tracker prev invalid address <0x%p->0x%p>\n", static_cast<void*>(record),
                 static_cast<void*>(prev));
    }
    if (!CoreAddressInRange(reinterpret_cast<std::uintptr_t>(record->block))) {
        MemListTracked();
        LogSetLocationNoLock(UNSAFE, 0);
        LogAbort("Tracker pointer invalid address <0x%p->0x%p>\n", static_cast<void*>(record),
                 static_cast<void*>(record->block));
    }
    if (next && next->prev != record) {
        MemListTracked();
        LogSetLocationNoLock(sourceName, line);
        LogAbort("Tracker next invalid link <0x%p->0x%p->0x%p>\n", static_cast<void*>(record),
                 static_cast<void*>(next), static_cast<void*>(next->prev));
    }
    if (prev && prev->next != record) {
        MemListTracked();
        LogSetLocationNoLock(sourceName, line);
        LogAbort("Tracker prev invalid link <0x%p->0x%p->0x%p>\n", static_cast<void*>(record),
                 static_cast<void*>(prev), static_cast<void*>(prev->next));
    }
    if (size != record->size || block != reinterpret_cast<std::uintptr_t>(record->block)) {
        MemListTracked();
        LogSetLocationNoLock(sourceName, line);
        LogAbort("Memory tracking mismatch (%d / %d) [0x%p / 0x%p]\n", size, record->size,
                 AsPointer(block), static_cast<void*>(record->block));
    }
    return 1;
}

std::int32_t MemCheckAll() {
    std::int32_t records = 0;
    std::int32_t failed = 0;
    for (MemTracker* record = MemState.trackerHead; record; record = record->next) {
        const auto block = reinterpret_cast<std::uintptr_t>(record->block);
        MemCheckTracker(record, block, record->size, record->sourceName, record->line);
        if (!MemCheckGuards(0, block, record->size, record->sourceName, record->line)) ++failed;
        ++records;
    }
    if (failed > 0) {
        MemListTracked();
        LogAbort("Failure in internal memory check (%d blocks failed)\n", failed);
    }
    if (records != MemState.blockCount) {
        LogAbort("Check mismatch of allocation count (%d != %d)\n", MemState.blockCount, records);
    }
    return 1;
}

std::int32_t MemListTracked() {
    if (!MemState.tracking) return 1;
    // The list is printed on the way to a fatal report and may be the very
    // thing that is damaged: the walk stops at a link that cannot be a record.
    for (MemTracker* record = MemState.trackerHead; record && RecordAddressValid(record);
         record = record->next) {
        LogPrintNoLock("Memory Tracking: 0x%p alloc'd from [Line %d/%s] [%d/0x%.8X]\n",
                       static_cast<void*>(record->block + MEM_GUARD_SIZE), record->line,
                       record->sourceName, record->size, record->flags);
    }
    return 1;
}
