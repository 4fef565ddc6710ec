// Switch costs: the cooperative ring (main thread and one ring thread), fibers, and a plain Win32
// two-thread semaphore ping-pong as the peer. Prints microseconds per switch and the ratios.
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
    printf("thread bench: plain Win32 semaphore ping-pong %.2f us a switch\n", plain);
    printf("thread bench: VornThread ring %.2f us a switch (%.2fx plain)\n", ring, ring / plain);
    printf("thread bench: VornMicroThread fibers %.2f us a switch, pump pass included once a round (%.2fx plain)\n", fiber,
           fiber / plain);
    VornMicroThread::Finalize();
    VornThread::Finalize();
    VornMemory::Finalize();
    return 0;
}
