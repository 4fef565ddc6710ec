// Switch costs: the cooperative ring (main thread and one ring thread), fibers, and a plain Win32
// two-thread semaphore ping-pong as the peer. Prints microseconds per switch and the ratios; then
// the private commit that fibers stopping themselves leave per cycle, against what one fiber left
// undeleted costs.
#include "Vorn.h"
#include "VornMemory.h"
#include "VornMicroThread.h"
#include "VornThread.h"
#include <windows.h>
#include <chrono>
#include <cstdio>

namespace {

constexpr int kSwitches = 20000;
double Now() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

uint32_t RingPartner(uint32_t)
{
    for (;;) VornThread::Switch(0);
}

double RingMicroseconds()
{
    VornThread::StartMainThread();
    VornThread::Create(0, RingPartner, nullptr, 0, 0);
    const double start = Now();
    for (int i = 0; i < kSwitches / 2; ++i) VornThread::Switch(-1);   // two switches a round
    const double us = (Now() - start) * 1e6 / kSwitches;
    VornThread::EndAllThreads();
    return us;
}

int g_fiberTurns;
template <uint32_t S> void __stdcall Partner(void*)
{
    while (VornMicroThread::Switch(S)) {
        if (S == 0 && ++g_fiberTurns == kSwitches / 3) PostQuitMessage(0);
    }
}

double FiberMicroseconds()
{
    // A round is main -> 0 -> 1 -> main: three switches, one of them through the message pump.
    Vorn::SetUseOption(OPTION_DIRECT3D);
    Vorn::SetFrameRate(0);
    VornMicroThread::Create(0, Partner<0>, 0x10000);
    VornMicroThread::Create(1, Partner<1>, 0x10000);
    const double start = Now();
    VornMicroThread::RunMainThread();
    return (Now() - start) * 1e6 / (3.0 * g_fiberTurns);
}

HANDLE g_ping, g_pong;
DWORD WINAPI Ponger(void*)
{
    for (int i = 0; i < kSwitches / 2; ++i) {
        WaitForSingleObject(g_ping, INFINITE);
        ReleaseSemaphore(g_pong, 1, nullptr);
    }
    return 0;
}

double PlainMicroseconds()
{
    g_ping = CreateSemaphoreA(nullptr, 0, 1, nullptr);
    g_pong = CreateSemaphoreA(nullptr, 0, 1, nullptr);
    HANDLE thread = CreateThread(nullptr, 0, Ponger, nullptr, 0, nullptr);
    const double start = Now();
    for (int i = 0; i < kSwitches / 2; ++i) {
        ReleaseSemaphore(g_ping, 1, nullptr);
        WaitForSingleObject(g_pong, INFINITE);
    }
    const double us = (Now() - start) * 1e6 / kSwitches;
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    CloseHandle(g_ping);
    CloseHandle(g_pong);
    return us;
}

// Committed private memory, summed over the address space (Wine reports no PrivateUsage).
SIZE_T Commit()
{
    SIZE_T total = 0;
    MEMORY_BASIC_INFORMATION m;
    for (const char* p = nullptr; VirtualQuery(p, &m, sizeof m) == sizeof m; p = static_cast<const char*>(m.BaseAddress) + m.RegionSize)
        if (m.State == MEM_COMMIT && m.Type == MEM_PRIVATE) total += m.RegionSize;
    return total;
}

constexpr int kCycles = 20000;
int g_cycles;
SIZE_T g_commitAt1000;
// Each fiber starts the next in the other slot and returns: its slot stops, and the fiber it
// switches to deletes it.
template <uint32_t S> void __stdcall Chain(void*)
{
    if (++g_cycles == 1000) g_commitAt1000 = Commit();
    if (g_cycles < kCycles) VornMicroThread::Create(1 - S, Chain<1 - S>, 0x10000);
    else PostQuitMessage(0);
}

// Commit growth in bytes per cycle over the cycles after the first thousand.
double StoppedFiberBytesPerCycle()
{
    VornMicroThread::Finalize();   // afresh after the switch run's quit
    VornMicroThread::Initialize();
    g_cycles = 0;
    VornMicroThread::Create(0, Chain<0>, 0x10000);
    VornMicroThread::RunMainThread();
    return g_cycles == kCycles ? (double(Commit()) - double(g_commitAt1000)) / (kCycles - 1000) : -1.0;
}

// The peer: the commit of a 64 KB fiber that ran once and is never deleted.
LPVOID g_home;
void __stdcall Touch(void*)
{
    for (;;) SwitchToFiber(g_home);
}

double LeakedFiberBytes()
{
    constexpr int kFibers = 200;
    const bool converted = !IsThreadAFiber();
    g_home = converted ? ConvertThreadToFiber(nullptr) : GetCurrentFiber();
    const SIZE_T before = Commit();
    LPVOID fibers[kFibers];
    for (LPVOID& f : fibers) SwitchToFiber(f = CreateFiber(0x10000, Touch, nullptr));
    const double each = (double(Commit()) - double(before)) / kFibers;
    for (LPVOID f : fibers) DeleteFiber(f);
    if (converted) ConvertFiberToThread();
    return each;
}

}  // namespace

int main()
{
    VornMemory::Initialize();
    VornMemory::SetWorkArea(0x1000000, false);
    VornThread::Initialize();
    VornMicroThread::Initialize();
    const double plain = PlainMicroseconds();
    const double ring = RingMicroseconds();
    const double fiber = FiberMicroseconds();
    const double stopped = StoppedFiberBytesPerCycle(), leaked = LeakedFiberBytes();
    printf("thread bench: plain Win32 semaphore ping-pong %.2f us a switch\n", plain);
    printf("thread bench: VornThread ring %.2f us a switch (%.2fx plain)\n", ring, ring / plain);
    printf("thread bench: VornMicroThread fibers %.2f us a switch, pump pass included once a round (%.2fx plain)\n", fiber,
           fiber / plain);
    printf("thread bench: fibers stopping themselves, %d cycles: %.1f bytes of commit a cycle (%.3fx one undeleted fiber's %.0f bytes)\n",
           kCycles, stopped, stopped / leaked, leaked);
    VornMicroThread::Finalize();
    VornThread::Finalize();
    VornMemory::Finalize();
    return 0;
}
