#include "VornMicroThread.h"
#include "Vorn.h"
#include "VornLog.h"
#include "VornMemory.h"
#include <windows.h>
#include <cstring>

namespace {

struct Slot
{
    VornMicroThread::Procedure procedure;
    uint32_t stackSize;
    uint8_t alive;
    uint8_t used;
    uint8_t suspended;
    uint64_t resumeStamp;
    uint64_t yieldStamp;
    float load;
    void* fiber;
    void* nextFiber;
    uint32_t next;   // slot index behind nextFiber
};

constexpr uint32_t SLOTS = VornMicroThread::MAIN_SLOT + 1;
Slot* g_slots;
// A stopped fiber cannot delete itself: the next fiber to run deletes it.
void* g_stoppedFiber;
bool g_mainIsFiber;

void DeleteStopped()
{
    if (g_stoppedFiber && g_stoppedFiber != GetCurrentFiber()) {
        DeleteFiber(g_stoppedFiber);
        g_stoppedFiber = nullptr;
    }
}

void SwitchTo(void* fiber)
{
    if (!fiber || fiber == GetCurrentFiber()) return;
    SwitchToFiber(fiber);
    DeleteStopped();
}

bool InRange(uint32_t slot) { return g_slots && slot < VornMicroThread::MAX_THREADS; }

// Every fiber starts here, so that a body that returns stops its slot instead of ending the thread.
struct Start
{
    VornMicroThread::Procedure procedure;
    uint32_t slot;
};
Start g_start[VornMicroThread::MAX_THREADS];

void __stdcall Trampoline(void* parameter)
{
    DeleteStopped();
    const Start* start = static_cast<const Start*>(parameter);
    const uint32_t slot = start->slot;
    start->procedure(nullptr);
    VornMicroThread::Stop(slot);
}

}  // namespace

bool VornMicroThread::Initialize()
{
    VornLog::Title("VornMicroThreadクラスの初期化");
    VornLog::Print("マイクロスレッドクラス用メモリ確保");
    VornLog::LineBreak();
    g_slots = static_cast<Slot*>(VORN_ALLOC_ZERO(sizeof(Slot) * SLOTS));
    if (!g_slots) {
        VornLog::StrongRed("　　　マイクロスレッドクラス用メモリの確保に失敗");
        VornLog::LineBreak();
        return false;
    }
    return true;
}

void VornMicroThread::Finalize()
{
    VornLog::Title("VornMicroThreadクラスの解放");
    if (g_slots) {
        for (uint32_t i = 0; i < MAX_THREADS; ++i) {
            if (g_slots[i].fiber && g_slots[i].fiber != GetCurrentFiber()) DeleteFiber(g_slots[i].fiber);
        }
        VORN_FREE(g_slots);
        g_slots = nullptr;
    }
    DeleteStopped();
}

bool VornMicroThread::Create(uint32_t slot, Procedure procedure, uint32_t stackSize)
{
    if (!InRange(slot) || !procedure || g_slots[slot].used) return false;
    Slot& r = g_slots[slot];
    std::memset(&r, 0, sizeof r);
    r.procedure = procedure;
    r.stackSize = stackSize;
    g_start[slot] = Start{procedure, slot};
    r.fiber = CreateFiber(stackSize, Trampoline, &g_start[slot]);
    if (!r.fiber) {
        std::memset(&r, 0, sizeof r);
        return false;
    }
    r.alive = r.used = 1;
    UpdateList();
    VornLog::Print("VornMicroThread::スレッド [%d] を生成", static_cast<int>(slot));
    VornLog::LineBreak();
    return true;
}

bool VornMicroThread::Switch(uint32_t slot)
{
    if (!g_slots || slot >= SLOTS || !g_slots[slot].used) return false;
    Slot& r = g_slots[slot];
    r.yieldStamp = Vorn::GetSystemTimer();
    if (r.fiber != r.nextFiber) SwitchTo(r.nextFiber);
    const double frequency = static_cast<double>(Vorn::GetSystemTimerFrequency());
    r.load = static_cast<float>(static_cast<double>(r.yieldStamp - r.resumeStamp) / frequency * Vorn::GetFrameRate() * 100.0);
    r.resumeStamp = Vorn::GetSystemTimer();
    return r.alive != 0;
}

bool VornMicroThread::Stop(uint32_t slot)
{
    if (!InRange(slot) || !g_slots[slot].used) return false;
    Slot& r = g_slots[slot];
    void* fiber = r.fiber;
    void* next = r.nextFiber;
    std::memset(&r, 0, sizeof r);
    UpdateList();
    VornLog::Print("VornMicroThread::スレッド [%d] を停止", static_cast<int>(slot));
    VornLog::LineBreak();
    if (fiber == GetCurrentFiber()) {
        // Ending itself: the next fiber to run deletes this one.
        DeleteStopped();
        g_stoppedFiber = fiber;
        SwitchToFiber(next && next != fiber ? next : g_slots[MAIN_SLOT].fiber);
    } else if (fiber) {
        DeleteFiber(fiber);   // stopped from another fiber: it is not running
    }
    return true;
}

void VornMicroThread::Suspend(uint32_t slot)
{
    if (!InRange(slot) || !g_slots[slot].used || g_slots[slot].suspended) return;
    Slot& r = g_slots[slot];
    void* next = r.nextFiber;
    r.suspended = 1;
    UpdateList();
    if (r.fiber == GetCurrentFiber()) SwitchTo(next);
}

void VornMicroThread::Resume(uint32_t slot)
{
    if (!InRange(slot) || !g_slots[slot].used || !g_slots[slot].suspended) return;
    g_slots[slot].suspended = 0;
    UpdateList();
}

float VornMicroThread::GetLoad(uint32_t slot)
{
    if (!g_slots || slot >= SLOTS || !g_slots[slot].alive) return 0.0f;
    return g_slots[slot].load;
}

void VornMicroThread::UpdateList()
{
    if (!g_slots) return;
    for (uint32_t i = 0; i < SLOTS; ++i) {
        Slot& r = g_slots[i];
        if (!r.used) continue;
        uint32_t next = i;
        for (uint32_t k = 1; k <= SLOTS; ++k) {
            const uint32_t j = (i + k) % SLOTS;
            if (g_slots[j].used && !g_slots[j].suspended) {
                next = j;
                break;
            }
        }
        r.next = next;
        r.nextFiber = g_slots[next].fiber;
        VornLog::Print("　[%d:%02d] -> [%d:%02d]", r.alive, static_cast<int>(i), g_slots[next].alive, static_cast<int>(next));
        VornLog::LineBreak();
    }
}

bool VornMicroThread::RunMainThread()
{
    if (!g_slots) return false;
    VornLog::Print("VornMicroThread::メインスレッドの起動");
    VornLog::LineBreak();
    Slot& main = g_slots[MAIN_SLOT];
    std::memset(&main, 0, sizeof main);
    main.fiber = ConvertThreadToFiber(nullptr);
    if (!main.fiber) return false;
    g_mainIsFiber = true;
    main.alive = main.used = 1;
    main.resumeStamp = Vorn::GetSystemTimer();
    UpdateList();

    while (Vorn::Run(false)) SwitchTo(main.nextFiber);

    VornLog::Print("VornMicroThread::全スレッドの終了要求を発行");
    VornLog::LineBreak();
    for (uint32_t i = 0; i < MAX_THREADS; ++i) {
        g_slots[i].suspended = 0;
        g_slots[i].alive = 0;
    }
    UpdateList();
    VornLog::Print("VornMicroThread::全スレッドの終了を確認中");
    VornLog::LineBreak();
    while (main.nextFiber && main.nextFiber != main.fiber) SwitchTo(main.nextFiber);
    VornLog::Print("VornMicroThread::全スレッドの終了を確認");
    VornLog::LineBreak();
    DeleteStopped();
    std::memset(&main, 0, sizeof main);
    ConvertFiberToThread();
    g_mainIsFiber = false;
    return true;
}
