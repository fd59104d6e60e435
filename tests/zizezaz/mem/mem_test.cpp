// mem_test.cpp: the tracked allocator: block layout and guards, the limit,
// the reports, the tracking list and every fatal path (in child processes).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/test_support.h"
#include "zizezaz/core/init.h"
#include "zizezaz/core/log.h"
#include "zizezaz/core/log_internal.h"
#include "zizezaz/mem/mem.h"
#include "zizezaz/mem/mem_internal.h"

namespace {

constexpr char SRC[] = "mem_test";
constexpr std::uint32_t APP_FLAGS = LOG_CONSOLE | LOG_NO_ABORT_BOX;
constexpr std::int32_t NO_LIMIT = 0x7FFFFFFF;

std::uintptr_t BlockOf(const void* area) {
    return reinterpret_cast<std::uintptr_t>(area) - 4;
}
unsigned char* Bytes(std::uintptr_t address) {
    return reinterpret_cast<unsigned char*>(address);
}
MemTracker* RecordOf(const void* area, std::int32_t size) {
    return reinterpret_cast<MemTracker*>(MemTrackerAddress(BlockOf(area), MemRoundedSize(size)));
}

std::string ByteLine(const char* label, const unsigned char* bytes, int count) {
    std::string line = label;
    char text[8];
    for (int i = 0; i < count; ++i) {
        std::snprintf(text, sizeof text, " %.2X", bytes[i]);
        line += text;
    }
    return line + "\n";
}

std::string Abort(const std::string& message, const std::string& file, int line) {
    return "\n\nABORT: " + message + "       (" + file + "/" + std::to_string(line) + ")\n";
}

// Each test starts with fresh counters, tracking off and the console copy of
// the log going to a file of its own; it must give back all it took.
class MemTest : public ConsoleFileTest {
protected:
    void SetUp() override {
        StartCore("mem_test", APP_FLAGS);
        LogState.flags = APP_FLAGS;
        MemInit(NO_LIMIT);
        ASSERT_EQ(MemSetTracking(0), 1);
        ConsoleFileTest::SetUp();
    }
    void TearDown() override {
        EXPECT_EQ(MemState.blockCount, 0);
        EXPECT_EQ(MemState.trackerHead, nullptr);
        ConsoleFileTest::TearDown();  // back to APP_FLAGS and the real console
        MemSetTracking(0);
    }
};

// Fatal reports go to standard error, where the death tests read them.
class MemDeathTest : public MemTest {
protected:
    void SetUp() override {
        MemTest::SetUp();
        LogState.consoleHandle = 2;
    }
};

TEST(CoreAddressTest, RangeIsEmptyUntilWidenedThenInclusive) {
    const std::uintptr_t saved[2] = {CoreAddressLow, CoreAddressHigh};
    CoreAddressLow = UINTPTR_MAX;
    CoreAddressHigh = 0;
    EXPECT_EQ(CoreAddressInRange(0) + CoreAddressInRange(0x1000) + CoreAddressInRange(UINTPTR_MAX),
              0);
    CoreAddressLow = 0x1000;
    CoreAddressHigh = 0x2000;
    const std::pair<std::uintptr_t, std::int32_t> cases[] = {
        {0xFFF, 0}, {0x1000, 1}, {0x1800, 1}, {0x2000, 1}, {0x2001, 0}, {UINTPTR_MAX, 0}};
    for (const auto& [address, in] : cases)
        EXPECT_EQ(CoreAddressInRange(address), in) << address;
    CoreAddressLow = saved[0];
    CoreAddressHigh = saved[1];
}

TEST(MemGuardTest, GuardBytesFollowTheBlockAddress) {
    const struct {
        std::uintptr_t block;
        std::array<std::uint8_t, 4> guard;
    } rows[] = {
        {0x003A1238, {0xF4, 0xD0, 0x42, 0x8B}},
        {0x00520000, {0xCC, 0xCC, 0xCC, 0xCC}},
        {0x00000001, {0xCD, 0xCC, 0xCC, 0xCC}},
    };
    for (const auto& row : rows)
        EXPECT_EQ(MemGuard(row.block), row.guard) << std::hex << row.block;
}

// Wherever the heap's allocation starts, the block sits inside it with its
// area aligned, and the record (with tracking) lies after the block and
// inside the allocation too. A 32-bit record follows the block directly.
TEST(MemLayoutTest, BlockAndRecordFitTheAllocationForThisWordSize) {
    constexpr std::uintptr_t MAX_RECORD_GAP = sizeof(void*) == 4 ? 0 : 4;
    const std::uintptr_t bases[] = {0x00520000, 0x7FFF0000};
    for (std::uintptr_t base : bases) {
        for (std::uintptr_t skew = 0; skew < 16; ++skew) {
            for (std::int32_t size : {1, 4, 5, 8, 13, 1000}) {
                for (std::int32_t tracking : {0, 1}) {
                    const std::uintptr_t start = base + skew;
                    const std::int64_t rounded = MemRoundedSize(size);
                    const std::uintptr_t end = start + MemRequestSize(rounded, tracking);
                    const std::uintptr_t block = MemBlockAt(start);
                    const std::uintptr_t blockEnd = block + static_cast<std::uintptr_t>(rounded);
                    SCOPED_TRACE(::testing::Message() << std::hex << start << " size " << size
                                                      << " tracking " << tracking);
                    EXPECT_GE(block, start);
                    EXPECT_LT(block - start, MEM_AREA_ALIGN);
                    EXPECT_EQ((block + 4) % MEM_AREA_ALIGN, 0u);
                    EXPECT_LE(blockEnd, end);
                    if (!tracking) continue;
                    const std::uintptr_t record = MemTrackerAddress(block, rounded);
                    EXPECT_EQ(record % alignof(MemTracker), 0u);
                    EXPECT_GE(record, blockEnd);
                    EXPECT_LE(record - blockEnd, MAX_RECORD_GAP);
                    EXPECT_LE(record + sizeof(MemTracker), end);
                }
            }
        }
    }
}

TEST_F(MemTest, BlocksAreRoundedGuardedZeroedAndAligned) {
    const struct {
        std::int32_t size, rounded;
    } rows[] = {{1, 12}, {4, 12}, {5, 16}, {8, 16}, {9, 20}, {13, 24}, {1000, 1008}};
    for (std::int32_t tracking : {0, 1}) {
        ASSERT_EQ(MemSetTracking(tracking), 1);
        for (std::uint32_t flags : {1u, MEM_LOCAL_HEAP}) {
            for (const auto& row : rows) {
                auto* area = static_cast<unsigned char*>(MemAlloc(row.size, flags, SRC, 1));
                const std::uintptr_t block = BlockOf(area);
                const auto guard = MemGuard(block);
                EXPECT_EQ(reinterpret_cast<std::uintptr_t>(area) % 16, 0u) << row.size;
                EXPECT_EQ(MemState.bytesInUse, row.rounded) << row.size;
                EXPECT_EQ(MemState.blockCount, 1);
                EXPECT_EQ(std::memcmp(Bytes(block), guard.data(), 4), 0) << row.size;
                EXPECT_EQ(std::memcmp(Bytes(block) + row.rounded - 4, guard.data(), 4), 0)
                    << row.size;
                const std::vector<unsigned char> zero(static_cast<std::size_t>(row.rounded - 8), 0);
                EXPECT_EQ(std::memcmp(area, zero.data(), zero.size()), 0) << row.size;
                EXPECT_TRUE(CoreAddressInRange(block) && CoreAddressInRange(block + row.rounded));
                if (tracking) {
                    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(MemState.trackerHead),
                              MemTrackerAddress(block, row.rounded));
                }
                // The whole area and its padding are the caller's to write.
                std::memset(area, 0xAB, static_cast<std::size_t>(row.rounded - 8));
                MemFree(area, row.size, flags, SRC, 2);
                EXPECT_EQ(MemState.bytesInUse, 0);
            }
        }
    }
    EXPECT_EQ(MemState.peakBytes, 1008);
    EXPECT_EQ(MemState.peakBlockCount, 1);
}

TEST_F(MemTest, ReusedHeapBlockIsHandedOutZeroedAndPaddingIsNotChecked) {
    for (int round = 0; round < 2; ++round) {
        auto* area = static_cast<unsigned char*>(MemAlloc(64, 1, SRC, 1));
        for (int i = 0; i < 64; ++i)
            ASSERT_EQ(area[i], 0) << round << " " << i;
        std::memset(area, 0xA5, 64);
        MemFree(area, 64, 1, SRC, 2);
    }
    // The three bytes between a 5-byte area and its trailing guard.
    auto* area = static_cast<unsigned char*>(MemAlloc(5, 1, SRC, 3));
    std::memset(area + 5, 0xEE, 3);
    MemFree(area, 5, 1, SRC, 4);
    EXPECT_EQ(MemState.blockCount, 0);
}

// Thousands of blocks out at once, given back in random order while others
// are taken: every one must still be known as live when it comes back.
TEST_F(MemTest, ManyBlocksComeBackInAnyOrder) {
    std::mt19937 random(4);
    std::vector<std::pair<void*, std::int32_t>> out;
    for (int i = 0; i < 6000; ++i) {
        const auto size = static_cast<std::int32_t>(1 + random() % 300);
        out.emplace_back(MemAlloc(size, 1, SRC, 1), size);
        if (random() % 3 == 0) {
            std::swap(out[random() % out.size()], out.back());
            MemFree(out.back().first, out.back().second, 1, SRC, 2);
            out.pop_back();
        }
    }
    std::shuffle(out.begin(), out.end(), random);
    for (auto [area, size] : out)
        MemFree(area, size, 1, SRC, 3);
    EXPECT_EQ(MemState.bytesInUse, 0);
}

TEST_F(MemTest, ReportsOfInitRemoveAndTrace) {
    LogState.flags = APP_FLAGS | LOG_VERBOSE;
    MemInit(NO_LIMIT);
    MemInit(1048576);
    MemInit(NO_LIMIT);
    void* a = MemAlloc(1016, 1, SRC, 5);
    void* b = MemAlloc(1, 1, SRC, 6);
    MemRemove();
    LogState.flags = APP_FLAGS | LOG_MEM_TRACE;
    MemFree(b, 1, 1, SRC, 7);
    MemFree(a, 1016, 1, SRC, 8);
    MemRemove();  // nothing left, not verbose: silent
    EXPECT_EQ(Console(), Banner("Memory Init") + "Memory Initialized (Maximum)\n" + Banner("") +
                             Banner("Memory Init") + "Memory Initialized (limit 1024k)\n" +
                             Banner("") + Banner("Memory Init") + "Memory Initialized (Maximum)\n" +
                             Banner("") + Banner("Memory Remove") +
                             "Maximum Memory in use (2 / 1k)\n" +
                             "Not all memory was free'd (2 / 1k)\n" + Banner("") + "-- Free  0x" +
                             Hex(b) + " 0x00000000:          1 [mem_test / 7]\n" + "-- Free  0x" +
                             Hex(a) + " 0x00000000:       1016 [mem_test / 8]\n");
}

TEST_F(MemTest, LeakLineIsInKilobytesFrom1024BytesOn) {
    const struct {
        std::vector<std::int32_t> sizes;
        const char* line;
    } rows[] = {
        {{992, 992, 992}, "Not all memory was free'd (3 / 2k)\n"},
        {{1}, "Not all memory was free'd (1 / 12b)\n"},
        {{1012}, "Not all memory was free'd (1 / 1020b)\n"},
        {{1016}, "Not all memory was free'd (1 / 1k)\n"},
        {{}, ""},
    };
    for (const auto& row : rows) {
        std::vector<void*> blocks;
        for (std::int32_t size : row.sizes)
            blocks.push_back(MemAlloc(size, 1, SRC, 1));
        const std::string before = Console();
        MemRemove();
        EXPECT_EQ(Console().substr(before.size()), row.line);
        for (std::size_t i = 0; i < blocks.size(); ++i)
            MemFree(blocks[i], row.sizes[i], 1, SRC, 2);
    }
}

TEST_F(MemTest, TrackingKeepsANewestFirstListOfAlignedRecords) {
    ASSERT_EQ(MemSetTracking(1), 1);
    LogState.flags = APP_FLAGS | LOG_MEM_CHECK | LOG_MEM_TRACE;
    void* oldest = MemAlloc(5, 1, SRC, 11);
    void* middle = MemAlloc(4, 3, SRC, 12);
    void* newest = MemAlloc(100, 1, SRC, 13);
    EXPECT_EQ(MemSetTracking(0), 0);  // blocks are laid out for tracking
    for (auto [area, size] : {std::pair{oldest, 5}, {middle, 4}, {newest, 100}}) {
        const auto record = reinterpret_cast<std::uintptr_t>(RecordOf(area, size));
        EXPECT_EQ(record % alignof(MemTracker), 0u);
        EXPECT_GE(record, BlockOf(area) + MemRoundedSize(size));
        EXPECT_TRUE(CoreAddressInRange(record));
    }
    MemTracker* head = MemState.trackerHead;
    ASSERT_EQ(head, RecordOf(newest, 100));
    EXPECT_EQ(head->next, RecordOf(middle, 4));
    EXPECT_EQ(head->next->next, RecordOf(oldest, 5));
    EXPECT_EQ(head->next->prev, head);
    EXPECT_EQ(head->prev, nullptr);
    EXPECT_EQ(MemCheckAll(), 1);

    LogState.flags = APP_FLAGS;
    const std::string before = Console();
    MemListTracked();
    EXPECT_EQ(Console().substr(before.size()),
              "Memory Tracking: 0x" + Hex(newest) +
                  " alloc'd from [Line 13/mem_test] [100/0x00000001]\n" + "Memory Tracking: 0x" +
                  Hex(middle) + " alloc'd from [Line 12/mem_test] [4/0x00000003]\n" +
                  "Memory Tracking: 0x" + Hex(oldest) +
                  " alloc'd from [Line 11/mem_test] [5/0x00000001]\n");
    const std::string trace = "-- Alloc 0x" + Hex(oldest) + " 0x" + Hex(RecordOf(oldest, 5)) +
                              ":          5 [mem_test / 11]\n";
    EXPECT_EQ(Console().substr(0, trace.size()), trace);

    LogState.flags = APP_FLAGS | LOG_MEM_CHECK;
    MemFree(middle, 4, 3, SRC, 14);
    EXPECT_EQ(head->next, RecordOf(oldest, 5));
    EXPECT_EQ(RecordOf(oldest, 5)->prev, head);
    MemFree(newest, 100, 1, SRC, 15);
    EXPECT_EQ(MemState.trackerHead, RecordOf(oldest, 5));
    EXPECT_EQ(MemState.trackerHead->prev, nullptr);
    MemFree(oldest, 5, 1, SRC, 16);
}

struct FatalRow {
    const char* what;
    std::function<void()> run;
    std::string expected;  // literal text
};

void ExpectFatal(const std::vector<FatalRow>& rows) {
    for (const auto& row : rows) {
        EXPECT_EXIT(row.run(), ::testing::ExitedWithCode(1), Literal(row.expected)) << row.what;
    }
}

TEST_F(MemDeathTest, EveryFaultIsReportedAndEndsWithStatusOne) {
    alignas(16) static unsigned char foreign[64];
    ASSERT_FALSE(CoreAddressInRange(reinterpret_cast<std::uintptr_t>(foreign)));
    auto* four = static_cast<unsigned char*>(MemAlloc(4, 1, SRC, 1));
    auto* eight = static_cast<unsigned char*>(MemAlloc(8, 1, SRC, 1));
    const std::uintptr_t a4 = BlockOf(four);
    const auto g4 = MemGuard(a4);
    const auto g8 = MemGuard(BlockOf(eight));
    const unsigned char overrun[4] = {static_cast<unsigned char>(g4[0] ^ 0x5A), g4[1], g4[2],
                                      g4[3]};
    const unsigned char underrun[8] = {g4[0], g4[1], g4[2], static_cast<unsigned char>(g4[3] ^ 1),
                                       0,     0,     0,     0};
    const std::string corrupt =
        "Memory corrupt (4) <Addr:0x" + Hex(four) + " Before:0 After:1 Max:4>\n";
    const std::string shrunk =
        "Memory corrupt (4) <Addr:0x" + Hex(eight) +
        " Before:0 After:" + std::to_string(4 - std::count(g8.begin(), g8.end(), 0)) + " Max:4>\n";
    const std::string grown =
        "Memory corrupt (8) <Addr:0x" + Hex(four) + " Before:0 After:4 Max:4>\n";
    const std::string from = " <From:0x" + Hex(a4) + " To:0x" + Hex(a4 + 4) + ">\n";
    const unsigned char zeros[4] = {};
    ExpectFatal({
        {"size 0", [] { MemAlloc(0, 1, SRC, 21); }, Abort("Invalid Memory Size (0)\n", SRC, 21)},
        {"size -5", [] { MemAlloc(-5, 1, SRC, 22); }, Abort("Invalid Memory Size (-5)\n", SRC, 22)},
        {"free size 0", [=] { MemFree(four, 0, 1, SRC, 23); },
         Abort("Invalid Memory Size (0)\n", SRC, 23)},
        {"free null", [] { MemFree(nullptr, 4, 1, SRC, 24); },
         Abort("No Memory address to free (4 / 12)\n", SRC, 24)},
        {"foreign", [] { MemFree(foreign + 4, 4, 1, SRC, 25); },
         Abort("Invalid memory address (4) <From:0x" + Hex(foreign) + " To:0x" + Hex(foreign + 4) +
                   ">\n",
               SRC, 25)},
        {"twice",
         [=] {
             MemFree(four, 4, 1, SRC, 26);
             MemFree(four, 4, 1, SRC, 27);
         },
         Abort("Invalid memory address (4)" + from, SRC, 27)},
        {"overrun",
         [=] {
             four[4] = overrun[0];
             MemFree(four, 4, 1, SRC, 28);
         },
         corrupt + ByteLine("Expected:", g4.data(), 4) + ByteLine("After corruption:", overrun, 4) +
             Abort(corrupt, SRC, 28)},
        {"underrun",
         [=] {
             four[-1] = underrun[3];
             MemFree(four, 4, 1, SRC, 29);
         },
         ByteLine("Prior corruption:", underrun, 8) +
             Abort("Memory corrupt (4) <Addr:0x" + Hex(four) + " Before:1 After:0 Max:4>\n", SRC,
                   29)},
        {"smaller size", [=] { MemFree(eight, 4, 1, SRC, 30); },
         shrunk + ByteLine("Expected:", g8.data(), 4) + ByteLine("After corruption:", zeros, 4) +
             Abort(shrunk, SRC, 30)},
        {"larger size", [=] { MemFree(four, 8, 1, SRC, 31); },
         grown + ByteLine("Expected:", g4.data(), 4) + "After corruption:\n" +
             Abort(grown, SRC, 31)},
        {"check without tracking",
         [] {
             LogState.flags |= LOG_MEM_CHECK;
             MemAlloc(4, 1, SRC, 32);
         },
         Abort("Memory tracking must be enabled\n", SRC, 32)},
        {"before MemInit",
         [] {
             MemInit(0);
             MemAlloc(1, 1, SRC, 33);
         },
         Abort("Memory exceeds limit ((0 + 12) / 0)\n", SRC, 33)},
    });
    MemFree(eight, 8, 1, SRC, 2);
    MemFree(four, 4, 1, SRC, 2);
}

TEST_F(MemDeathTest, LimitIsGrantedToTheByteAndRefusedPastIt) {
    MemInit(4096);
    std::vector<void*> blocks;
    for (int i = 0; i < 4; ++i)
        blocks.push_back(MemAlloc(1016, 1, SRC, 1));
    EXPECT_EQ(MemState.bytesInUse, 4096);
    EXPECT_EXIT(MemAlloc(1, 1, SRC, 41), ::testing::ExitedWithCode(1),
                Literal(Abort("Memory exceeds limit ((4096 + 12) / 4096)\n", SRC, 41)));
    for (void* block : blocks)
        MemFree(block, 1016, 1, SRC, 2);
}

TEST_F(MemDeathTest, TrackingFaultsNameTheRecordOrTheCaller) {
    alignas(16) static unsigned char foreign[64];
    ASSERT_EQ(MemSetTracking(1), 1);
    void* older = MemAlloc(4, 1, SRC, 1);
    auto* newer = static_cast<unsigned char*>(MemAlloc(5, 1, SRC, 2));
    MemTracker* r1 = RecordOf(older, 4);
    MemTracker* r2 = RecordOf(newer, 5);
    const auto a1 = reinterpret_cast<std::uintptr_t>(BlockOf(older));
    const auto a2 = BlockOf(newer);
    const auto g2 = MemGuard(a2);
    // The trailing guard with its first byte damaged, then the record's line.
    unsigned char after2[8] = {static_cast<unsigned char>(g2[0] ^ 0x81), g2[1], g2[2], g2[3]};
    const std::int32_t line2 = 2;
    std::memcpy(after2 + 4, &line2, 4);
    const std::string list =
        "Memory Tracking: 0x" + Hex(newer) + " alloc'd from [Line 2/mem_test] [5/0x00000001]\n" +
        "Memory Tracking: 0x" + Hex(older) + " alloc'd from [Line 1/mem_test] [4/0x00000001]\n";
    const std::string corrupt =
        "Memory corrupt (5) <Addr:0x" + Hex(newer) + " Before:0 After:1 Max:4>\n";
    const std::uintptr_t foreignRecord =
        MemTrackerAddress(reinterpret_cast<std::uintptr_t>(foreign), 12);
    // A record that a wrong size would place must lie in the range for the
    // size to be compared at all; where the heap put the newer block decides
    // whether it does, so the range is widened to it (it only ever grows).
    if (!CoreAddressInRange(MemTrackerAddress(a1, 16))) CoreAddressHigh = MemTrackerAddress(a1, 16);
    ExpectFatal({
        {"wrong rounded size", [=] { MemFree(older, 8, 1, SRC, 51); },
         list + Abort("Memory tracking mismatch (8 / 4) [0x" + Hex(a1) + " / 0x" + Hex(a1) + "]\n",
                      SRC, 51)},
        {"same rounded size", [=] { MemFree(newer, 8, 1, SRC, 52); },
         Abort("Memory tracking mismatch (8 / 5) [0x" + Hex(a2) + " / 0x" + Hex(a2) + "]\n", SRC,
               52)},
        {"foreign", [] { MemFree(foreign + 4, 4, 1, SRC, 53); },
         list + Abort("Tracker invalid address <0x" + Hex(foreignRecord) + ">\n", "Unsafe", 0)},
        {"twice",
         [=] {
             MemFree(older, 4, 1, SRC, 54);
             MemFree(older, 4, 1, SRC, 55);
         },
         Abort("Invalid memory address (4) <From:0x" + Hex(a1) + " To:0x" + Hex(a1 + 4) + ">\n",
               SRC, 55)},
        {"next out of range",
         [=] {
             r2->next = reinterpret_cast<MemTracker*>(0x10);
             MemFree(newer, 5, 1, SRC, 56);
         },
         Abort("Tracker next invalid address <0x" + Hex(r2) + "->0x00000010>\n", "Unsafe", 0)},
        {"broken link",
         [=] {
             r1->prev = nullptr;
             MemFree(newer, 5, 1, SRC, 57);
         },
         Abort("Tracker next invalid link <0x" + Hex(r2) + "->0x" + Hex(r1) + "->0x00000000>\n",
               SRC, 57)},
        {"full check finds a damaged guard",
         [=] {
             newer[8] = after2[0];
             LogState.flags |= LOG_MEM_CHECK;
             MemAlloc(4, 1, SRC, 58);
         },
         corrupt + ByteLine("Expected:", g2.data(), 4) + ByteLine("After corruption:", after2, 8) +
             list + "\n\nABORT: Failure in internal memory check (1 blocks failed)\n"},
        {"full check counts the records",
         [] {
             MemState.blockCount = 3;
             LogState.flags |= LOG_MEM_CHECK;
             MemAlloc(4, 1, SRC, 59);
         },
         "ABORT: Check mismatch of allocation count (3 != 2)\n"},
    });
    MemFree(newer, 5, 1, SRC, 3);
    MemFree(older, 4, 1, SRC, 4);
}

}  // namespace
