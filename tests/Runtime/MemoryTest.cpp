// The work area: granularity, best fit, slack, split and merge, fills, guard, leaks, bad frees.
#include "RuntimeTestSupport.h"
#include "VornLog.h"
#include "VornMemory.h"
#include <cstring>
#include <random>
#include <thread>
#include <vector>

namespace {

uint8_t* A(uint32_t size, const char* file = "C:\\src\\MemoryTest.cpp", int line = 7)
{
    return static_cast<uint8_t*>(VornMemory::AllocQuiet(size, 0xFFFF, file, line));
}

using MemoryTest = RuntimeTest;

} // namespace

TEST_F(MemoryTest, BlocksTakeWholeGranulesBehindA256ByteHeaderAndNeighboursMerge)
{
    uint8_t* one = A(1);
    // 1 + 4 guard bytes round up to one granule.
    EXPECT_NAMED({"address % 256", reinterpret_cast<uintptr_t>(one) % 256, 0}, {"used", VornMemory::GetUsedSize(), 256});
    uint8_t* fits = A(252);
    EXPECT_NAMED({"distance", fits - one, 512}, {"used", VornMemory::GetUsedSize(), 512});   // data, then the next header
    uint8_t* two = A(253);
    EXPECT_NAMED({"distance", two - fits, 512}, {"used", VornMemory::GetUsedSize(), 1024});
    // Three blocks in use and the free rest.
    EXPECT_NAMED({"total", VornMemory::GetTotalSize(), 32u << 20}, {"free", VornMemory::GetFreeSize(), (32u << 20) - 1024u},
                 {"blocks", VornMemory::GetBlockCount(), 4}, {"last request", VornMemory::GetLastAllocSize(), 253},
                 {"block size", VornMemory::GetBlockSize(two), 253});
    for (uint8_t* p : {one, fits}) VornMemory::FreeQuiet(p);
    // The two freed neighbours are one block: it holds 256 + 256 + 256 bytes: exactly one request of 764 (+4 → 768).
    EXPECT_EQ(A(764), one);
    EXPECT_EQ(VornMemory::GetBlockCount(), 3u);
    for (uint8_t* p : {one, two}) VornMemory::FreeQuiet(p);
    EXPECT_NAMED({"used", VornMemory::GetUsedSize(), 0}, {"blocks", VornMemory::GetBlockCount(), 1}, {"peak", VornMemory::GetPeakSize(), 1280});
}

TEST_F(MemoryTest, BestFitTakesTheSmallestHoleTheLowestOfEqualOnesAndTheSmallestInALargeClass)
{
    uint8_t* hole[3];   // big 1024, then mid and mid2 of 512, each with a block of 1 after it
    for (int i = 0; i < 3; ++i) hole[i] = A(i ? 500 : 1000), A(1);
    for (int i : {0, 2, 1}) VornMemory::FreeQuiet(hole[i]);   // mid2 before mid: taking the first freed is wrong
    // Holes: 1024 at big, 512 at mid, 512 at mid2, and the large rest.
    // The smallest fitting hole, the lowest address among equals; 704 → 768 fits only the 1024 hole,
    // the rest (256) splits off.
    uint8_t* const got[] = {A(400), A(400), A(700)};
    EXPECT_EQ((std::vector<uint8_t*>{hole[1], hole[2], hole[0]}), std::vector<uint8_t*>(got, got + 3));
    // Blocks in use as runs of the area: the split-off rest is a free header between them.
    VornMemoryRun runs[4];
    ASSERT_EQ(VornMemory::GetMemoryMap(runs, 4), 2u);
    EXPECT_NAMED({"run 0 start", runs[0].start, 0}, {"run 0 length", runs[0].length, 1024}, {"run 1 start", runs[1].start, 1280}, {"run 1 length", runs[1].length, 3072});
    // Above 128 KiB one class holds capacities 16 KiB apart: 132 and 140 KiB share one.
    uint8_t* const small = A(132 << 10), *const separator = A(1), *const big = A(140 << 10);
    ASSERT_NE(nullptr, separator);
    ASSERT_NE(nullptr, A(1));
    for (uint8_t* p : {small, big}) VornMemory::FreeQuiet(p);   // the bigger hole now heads the class's list
    EXPECT_EQ(small, A(130 << 10));
}

TEST_F(MemoryTest, ARestSmallerThanAGranuleStaysInTheBlockAsSlack)
{
    VornMemory::Finalize();
    ASSERT_TRUE(VornMemory::SetWorkArea(4096 + 100, true));   // one free block of 4196 - 256 = 3940
    uint8_t* p = A(3600);                                    // needs 3840, leaves 100
    EXPECT_NAMED({"blocks", VornMemory::GetBlockCount(), 1}, {"used (the slack counts)", VornMemory::GetUsedSize(), 3940});
    EXPECT_EQ(A(1), nullptr);
    VornMemory::FreeQuiet(p);
    // 3840: the slack came back with the block.
    EXPECT_EQ(VornMemory::GetUsedSize(), 0u);
    EXPECT_EQ(A(3836), p);
}

// The fill of fresh data is the realloc case's check (its new bytes); zeroed data the list tests' (the
// lists start from zeroed memory).
TEST_F(MemoryTest, DebugFillsFreedData)
{
    uint8_t* p = A(300);
    VornMemory::FreeQuiet(p);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(p), 300), std::string(300, '\xCD'));   // still inside the area
}

TEST_F(MemoryTest, OverAccessIsFoundWithItsFileAndLine)
{
    A(10);
    uint8_t* p = A(100, "C:\\game\\Source\\Hero.cpp", 41);
    EXPECT_TRUE(VornMemory::CheckOverAccess());
    p[100] = static_cast<uint8_t>(~p[100]);   // one byte past the request (the guard is random)
    EXPECT_FALSE(VornMemory::CheckOverAccess());
    EXPECT_TRUE(vorntest::HasAll(CloseLog(), {vorntest::Red("Memory OverAccess") + " : ADDRESS [ 0x",
                                              " : SIZE [ 0.098KB ] : FILE [ Hero.cpp ] : LINE [ 41 ] : GUID [ 0x"}));
}

TEST_F(MemoryTest, FinalizeReportsEveryLeakAndTheHeaderCount)
{
    ASSERT_NE(A(100, "D:\\work\\Leaky.cpp", 133), nullptr);
    VornMemory::FreeQuiet(A(10));
    VornMemory::Finalize();
    const std::string log = CloseLog();
    EXPECT_TRUE(vorntest::HasAll(log, {"瞬間最大使用メモリ容量 [ 512Byte (0.000MB) ]", "HEADER COUNT [2]",
                                      " : SIZE [ 0.098KB ] : FILE [ Leaky.cpp ] : LINE [ 133 ]<BR>"}));
    EXPECT_NAMED({"leak lines", vorntest::CountIn(log, "<B><FONT color=\"RED\">MemoryLeak</FONT></B>"), 1}, {"ready", VornMemory::IsReady(), false});
}

TEST_F(MemoryTest, BadFreesAreIgnoredWithALogLineAndTheAreaStaysWhole)
{
    uint8_t *a = A(100), *b = A(100);
    int onStack = 0;
    VornMemory::FreeQuiet(a);
    const uint32_t used = VornMemory::GetUsedSize(), blocks = VornMemory::GetBlockCount();
    VornMemory::Free(a);            // double free
    VornMemory::FreeQuiet(b + 16);  // inside a block
    VornMemory::Free(&onStack);     // not in the area
    VornMemory::Free(nullptr);      // silently ignored
    EXPECT_NAMED({"used", VornMemory::GetUsedSize(), used}, {"blocks", VornMemory::GetBlockCount(), blocks}, {"guards whole", VornMemory::CheckOverAccess(), true});
    EXPECT_EQ(A(100), a);
    EXPECT_EQ(vorntest::CountIn(CloseLog(), "ワークエリアの使用中ブロックではないため無視しました"), 3);
}

TEST_F(MemoryTest, ReallocCopiesKeepsTheOldBlockOnFailureAndActsAsAllocForNull)
{
    auto realloc = [](void* p, uint32_t n) { return static_cast<uint8_t*>(VornMemory::ReallocQuiet(p, n, __FILE__, __LINE__)); };
    uint8_t* p = realloc(nullptr, 64);
    ASSERT_EQ(VornMemory::GetBlockSize(p), 64u);   // 0 for no block
    for (int i = 0; i < 64; ++i) p[i] = uint8_t('a' + i % 26);
    uint8_t* q = realloc(p, 16);
    EXPECT_EQ(VornMemory::GetBlockSize(p), 0u);
    ASSERT_NE(nullptr, q);
    uint8_t* r = realloc(q, 40);
    ASSERT_NE(nullptr, r);
    // Only the old size is copied.
    EXPECT_EQ(std::string(reinterpret_cast<char*>(r), 40), "abcdefghijklmnop" + std::string(24, '\xBC'));
    EXPECT_EQ(realloc(r, 64u << 20), nullptr);
    EXPECT_NAMED({"kept bytes", std::string(reinterpret_cast<char*>(r), 16), "abcdefghijklmnop"}, {"kept size", VornMemory::GetBlockSize(r), 40});
    VornMemory::FreeQuiet(r);
    EXPECT_TRUE(VornMemory::CheckOverAccess());
}

TEST_F(MemoryTest, SizeLimits)
{
    // Sizes near the top of the range fail instead of wrapping.
    for (uint32_t size : {0xFFFFFFFFu, 0xFFFFFFFCu, 0xFFFFFF00u}) EXPECT_EQ(A(size), nullptr) << size;
    EXPECT_NAMED({"used", VornMemory::GetUsedSize(), 0}, {"guards whole", VornMemory::CheckOverAccess(), true});
    // An area too small for one block is refused.
    VornMemory::Finalize();
    for (uint32_t size : {0u, 300u}) EXPECT_FALSE(VornMemory::SetWorkArea(size, true)) << size;
    EXPECT_EQ(nullptr, A(1));
    ASSERT_TRUE(VornMemory::SetWorkArea(768, true));
    EXPECT_NE(A(1), nullptr);
    // Areas of 256 MiB and more serve allocations.
    VornMemory::Finalize();
    ASSERT_TRUE(VornMemory::SetWorkArea(0x10000000u + 0x100000u, false));
    uint8_t *p = A(1), *big = A(0x0FF00000u);
    ASSERT_NE(nullptr, p);
    ASSERT_NE(nullptr, big);
    big[0x0FF00000u - 1] = 1;
    for (uint8_t* freed : {p, big}) VornMemory::FreeQuiet(freed);
    EXPECT_EQ(VornMemory::GetBlockCount(), 1u);
}

TEST_F(MemoryTest, FreeByTagFreesOnlyThatTag)
{
    void* blocks[3];
    for (int i = 0; i < 3; ++i) blocks[i] = VornMemory::AllocQuiet(10, i == 1 ? 8 : 7, __FILE__, __LINE__);
    VornMemory::FreeByTagQuiet(7);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(VornMemory::GetBlockSize(blocks[i]), i == 1 ? 10u : 0u) << i;
    EXPECT_EQ(VornMemory::GetUsedSize(), 256u);
}

TEST_F(MemoryTest, LogLinesOfAllocFreeAndTheBlockList)
{
    void* p = VornMemory::Alloc(1024, 0xFFFF, __FILE__, __LINE__);
    VornMemory::Free(p);
    EXPECT_EQ(VornMemory::Alloc(64u << 20, 0xFFFF, __FILE__, __LINE__), nullptr);
    uint8_t* a = A(2048, "C:\\src\\Stage.cpp", 12);
    VornMemory::FreeQuiet(A(1));
    VornMemory::PrintAllocList();
    VornMemory::Finalize();
    ASSERT_TRUE(VornMemory::SetWorkArea(32u << 20, false));
    VornMemory::PrintAllocList();   // release mode: nothing
    const std::string log = CloseLog();
    EXPECT_TRUE(vorntest::HasAll(log, {"<B><FONT color=\"BLUE\">VornMemory::Alloc</FONT></B> : [ 1.000KB ] : USE [ 1.254KB ] : FREE [ ",
                                      "<B><FONT color=\"GREEN\">Success</FONT></B><BR>", " : ALL [ 32768.000KB ] : ADDRESS [ 0x",
                                      "<B><FONT color=\"BLUE\">VornMemory::Free</FONT></B> : FREE [ 1.250KB ] : REST [ 32768.000KB ]<BR>",
                                      " : [ 65536.000KB ] : <B><FONT color=\"RED\">メモリ確保に失敗</FONT></B><BR>",
                                      "<FONT color=\"WHITE\">VornMemory::SetWorkArea</FONT>", " : MODE [ DEBUG ] : GUID [ 0x"}));
    const uint8_t* head = a - 256;
    char expected[512];
    std::snprintf(expected, sizeof expected,
                  "<B><FONT color=\"GREEN\">------------------------ [0x%08llX] Print Alloc Memory</FONT></B><BR>\r\n"
                  "ADDRESS [ 0x%08llX ] : SIZE [ 2.000KB ] : FILE [ Stage.cpp ] : LINE [ 12 ]<BR>\r\n"
                  "<B><FONT color=\"GREEN\">------------------------ [0x%08llX] Finish</FONT></B><BR>\r\n",
                  (unsigned long long)uintptr_t(head), (unsigned long long)uintptr_t(a),
                  (unsigned long long)(uintptr_t(head) + (32u << 20)));
    EXPECT_TRUE(Has(log, expected)) << log;
    EXPECT_EQ(vorntest::CountIn(log, "Print Alloc Memory"), 1);
}

TEST_F(MemoryTest, ThreadsAllocateAndFreeUnderTheLock)
{
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            std::vector<uint8_t*> live(16, nullptr);   // the last sixteen blocks stay
            for (int i = 0; i < 2000; ++i) {
                const uint32_t size = uint32_t(1 + (i * 37 + t * 101) % 3000);
                uint8_t*& p = live[i % 16];
                VornMemory::FreeQuiet(p);
                p = A(size);
                ASSERT_NE(p, nullptr);
                std::memset(p, t, size);
            }
            for (uint8_t* p : live) VornMemory::FreeQuiet(p);
        });
    for (auto& th : threads) th.join();
    EXPECT_TRUE(VornMemory::CheckOverAccess());
    EXPECT_NAMED({"used", VornMemory::GetUsedSize(), 0}, {"blocks", VornMemory::GetBlockCount(), 1});
}

TEST_F(MemoryTest, ARecordedWorkloadGetsTheSameAddresses)
{
    // 20,000 mixed requests and frees over 64 slots. Every address, as an offset from the first
    // block, goes into one hash recorded from the allocator that walked the whole list: a faster
    // search must choose the very same blocks.
    uint8_t* first = A(1);
    VornMemory::FreeQuiet(first);
    std::mt19937 rng(7);
    std::vector<uint8_t*> slots(64, nullptr);
    uint64_t hash = 14695981039346656037ull;
    for (int i = 0; i < 20000; ++i) {
        uint8_t*& slot = slots[rng() % 64];
        VornMemory::FreeQuiet(slot);
        const uint32_t size = rng() % 4 == 0 ? 4096 + rng() % 60000 : rng() % 2000;
        slot = rng() % 8 == 0 ? nullptr : A(size);
        hash = (hash ^ (slot ? uint64_t(slot - first) : ~0ull)) * 1099511628211ull;
    }
    for (uint8_t* p : slots) VornMemory::FreeQuiet(p);
    EXPECT_NAMED({"blocks", VornMemory::GetBlockCount(), 1}, {"address hash", hash, 0x459a7ec4432913aaull});
}
