// mem.cpp: the tracked allocator. Every block is framed by two guards
// derived from its address, counted against a limit, zero-filled when handed
// out and checked and zeroed when given back. Failures are fatal.
//
// One allocation holds 0 to 15 bytes of slack, the block A .. A + rounded
// (leading guard, caller's area, padding, trailing guard) and, with tracking,
// up to 4 bytes to align and the MemTracker. A is placed so that the caller's
// area A + 4 is 16-aligned whatever the heap returned; the accounting, the
// address range and the reports know only the block.
//
// Where each allocation really starts is kept apart from the blocks, in a
// table of the live blocks (block address -> slack, rounded size, heap). It
// also lets a give-back be checked before a byte of the block is read: an
// address that is not a live block (given back twice, or never handed out)
// is refused by the address test, and a size larger than the block's cannot
// make the guard check read past the allocation.
#include "zizezaz/mem/mem.h"

#include <array>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "platform/platform.h"
#include "platform/platform_lock.h"
#include "zizezaz/core/log.h"
#include "zizezaz/mem/mem_internal.h"
#include "zizezaz/str/format.h"

MemStateRecord MemState;

// ---- The table of live blocks -------------------------------------------
// Open addressing with linear probing, at most half full, keyed by the block
// address (never 0, which marks a free entry). Removal shifts the following
// entries back, so there are no tombstones and a lookup stops at the first
// free entry. It is changed only under the log lock, like MemState.

struct LiveBlock {
    std::uintptr_t block;
    std::int32_t rounded;  // rounded size the block was made with
    std::uint8_t start;    // block minus the start of its allocation
    std::uint8_t local;    // 1: from the local heap
};
static_assert(sizeof(void*) != 8 || sizeof(LiveBlock) == 16,
              "four entries to a cache line keep lookups short");

struct LiveTable {
    LiveBlock* entries;
    std::size_t mask;  // capacity - 1, the capacity a power of two
    std::size_t used;
    std::size_t limit;  // half the capacity: used may not pass it
};

// Before the first block the table is two free entries that nothing is put
// into (its limit is 0), so that a lookup needs no test for a missing table.
std::uintptr_t CoreAddressLow = UINTPTR_MAX;
std::uintptr_t CoreAddressHigh = 0;

std::int32_t CoreAddressInRange(std::uintptr_t address) {
    return (CoreAddressLow <= address && address <= CoreAddressHigh) ? 1 : 0;
}

static LiveBlock noBlocks[2];
static LiveTable live = {noBlocks, 1, 0, 0};

// The program holds a handful of blocks at a time; a first table of 512
// bytes keeps start-up from touching a fresh page for it, and the table
// doubles when more are out.
static constexpr std::size_t LIVE_FIRST_CAPACITY = 32;

// The home of a block: the high half of the 128-bit product of its address
// and 2^64 / phi. Blocks come in runs a fixed step apart; the high half
// spreads such a run more evenly than chance would (the low bits of a plain
// product repeat with the step, and its top bits bunch for steps such as
// 48 and 272 bytes), so that most blocks sit where their address sends them.
static std::size_t LiveHome(std::uintptr_t block, std::size_t mask) {
    constexpr std::uint64_t GOLDEN = 0x9E3779B97F4A7C15ull;
#if defined(__SIZEOF_INT128__)
    const auto product = static_cast<unsigned __int128>(block) * GOLDEN;
    return static_cast<std::size_t>(product >> 64) & mask;
#else
    const std::uint64_t product = std::uint64_t{block} * GOLDEN;
    return static_cast<std::size_t>(product ^ (product >> 32)) & mask;
#endif
}

// Most blocks sit where their address sends them: the loops below are for
// the others.
[[gnu::always_inline]] static inline LiveBlock* LiveFind(std::uintptr_t block) {
    std::size_t i = LiveHome(block, live.mask);
    while (live.entries[i].block != block)
        [[unlikely]] {
            if (live.entries[i].block == 0) return nullptr;
            i = (i + 1) & live.mask;
        }
    return &live.entries[i];
}

// Room for the entry has been made by LiveReserve.
[[gnu::always_inline]] static inline void LivePut(const LiveBlock& entry) {
    std::size_t i = LiveHome(entry.block, live.mask);
    while (live.entries[i].block != 0)
        [[unlikely]] i = (i + 1) & live.mask;
    live.entries[i] = entry;
    ++live.used;
}

// Doubles the table; 0 when the heap has no room for it.
static std::int32_t LiveGrow() {
    const std::size_t capacity = live.limit ? (live.mask + 1) * 2 : LIVE_FIRST_CAPACITY;
    auto* entries = static_cast<LiveBlock*>(std::calloc(capacity, sizeof(LiveBlock)));
    if (entries == nullptr) return 0;
    const LiveTable old = live;
    live = LiveTable{entries, capacity - 1, 0, capacity / 2};
    for (std::size_t i = 0; i <= old.mask; ++i) {
        if (old.entries[i].block != 0) LivePut(old.entries[i]);
    }
    if (old.entries != noBlocks) std::free(old.entries);
    return 1;
}

// Makes room for one more block; 0 when the heap has none for the table.
static std::int32_t LiveReserve() {
    if (live.used < live.limit) [[likely]]
        return 1;
    return LiveGrow();
}

[[gnu::always_inline]] static inline void LiveRemove(LiveBlock* entry) {
    const std::size_t mask = live.mask;
    auto hole = static_cast<std::size_t>(entry - live.entries);
    std::size_t i = (hole + 1) & mask;
    while (live.entries[i].block != 0)
        [[unlikely]] {
            // An entry may fill the hole when the hole lies between its home and
            // where it sits now.
            const std::size_t home = LiveHome(live.entries[i].block, mask);
            if (((i - home) & mask) >= ((i - hole) & mask)) {
                live.entries[hole] = live.entries[i];
                hole = i;
            }
            i = (i + 1) & mask;
        }
    live.entries[hole] = LiveBlock{};
    --live.used;
}

// ---- Helpers ---------------------------------------------------------------

// Enough for moving A + 4 up to the alignment.
static constexpr std::uintptr_t AREA_SLACK = MEM_AREA_ALIGN - 1;
// A + rounded is 4-aligned; the tracker may need up to its alignment more.
static constexpr std::uintptr_t TRACKER_SLACK = alignof(MemTracker) + sizeof(MemTracker);
static constexpr char UNSAFE[] = "Unsafe";

// Values printed with %d; sizes near the top of the 32-bit range have rounded
// values past it, which are shown wrapped rather than overflowing.
static std::int32_t Int32(std::int64_t value) {
    return static_cast<std::int32_t>(value);
}

static const void* AsPointer(std::uintptr_t address) {
    return reinterpret_cast<const void*>(address);
}

static unsigned char* Bytes(std::uintptr_t address) {
    return reinterpret_cast<unsigned char*>(address);
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

static std::uintptr_t BlockEnd(std::uintptr_t block, std::int32_t size) {
    return block + static_cast<std::uintptr_t>(static_cast<std::int64_t>(size));
}

// The guard of a block made here, as the word it is stored as. Such a block
// lies 4 bytes below a 16-aligned area, so the four low bits of its address
// are always 1100 and its guard depends only on bits 4 to 10: one of 128
// words, worked out once. MemGuard stays the rule for any other address.
static constexpr std::uintptr_t FRAME_LOW_BITS = MEM_AREA_ALIGN - MEM_GUARD_SIZE;
static constexpr auto GUARD_WORDS = [] {
    std::array<std::uint32_t, 128> words{};
    for (std::uintptr_t i = 0; i < words.size(); ++i) {
        words[i] = std::bit_cast<std::uint32_t>(MemGuard(i * MEM_AREA_ALIGN + FRAME_LOW_BITS));
    }
    return words;
}();

static constexpr std::uint32_t GuardWord(std::uintptr_t block) {
    return GUARD_WORDS[(block / MEM_AREA_ALIGN) % GUARD_WORDS.size()];
}
static_assert(std::bit_cast<std::array<std::uint8_t, 4>>(GuardWord(0x003A123C)) ==
              MemGuard(0x003A123C));
static_assert(std::bit_cast<std::array<std::uint8_t, 4>>(GuardWord(0x0052000C)) ==
              MemGuard(0x0052000C));

static std::uint32_t LoadWord(std::uintptr_t address) {
    std::uint32_t word;
    std::memcpy(&word, Bytes(address), sizeof word);
    return word;
}

static void StoreWord(std::uintptr_t address, std::uint32_t word) {
    std::memcpy(Bytes(address), &word, sizeof word);
}

// Clears n bytes from p, n a multiple of 4. Below 64 bytes the C library
// clears with one masked vector store, and a later load that meets a masked
// store still on its way to memory (the guard check, the heap's own
// bookkeeping at the start of a released allocation) waits until it is
// written. Plain stores of fixed width, overlapping where n is not a multiple
// of the width, are handed on to such loads at once.
//
// Blocks above 128 bytes are cleared in 64-byte steps by the widest stores
// the processor has (ZeroWide, chosen by MemInit): a block is cleared twice
// in its life, and for large ones the stores are most of the cost.
using ZeroWideFunction = void (*)(unsigned char* p, std::size_t n);

static void ZeroWideBaseline(unsigned char* p, std::size_t n) {
    for (std::size_t at = 0; at < n - 64; at += 64)
        std::memset(p + at, 0, 64);
    std::memset(p + n - 64, 0, 64);
}

#if defined(__x86_64__)
// The same code; the compiler makes each 64-byte clear one store.
[[gnu::target("avx512f")]] static void ZeroWideAvx512(unsigned char* p, std::size_t n) {
    for (std::size_t at = 0; at < n - 64; at += 64)
        std::memset(p + at, 0, 64);
    std::memset(p + n - 64, 0, 64);
}
#endif

static ZeroWideFunction ZeroWide = ZeroWideBaseline;

static void ChooseZeroWide() {
#if defined(__x86_64__)
    if (PlatCpuFeatures() & PLAT_CPU_AVX512F) ZeroWide = ZeroWideAvx512;
#endif
}

// The tests run from the small end, where most blocks are.
static inline void ZeroFill(unsigned char* p, std::size_t n) {
    if (n <= 16) {
        if (n >= 8) {
            std::memset(p, 0, 8);
            std::memset(p + n - 8, 0, 8);
        } else {
            std::memset(p, 0, 4);
        }
    } else if (n <= 32) {
        std::memset(p, 0, 16);
        std::memset(p + n - 16, 0, 16);
    } else if (n <= 64) {
        std::memset(p, 0, 32);
        std::memset(p + n - 32, 0, 32);
    } else if (n <= 128) {
        std::memset(p, 0, 64);
        std::memset(p + n - 64, 0, 64);
    } else if (n <= 4096) {
        ZeroWide(p, n);
    } else {
        std::memset(p, 0, n);
    }
}

// Clears a released block's leading guard. When the slack before the block
// allows, together with the four bytes before it: the heap reads the eight
// bytes that end at the 16-aligned caller's area as soon as the allocation
// is given back, and one store that covers them all is handed on to that
// read instead of holding it up.
static void ZeroLeadingGuard(std::uintptr_t block, std::uintptr_t start) {
    if (block - start >= 4) {
        std::memset(Bytes(block - 4), 0, 8);
    } else {
        std::memset(Bytes(block), 0, MEM_GUARD_SIZE);
    }
}

// The first check of MemCheckGuards, made before a byte of the block is read:
// its start and end must lie in the range, and it must be a live block. Null
// when not. (The range test is CoreAddressInRange's, written out because it
// runs twice on every give-back.)
static LiveBlock* LiveBlockAt(std::uintptr_t block, std::int32_t size) {
    const std::uintptr_t end = BlockEnd(block, size);
    if (block < CoreAddressLow || block > CoreAddressHigh || end < CoreAddressLow ||
        end > CoreAddressHigh) {
        return nullptr;
    }
    return LiveFind(block);
}

[[noreturn]] static void AbortInvalidAddress(std::uintptr_t block, std::int32_t size,
                                             const char* sourceName, std::int32_t line) {
    MemListTracked();
    LogSetLocationNoLock(sourceName, line);
    LogAbort("Invalid memory address (%d) <From:0x%p To:0x%p>\n", size, AsPointer(block),
             AsPointer(BlockEnd(block, size)));
}

static LiveBlock* CheckBlockAddress(std::uintptr_t block, std::int32_t size, const char* sourceName,
                                    std::int32_t line) {
    LiveBlock* entry = LiveBlockAt(block, size);
    if (entry == nullptr) AbortInvalidAddress(block, size, sourceName, line);
    return entry;
}

// Both guards of a live block where the block's own size puts them: the
// common case, checked without counting.
static std::int32_t GuardsIntact(std::uintptr_t block, std::int64_t rounded,
                                 const LiveBlock* entry) {
    const std::uint32_t guard = GuardWord(block);
    return rounded == entry->rounded && LoadWord(block) == guard &&
           LoadWord(block + static_cast<std::uintptr_t>(rounded) - MEM_GUARD_SIZE) == guard;
}

// ---- The rare turns of MemAlloc and MemFree ---------------------------------
// Kept out of line, so that the common case runs straight through.

// LOG_MEM_CHECK is set.
static void CheckAllBlocks(const char* sourceName, std::int32_t line) {
    if (!MemState.tracking) {
        LogSetLocationNoLock(sourceName, line);
        LogAbort("Memory tracking must be enabled\n");
    }
    MemCheckAll();
}

[[noreturn]] static void AbortInvalidSize(std::int32_t size, const char* sourceName,
                                          std::int32_t line) {
    LogSetLocationNoLock(sourceName, line);
    LogAbort("Invalid Memory Size (%d)\n", size);
}

[[noreturn]] static void AbortOverLimit(std::int64_t rounded, const char* sourceName,
                                        std::int32_t line) {
    LogSetLocationNoLock(sourceName, line);
    LogAbort("Memory exceeds limit ((%d + %d) / %d)\n", MemState.bytesInUse, Int32(rounded),
             MemState.byteLimit);
}

[[noreturn]] static void AbortNoMemory(std::uint8_t local, std::int32_t size, std::int64_t rounded,
                                       const char* sourceName, std::int32_t line) {
    LogSetLocationNoLock(sourceName, line);
    LogAbort(local ? "No Local Memory available (%d / %d)\n" : "No Memory available (%d / %d)\n",
             size, Int32(rounded));
}

[[noreturn]] static void AbortNullFree(std::int32_t size, std::int64_t rounded,
                                       const char* sourceName, std::int32_t line) {
    LogSetLocationNoLock(sourceName, line);
    LogAbort("No Memory address to free (%d / %d)\n", size, Int32(rounded));
}

static std::int32_t CheckGuards(std::int32_t abortOnFailure, std::uintptr_t block,
                                std::int32_t size, const char* sourceName, std::int32_t line,
                                const LiveBlock* entry);

// The tracker of a block being given back. It is first looked for where the
// given size puts it; once that place is in range and the block is known to
// be live, the block's own size is used, so that a wrong size is reported by
// MemCheckTracker as a mismatch instead of reading past the allocation.
static MemTracker* TrackerOf(std::uintptr_t block, std::int64_t rounded, std::int32_t size,
                             const char* sourceName, std::int32_t line) {
    std::uintptr_t address = MemTrackerAddress(block, rounded);
    if (CoreAddressInRange(address)) {
        address =
            MemTrackerAddress(block, CheckBlockAddress(block, size, sourceName, line)->rounded);
    }
    return reinterpret_cast<MemTracker*>(address);
}

// Fills the record that follows a new block and puts it at the head of the
// list; returns it.
static MemTracker* TrackBlock(std::uintptr_t block, std::int64_t rounded, std::int32_t size,
                              std::uint32_t flags, const char* sourceName, std::int32_t line) {
    auto* record = reinterpret_cast<MemTracker*>(MemTrackerAddress(block, rounded));
    MemTracker* head = MemState.trackerHead;
    *record =
        MemTracker{line, sourceName, size, flags, Bytes(block), head, head ? head->prev : nullptr};
    if (head) head->prev = record;
    MemState.trackerHead = record;
    return record;
}

// Checks the record of a block being given back, takes it out of the list
// and clears it.
static void UntrackBlock(std::uintptr_t block, std::int64_t rounded, std::int32_t size,
                         const char* sourceName, std::int32_t line) {
    MemTracker* record = TrackerOf(block, rounded, size, sourceName, line);
    MemCheckTracker(record, block, size, sourceName, line);
    if (record->prev) record->prev->next = record->next;
    if (record->next) record->next->prev = record->prev;
    if (MemState.trackerHead == record) {
        MemState.trackerHead = record->prev ? record->prev : record->next;
    }
    *record = MemTracker{};
}

std::int32_t MemSetTracking(std::int32_t on) {
    if (MemState.blockCount != 0) return 0;
    MemState.tracking = on ? 1 : 0;
    return 1;
}

std::int32_t MemInit(std::int32_t limit) {
    ChooseZeroWide();
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
// Each of MemAlloc and MemFree is a short common case and the whole
// procedure below it, to which one test sends every other call. The common
// case is a program that runs with tracking off, no check, no trace and the
// ordinary heap, on one thread: it stores the same bytes as the procedure
// and leaves out only the tests that cannot fire there.
//
// Nor does it take the log lock. The lock keeps other threads out, and a
// process that has one thread, and does not start another inside the
// allocator, has none to keep out; only the calling thread could start one.
// The C library's malloc skips its own locks the same way. A held lock is
// not disturbed either: on one thread, only the caller can be holding it.

// Where the block of a 16-aligned allocation starts.
static constexpr std::uintptr_t USUAL_SLACK = MEM_AREA_ALIGN - MEM_GUARD_SIZE;

// The largest request the common case takes: its rounded size, and the
// rounded size plus the slack, stay well inside 32 bits.
static constexpr std::uint32_t LARGEST_PLAIN_SIZE = 0x7FFF0000;

// The frame of a new block at A: both guards and the zeroed area between.
static void FrameBlock(std::uintptr_t block, std::int64_t rounded) {
    const std::uint32_t guard = GuardWord(block);
    StoreWord(block, guard);
    ZeroFill(Bytes(block + MEM_GUARD_SIZE), static_cast<std::size_t>(rounded - 2 * MEM_GUARD_SIZE));
    StoreWord(block + static_cast<std::uintptr_t>(rounded) - MEM_GUARD_SIZE, guard);
}

// A new block in the counters and the peaks.
static void CountBlock(std::int64_t rounded) {
    MemState.blockCount += 1;
    MemState.bytesInUse = Int32(MemState.bytesInUse + rounded);
    if (MemState.blockCount > MemState.peakBlockCount) [[unlikely]] {
        MemState.peakBlockCount = MemState.blockCount;
    }
    if (MemState.bytesInUse > MemState.peakBytes) [[unlikely]]
        MemState.peakBytes = MemState.bytesInUse;
}

// Takes a released block out of the table and the counters and clears it,
// guards included; returns where its allocation starts.
[[gnu::always_inline]] static inline unsigned char* UnframeBlock(std::uintptr_t block,
                                                                 std::int64_t rounded,
                                                                 LiveBlock* entry,
                                                                 std::uintptr_t start) {
    LiveRemove(entry);
    if (block - start >= MEM_GUARD_SIZE) [[likely]] {
        // The block and the four bytes before it in one clear: the heap reads
        // the eight bytes that end at the 16-aligned caller's area as soon as
        // the allocation is given back, and a store that covers them is
        // handed on to that read instead of holding it up.
        ZeroFill(Bytes(block - MEM_GUARD_SIZE), static_cast<std::size_t>(rounded + MEM_GUARD_SIZE));
    } else {
        // The same stores as the allocation made, then the two guards.
        ZeroFill(Bytes(block + MEM_GUARD_SIZE),
                 static_cast<std::size_t>(rounded - 2 * MEM_GUARD_SIZE));
        StoreWord(block + static_cast<std::uintptr_t>(rounded) - MEM_GUARD_SIZE, 0);
        ZeroLeadingGuard(block, start);
    }
    MemState.blockCount -= 1;
    MemState.bytesInUse = Int32(MemState.bytesInUse - rounded);
    return Bytes(start);
}

// MemAlloc, every step in its order.
[[gnu::noinline]] static void* AllocChecked(std::int32_t size, std::uint32_t flags,
                                            const char* sourceName, std::int32_t line) {
    LogLock();
    const std::uint32_t logFlags = LogGetFlags();
    if (logFlags & LOG_MEM_CHECK) CheckAllBlocks(sourceName, line);
    if (size <= 0) AbortInvalidSize(size, sourceName, line);
    const std::int64_t rounded = MemRoundedSize(size);
    if (rounded > std::numeric_limits<std::int32_t>::max() ||
        MemState.bytesInUse + rounded > MemState.byteLimit) {
        AbortOverLimit(rounded, sourceName, line);
    }

    const std::uint8_t local = (flags & MEM_LOCAL_HEAP) ? 1 : 0;
    const std::size_t request =
        static_cast<std::size_t>(rounded) + AREA_SLACK + (MemState.tracking ? TRACKER_SLACK : 0);
    void* allocation = nullptr;
    if (LiveReserve()) allocation = local ? PlatLocalAlloc(request) : std::malloc(request);
    if (allocation == nullptr) AbortNoMemory(local, size, rounded, sourceName, line);
    const auto start = reinterpret_cast<std::uintptr_t>(allocation);
    const std::uintptr_t area = (start + MEM_GUARD_SIZE + AREA_SLACK) & ~(MEM_AREA_ALIGN - 1);
    const std::uintptr_t block = area - MEM_GUARD_SIZE;
    LivePut(LiveBlock{block, Int32(rounded), static_cast<std::uint8_t>(block - start), local});

    // The range's top is the block's end, or with tracking its record, which
    // follows the block and must itself pass the range test.
    std::uintptr_t top = block + static_cast<std::uintptr_t>(rounded);
    MemTracker* record = nullptr;
    if (MemState.tracking) {
        record = TrackBlock(block, rounded, size, flags, sourceName, line);
        top = reinterpret_cast<std::uintptr_t>(record);
    }
    if (block < CoreAddressLow) CoreAddressLow = block;
    if (top > CoreAddressHigh) CoreAddressHigh = top;
    FrameBlock(block, rounded);
    CountBlock(rounded);
    LogUnlock();

    if (logFlags & LOG_MEM_TRACE) {
        LogPrint("-- Alloc 0x%p 0x%p: %10d [%s / %d]\n", AsPointer(area),
                 static_cast<void*>(record), size, sourceName, line);
    }
    return Bytes(area);
}

void* MemAlloc(std::int32_t size, std::uint32_t flags, const char* sourceName, std::int32_t line) {
    // Other threads, a check, a trace, tracking, the local heap, a size that
    // is not positive or very large, one past the limit and a table of live
    // blocks that must grow first all take the whole procedure.
    const std::uint32_t logFlags = LogGetFlags();
    const std::uint32_t unusual = (logFlags & (LOG_MEM_CHECK | LOG_MEM_TRACE)) |
                                  (flags & MEM_LOCAL_HEAP) |
                                  static_cast<std::uint32_t>(MemState.tracking);
    const std::int64_t rounded = MemRoundedSize(size);
    if (unusual != 0 || static_cast<std::uint32_t>(size) - 1u >= LARGEST_PLAIN_SIZE ||
        MemState.bytesInUse + rounded > MemState.byteLimit || live.used >= live.limit ||
        !PlatSingleThreaded()) [[unlikely]] {
        return AllocChecked(size, flags, sourceName, line);
    }

    void* allocation = std::malloc(static_cast<std::size_t>(rounded) + AREA_SLACK);
    if (allocation == nullptr) [[unlikely]] {
        LogLock();
        AbortNoMemory(0, size, rounded, sourceName, line);
    }
    const auto start = reinterpret_cast<std::uintptr_t>(allocation);
    const std::uintptr_t area = (start + MEM_GUARD_SIZE + AREA_SLACK) & ~(MEM_AREA_ALIGN - 1);
    const std::uintptr_t block = area - MEM_GUARD_SIZE;
    LivePut(LiveBlock{block, Int32(rounded), static_cast<std::uint8_t>(block - start), 0});
    const std::uintptr_t end = block + static_cast<std::uintptr_t>(rounded);
    if (block < CoreAddressLow) [[unlikely]]
        CoreAddressLow = block;
    if (end > CoreAddressHigh) [[unlikely]]
        CoreAddressHigh = end;
    FrameBlock(block, rounded);
    CountBlock(rounded);
    return Bytes(area);
}

// MemFree, every step in its order.
[[gnu::noinline]] static void FreeChecked(void* pointer, std::int32_t size, const char* sourceName,
                                          std::int32_t line) {
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
    if (size <= 0) AbortInvalidSize(size, sourceName, line);
    if (pointer == nullptr) AbortNullFree(size, rounded, sourceName, line);
    if (MemState.tracking) UntrackBlock(block, rounded, size, sourceName, line);

    LiveBlock* entry = LiveBlockAt(block, size);
    if (entry == nullptr) AbortInvalidAddress(block, size, sourceName, line);
    // Intact guards mean the given size is not larger than the block's own.
    if (!GuardsIntact(block, rounded, entry)) CheckGuards(1, block, size, sourceName, line, entry);
    // The block goes back to the heap it came from, whatever the flags say:
    // the other heap's release would not know it.
    const std::uint8_t local = entry->local;
    unsigned char* start = UnframeBlock(block, rounded, entry, block - entry->start);
    if (local) {
        PlatLocalFree(start);
    } else {
        std::free(start);
    }
    LogUnlock();
}

// The flags only matter to the caller's bookkeeping: the block goes back to
// the heap that the table of live blocks recorded for it.
void MemFree(void* pointer, std::int32_t size, [[maybe_unused]] std::uint32_t flags,
             const char* sourceName, std::int32_t line) {
    // Addresses are worked out as integers: the pointer may be null or
    // foreign, and nothing is read through it before it is known as live.
    // A live block lies in the address range, so finding it in the table
    // settles the range test as well; a block that is not found, or whose
    // guards do not match the given size, takes the whole procedure, which
    // tells which test failed. That covers a null pointer too, which names
    // no live block, and a size that is not positive, which rounds below
    // the size of every block.
    // The flags first: only the arguments have to outlast the call.
    const std::uint32_t logFlags = LogGetFlags();
    const std::int64_t rounded = MemRoundedSize(size);
    const std::uintptr_t block = reinterpret_cast<std::uintptr_t>(pointer) - MEM_GUARD_SIZE;
    LiveBlock* entry = nullptr;
    if (((logFlags & (LOG_MEM_CHECK | LOG_MEM_TRACE)) |
         static_cast<std::uint32_t>(MemState.tracking)) == 0 &&
        PlatSingleThreaded()) [[likely]] {
        entry = LiveFind(block);
    }
    // The heap hands out 16-aligned allocations, each of whose blocks starts
    // USUAL_SLACK bytes in: the test on the recorded slack is a branch, so
    // the release need not wait for the entry to be read to know the start.
    if (entry == nullptr || entry->local || entry->start != USUAL_SLACK ||
        !GuardsIntact(block, rounded, entry)) [[unlikely]] {
        FreeChecked(pointer, size, sourceName, line);
        return;
    }
    std::free(UnframeBlock(block, rounded, entry, block - USUAL_SLACK));
}

std::int32_t MemCheckGuards(std::int32_t abortOnFailure, std::uintptr_t block, std::int32_t size,
                            const char* sourceName, std::int32_t line) {
    return CheckGuards(abortOnFailure, block, size, sourceName, line,
                       CheckBlockAddress(block, size, sourceName, line));
}

// MemCheckGuards once the block is known to be live.
static std::int32_t CheckGuards(std::int32_t abortOnFailure, std::uintptr_t block,
                                std::int32_t size, const char* sourceName, std::int32_t line,
                                const LiveBlock* entry) {
    const std::int64_t rounded = MemRoundedSize(size);
    if (GuardsIntact(block, rounded, entry)) return 1;
    const auto guard = MemGuard(block);
    const unsigned char* bytes = Bytes(block);
    std::int32_t before = 0;
    for (std::int32_t k = 0; k < MEM_GUARD_SIZE; ++k) {
        if (bytes[k] != guard[k]) ++before;
    }
    // A trailing guard that the given size places beyond the block cannot be
    // read; it counts as damaged throughout.
    const unsigned char* trailing =
        rounded <= entry->rounded ? bytes + rounded - MEM_GUARD_SIZE : nullptr;
    std::int32_t after = 0;
    for (std::int32_t k = 0; k < MEM_GUARD_SIZE; ++k) {
        if (!trailing || trailing[k] != guard[k]) ++after;
    }
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
