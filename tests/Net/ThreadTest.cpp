// Cooperative threads, the load thread and fibers, on the engine's work area and log.
#include "EngineFixture.h"
#include "VornMicroThread.h"
#include "VornThread.h"

namespace {

std::vector<int> g_order;   // what the bodies recorded, in turn

class ThreadTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        vorntest::StartServices();
        used_ = VornMemory::GetUsedSize();
        ASSERT_TRUE(VornThread::Initialize());
        ASSERT_TRUE(VornMicroThread::Initialize());
        Vorn::SetFrameRate(60);
        g_order.clear();
    }
    void TearDown() override
    {
        for (auto end : {&VornThread::EndAllThreads, &VornThread::Finalize, &VornMicroThread::Finalize}) end();
        EXPECT_EQ(used_, VornMemory::GetUsedSize());
        EXPECT_TRUE(VornMemory::CheckOverAccess());
    }

    vorntest::LogCapture log_;
    uint32_t used_ = 0;
};

// A ring body: records its slot each turn, until asked to end.
uint32_t RingBody(uint32_t slot)
{
    for (;;) {
        g_order.push_back(static_cast<int>(slot));
        VornThread::Switch(static_cast<int32_t>(slot));
    }
}
std::vector<uint32_t> g_callbacks;

TEST_F(ThreadTest, RingPassesTheBatonInSlotOrderAndExitEndsAtTheNextSwitch)
{
    g_callbacks.clear();
    VornThread::StartMainThread();
    const auto onTerminate = [](uint32_t code) { return g_callbacks.push_back(code), 0u; };
    for (uint32_t slot : {0u, 3u, 7u}) ASSERT_TRUE(VornThread::Create(slot, RingBody, onTerminate, slot, 0)) << slot;
    for (uint32_t slot : {3u, 32u}) EXPECT_FALSE(VornThread::Create(slot, RingBody, nullptr, slot, 0)) << slot;   // live, out of range
    g_order.push_back(-1);
    VornThread::Switch(-1);
    g_order.push_back(-1);
    EXPECT_EQ((std::vector<int>{-1, 0, 3, 7, -1}), g_order);

    VornThread::Exit(3);
    g_order.clear();
    VornThread::Switch(-1);   // 0 runs, 3 ends at its Switch and hands the baton to 7
    EXPECT_NAMED({"slots that ran", g_order, std::vector<int>{0, 7}}, {"terminate callbacks' codes", g_callbacks, std::vector<uint32_t>{0}});
    EXPECT_TRUE(vorntest::HasAll(log_.Text(), {"　[00] -> [03]", "　[03] -> [07]", "　[07] -> [32]", "　[32] -> [00]", "　[00] -> [07]",
                                         "VornThread::Exit</FONT></B> : [03] : <B><FONT color=\"GREEN\">Success"}));
}

// Spins 5 ms a turn, noting when it held the baton.
uint64_t g_heldFrom, g_heldTo;
uint32_t Spins5ms(uint32_t)
{
    for (;;) {
        const uint64_t start = g_heldFrom = Vorn::GetSystemTimer();
        while (Vorn::GetSystemTimer() - start < Vorn::GetSystemTimerFrequency() / 200) {}
        g_heldTo = Vorn::GetSystemTimer();
        VornThread::Switch(4);
    }
}

TEST_F(ThreadTest, LoadIsTheShareOfAFrame)
{
    VornThread::StartMainThread();
    ASSERT_TRUE(VornThread::Create(4, Spins5ms, nullptr, 4, 0));
    // The first turn's load, reported from the second: at least the time the body held the baton
    // and at most the main thread's wait for it, as a share of a 60 Hz frame, however loaded the
    // machine (a preempted spin only makes both longer).
    const uint64_t before = Vorn::GetSystemTimer();
    VornThread::Switch(-1);
    const uint64_t after = Vorn::GetSystemTimer();
    const uint64_t heldFrom = g_heldFrom, heldTo = g_heldTo;
    VornThread::Switch(-1);
    const auto percent = [](uint64_t ticks) { return 6000.0 * double(ticks) / double(Vorn::GetSystemTimerFrequency()); };
    EXPECT_GE(VornThread::GetLoad(4), percent(heldTo - heldFrom) - 0.01);   // 30 or more: 5 ms of 16.7
    EXPECT_LE(VornThread::GetLoad(4), percent(after - before) + 0.01);
}

volatile LONG g_stuck;
// Takes turns until told to get stuck: then it keeps the baton for ever.
uint32_t GetsStuck(uint32_t slot)
{
    for (;;) {
        while (g_stuck) Sleep(10);
        VornThread::Switch(static_cast<int32_t>(slot));
    }
}

TEST_F(ThreadTest, ABodyThatReturnsEndsItsSlotAndAStuckThreadIsTerminatedInBound)
{
    g_stuck = 0;
    const auto returning = [](uint32_t value) { return g_order.push_back(static_cast<int>(value)), value; };
    VornThread::StartMainThread();
    ASSERT_TRUE(VornThread::Create(1, returning, nullptr, 11, 0));
    ASSERT_TRUE(VornThread::Create(2, RingBody, nullptr, 2, 0));
    VornThread::Switch(-1);   // 1 returns: its slot ends and the baton goes on to 2
    // Slot 1 is free again.
    ASSERT_TRUE(VornThread::Create(1, returning, nullptr, 12, 0));
    ASSERT_TRUE(VornThread::Create(3, GetsStuck, nullptr, 3, 0));
    VornThread::Switch(-1);
    EXPECT_EQ((std::vector<int>{11, 2, 12, 2}), g_order);
    InterlockedExchange(&g_stuck, 1);
    // Ending slot 2 hands the baton to 3, which keeps it: 3 is terminated after a bounded wait.
    const DWORD start = GetTickCount();
    VornThread::EndAllThreads();
    EXPECT_LT(GetTickCount() - start, 5000u);
    const std::string log = log_.Text();
    EXPECT_EQ(std::string::npos, log.find(" < スレッド終了エラー [02]> "));
    EXPECT_TRUE(vorntest::HasAll(log, {" < スレッド終了エラー [03]> ", "VornThread::全スレッドの終了"}));
}

TEST_F(ThreadTest, EndAllThreadsWithoutTheMainSlotEndsThreadsThatNeverRan)
{
    ASSERT_TRUE(VornThread::Create(5, RingBody, nullptr, 5, 0));
    VornThread::EndAllThreads();
    EXPECT_TRUE(g_order.empty());
    EXPECT_EQ(std::string::npos, log_.Text().find("スレッド終了エラー"));   // woken and ended, not terminated
    EXPECT_TRUE(VornThread::Create(5, RingBody, nullptr, 5, 0));       // its slot is free again
}

volatile LONG g_loadGate;
// Waits for the gate, then allocates in the work area the main thread allocates in too.
bool SlowLoad(uint32_t value)
{
    while (!g_loadGate) Sleep(5);
    for (uint32_t i = 0; i < 20000; ++i) VORN_FREE(VORN_ALLOC_QUIET(64 + i % 512));
    return value == 7;
}

TEST_F(ThreadTest, TheLoadThreadSharesTheWorkAreaAndTheQuitWaitsForIt)
{
    g_loadGate = 0;
    ASSERT_TRUE(VornThread::StartLoadThread(SlowLoad, 7, 0));
    EXPECT_TRUE(VornThread::StartLoadThread(SlowLoad, 8, 0));   // already running: nothing new
    EXPECT_NAMED({"result", VornThread::GetLoadThreadResult(), false}, {"ended", VornThread::IsLoadThreadEnd(), false});
    InterlockedExchange(&g_loadGate, 1);
    for (uint32_t i = 0; !VornThread::IsLoadThreadEnd(); ++i) VORN_FREE(VORN_ALLOC_QUIET(32 + i % 700));
    EXPECT_TRUE(VornThread::GetLoadThreadResult());   // the first call's argument, 7 (TearDown checks the work area)
    char address[32];
    snprintf(address, sizeof address, "[0x%08llX]", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(&SlowLoad)));
    EXPECT_TRUE(vorntest::HasAll(log_.Text(), {std::string("Start Load Thread ") + address, std::string("Exit Load Thread ") + address}));

    ASSERT_TRUE(VornThread::StartLoadThread([](uint32_t) { return Sleep(300), true; }, 0, 0));
    const DWORD start = GetTickCount();
    PostQuitMessage(0);
    EXPECT_FALSE(Vorn::Run(false));
    EXPECT_GE(GetTickCount() - start, 250u);
    EXPECT_TRUE(VornThread::IsLoadThreadEnd());
}

// Fibers: each records its slot per turn; slot 2 suspends itself once; fiber 1 posts the quit.
int g_frames;
template <uint32_t S> void __stdcall Fiber(void*)
{
    do {
        g_order.push_back(static_cast<int>(S));
        if (S == 2 && g_order.size() < 4) VornMicroThread::Suspend(2);
        if (S == 0 && ++g_frames == 3) {
            VornMicroThread::Resume(2);   // 2 runs after 0's switch, not at once
            g_order.push_back(50);
        }
        if (S == 0 && g_frames == 5) PostQuitMessage(0);
    } while (VornMicroThread::Switch(S));
    g_order.push_back(100 + static_cast<int>(S));
}

TEST_F(ThreadTest, FibersRunRoundRobinSkipSuspendedSlotsAndAllEndAtQuit)
{
    const uint32_t option = Vorn::GetUseOption();
    Vorn::SetUseOption(OPTION_DIRECT3D);   // the pump returns once per frame
    g_frames = 0;
    ASSERT_TRUE(VornMicroThread::Create(0, Fiber<0>, 0x10000));
    ASSERT_TRUE(VornMicroThread::Create(2, Fiber<2>, 0x10000));
    for (uint32_t slot : {2u, 33u}) EXPECT_FALSE(VornMicroThread::Create(slot, Fiber<2>, 0x10000)) << slot;   // live, out of range
    EXPECT_TRUE(VornMicroThread::RunMainThread());
    Vorn::SetUseOption(option);
    // Frame 1: 0, 2 (suspends itself); frame 2: 0 only; frame 3: 0 resumes 2, which runs after 0's
    // switch; at 0's fifth frame the quit ends both.
    EXPECT_EQ((std::vector<int>{0, 2, 0, 0, 50, 0, 2, 0, 2, 100, 102}), g_order);
    EXPECT_TRUE(vorntest::HasAll(log_.Text(), {"VornMicroThread::スレッド [0] を生成", "VornMicroThread::メインスレッドの起動", "VornMicroThread::全スレッドの終了を確認",
                                         "VornMicroThread::スレッド [2] を停止"}));
}

}  // namespace
