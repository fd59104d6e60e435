// pool_test.cpp: typed pools: block layout, reuse order, growth, member size
// changes, the destroy report, the switches and the fatal give-backs.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/test_support.h"
#include "zizezaz/core/init.h"
#include "zizezaz/core/log.h"
#include "zizezaz/core/log_internal.h"
#include "zizezaz/mem/mem.h"
#include "zizezaz/mem/mem_internal.h"
#include "zizezaz/mem/pool.h"
#include "zizezaz/mem/pool_internal.h"

namespace {

constexpr char SRC[] = "pool_test";
constexpr std::uint32_t APP_FLAGS = LOG_CONSOLE | LOG_NO_ABORT_BOX;
constexpr std::int32_t HEADER = sizeof(PoolBlock);
constexpr std::int32_t SLOT = sizeof(PoolSlot);

// A fatal report from the pool's own location, whose line is not pinned.
std::string PoolAbort(const std::string& message) {
    return Literal("\n\nABORT: " + message + "       (pool/") + "[0-9]+\\)\n";
}

// A pool of 200-byte members, 100 to a block, as the template engine sets
// one up; the console copy of the log goes to a file of the test's own.
class PoolTest : public ConsoleFileTest {
protected:
    void SetUp() override {
        StartCore("pool_test", APP_FLAGS);
        LogState.flags = APP_FLAGS;
        MemInit(0x7FFFFFFF);
        ASSERT_NO_FATAL_FAILURE(ConsoleFileTest::SetUp());
        PoolCreate(&pool_, "creator.cpp", 42);
        PoolSetMemberSize(pool_, 200);
        PoolSetBlockCount(pool_, 100);
    }
    void TearDown() override {
        if (pool_) PoolDestroy(&pool_);
        EXPECT_EQ(MemState.blockCount, 0);
        ConsoleFileTest::TearDown();
    }
    void* Take(std::int32_t size = 200) { return PoolAlloc(pool_, size, SRC, 1); }
    void Give(void* member, std::int32_t size = 200) { PoolFree(pool_, &member, size, SRC, 2); }

    Pool* pool_ = nullptr;
};

class PoolDeathTest : public PoolTest {
protected:
    void SetUp() override {
        PoolTest::SetUp();
        LogState.consoleHandle = 2;
    }
};

TEST_F(PoolTest, BlocksHoldHeaderSlotsAndMembersAndGrowAtThe101stMember) {
    constexpr std::int32_t blockSize = HEADER + 100 * (SLOT + 200);
    EXPECT_EQ(pool_->blocks, nullptr);  // the first block comes with the first member
    std::vector<void*> members;
    for (int i = 0; i < 100; ++i)
        members.push_back(Take());
    PoolBlock* first = pool_->blocks;
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->base, reinterpret_cast<unsigned char*>(first));
    EXPECT_EQ(first->size, blockSize);
    EXPECT_EQ(pool_->totalBytes, blockSize);
    EXPECT_EQ(MemState.blockCount, 2);  // the pool record and one block
    for (int i = 0; i < 100; ++i) {
        ASSERT_EQ(members[i], first->base + HEADER + 100 * SLOT + i * 200) << i;
        ASSERT_EQ(reinterpret_cast<std::uintptr_t>(members[i]) % 8, 0u);
    }
    members.push_back(Take());
    EXPECT_EQ(pool_->totalBytes, 2 * blockSize);
    EXPECT_EQ(pool_->blocks->next, first);
    EXPECT_EQ(members.back(), pool_->blocks->base + HEADER + 100 * SLOT);
    EXPECT_EQ(pool_->inUse, 101);
    for (void* member : members)
        Give(member);
    EXPECT_EQ(pool_->inUse, 0);
    EXPECT_EQ(pool_->peakInUse, 101);
    EXPECT_EQ(MemState.blockCount, 3);  // blocks stay until reset or destroy

    // A block count never set still gives blocks with room for a member.
    PoolReset(pool_);
    PoolSetBlockCount(pool_, 0);
    void* alone = Take();
    EXPECT_EQ(pool_->blocks->count, 1);
    Give(alone);
}

TEST_F(PoolTest, LastGivenBackIsFirstTakenAndNullGivesBackNothing) {
    void* a = Take();
    void* b = Take();
    void* kept = a;
    PoolFree(pool_, &a, 200, SRC, 3);
    EXPECT_EQ(a, nullptr);  // the caller's pointer is cleared
    EXPECT_EQ(Take(), kept);
    Give(b);
    Give(kept);
    EXPECT_EQ(Take(), kept);
    EXPECT_EQ(Take(), b);
    void* none = nullptr;
    PoolFree(pool_, &none, 200, SRC, 4);
    EXPECT_EQ(pool_->inUse, 2);
}

TEST_F(PoolTest, MemberSizeWithTheSameStrideKeepsTheBlocks) {
    const struct {
        std::int32_t size;
        bool kept;
    } rows[] = {{185, true}, {192, true}, {184, false}, {193, false}};
    for (const auto& row : rows) {
        PoolSetMemberSize(pool_, 192);
        Take(192);
        ASSERT_NE(pool_->blocks, nullptr);
        PoolSetMemberSize(pool_, row.size);
        EXPECT_EQ(pool_->memberSize, row.size);
        EXPECT_EQ(pool_->blocks != nullptr, row.kept) << row.size;
        EXPECT_EQ(pool_->totalBytes != 0, row.kept) << row.size;
        EXPECT_EQ(MemState.blockCount, row.kept ? 2 : 1) << row.size;
        PoolReset(pool_);
    }
}

TEST_F(PoolTest, DestroyReportsMembersStillOutAndReleasesAll) {
    Take();
    Take();
    void* given = Take();
    Take();
    Give(given);
    PoolDestroy(&pool_);
    EXPECT_EQ(pool_, nullptr);
    EXPECT_EQ(Console(), "Not all pool memory was freed (3) for (creator.cpp/42)\n");
    EXPECT_EQ(MemState.blockCount, 0);
}

TEST_F(PoolTest, SwitchesTraceZeroFillPassThroughAndVariableSize) {
    pool_->trace = 1;
    pool_->zeroFill = 1;
    auto* member = static_cast<unsigned char*>(Take());
    std::memset(member, 0xA5, 200);
    Give(member);
    EXPECT_EQ(Take(), member);
    for (int i = 0; i < 200; ++i)
        ASSERT_EQ(member[i], 0) << i;
    EXPECT_EQ(Console(), "-- Pool Alloc 0x" + Hex(member) + " :        200 [pool_test / 1]\n" +
                             "-- Pool Free  0x" + Hex(member) + " :        200 [pool_test / 2]\n" +
                             "-- Pool Alloc 0x" + Hex(member) + " :        200 [pool_test / 1]\n");
    Give(member);
    pool_->trace = 0;
    PoolReset(pool_);

    pool_->passThrough = 1;
    void* own = Take(33);  // any size: a tracked block of its own
    EXPECT_EQ(pool_->blocks, nullptr);
    EXPECT_EQ(MemState.blockCount, 2);
    Give(own, 33);
    EXPECT_EQ(MemState.blockCount, 1);
    pool_->passThrough = 0;

    pool_->variableSize = 1;
    auto* first = static_cast<unsigned char*>(Take(10));
    auto* second = static_cast<unsigned char*>(Take(3));
    EXPECT_EQ(first, pool_->blocks->base + HEADER);
    EXPECT_EQ(second, first + 16);  // the need, 14, kept to the members' alignment
    auto* big = static_cast<unsigned char*>(Take(30000));  // more than a block's members
    EXPECT_EQ(pool_->blocks->size, HEADER + 100 * SLOT + 30008);
    EXPECT_EQ(big, pool_->blocks->base + HEADER);
    EXPECT_EQ(pool_->inUse, 3);
    Give(first, 10);
    EXPECT_EQ(pool_->inUse, 2);
    pool_->variableSize = 0;
    PoolReset(pool_);
}

TEST_F(PoolDeathTest, FaultsAreReportedAndEndWithStatusOne) {
    void* member = Take();
    const PoolBlock* block = pool_->blocks;
    const std::int64_t index =
        (static_cast<unsigned char*>(member) - (block->base + HEADER + 100 * SLOT)) / 200;
    const void* slot = block->base + HEADER + index * SLOT;
    static int foreign;
    static const char otherPool[] = "pool";  // same text, another address
    static Pool fake;
    fake.tag = otherPool;
    auto* forged = static_cast<PoolBlock*>(MemAlloc(64, 1, SRC, 5));
    *forged = PoolBlock{reinterpret_cast<unsigned char*>(forged), nullptr, 64, 10, nullptr};
    constexpr std::int32_t LAID_OUT = HEADER + 10 * (SLOT + 200);  // what 10 members need
    const std::string end = Hex(forged->base + LAID_OUT);
    const struct {
        const char* what;
        std::function<void()> run;
        std::string expected;
    } rows[] = {
        {"twice",
         [&] {
             void* copy = member;
             Give(member);
             Give(copy);
         },
         PoolAbort("Unable to find member to free [0x" + Hex(member) + "] [0x" + Hex(slot) +
                   "]\n")},
        {"foreign", [&] { Give(&foreign); },
         PoolAbort("Unable to find member to free [0x" + Hex(&foreign) + "] [0x00000000]\n")},
        {"take wrong size", [&] { PoolAlloc(pool_, 100, "caller", 7); },
         PoolAbort("Invalid pool member size (100 != 200) from (caller/7)\n")},
        {"give wrong size, null member",
         [&] {
             void* none = nullptr;
             PoolFree(pool_, &none, 100, "caller", 8);
         },
         PoolAbort("Invalid pool member size (100 != 200) from (caller/8)\n")},
        {"tag by address", [] { PoolAlloc(&fake, 200, SRC, 9); },
         PoolAbort("Struct mismatch pointer (0x" + Hex(&fake) + ":pool != pool)\n")},
        {"null pool", [] { PoolAlloc(nullptr, 200, SRC, 10); }, PoolAbort("Pointer is NULL\n")},
        {"null file", [&] { PoolAlloc(pool_, 200, nullptr, 11); }, PoolAbort("Pointer is NULL\n")},
        {"null member pointer", [&] { PoolFree(pool_, nullptr, 200, SRC, 12); },
         PoolAbort("Pointer is NULL\n")},
        {"block too small for its layout", [&] { PoolCarveBlock(pool_, forged); },
         PoolAbort("Pool corrupted (" + std::to_string(LAID_OUT) + " != 64) [0x" + end + " 0x" +
                   Hex(forged) + "]\n")},
    };
    for (const auto& row : rows) {
        EXPECT_EXIT(row.run(), ::testing::ExitedWithCode(1), row.expected) << row.what;
    }
    MemFree(forged, 64, 1, SRC, 6);
    Give(member);
}

}  // namespace
