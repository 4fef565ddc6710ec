#include "VornThread.h"
#include "Vorn.h"
#include "VornLog.h"
#include "VornMemory.h"
#include <windows.h>
#include <process.h>
#include <cstring>
#include <array>
#include <utility>

namespace {

struct Slot
{
    VornThread::Function function;
    VornThread::TerminateCallback terminateCallback;
    uint32_t stackSize;
    uint32_t next;
    uint32_t prev;
    uint32_t threadId;
    HANDLE handle;      // set while the slot is live
    HANDLE semaphore;
    uint64_t resumeStamp;
    uint64_t yieldStamp;
    float load;
    volatile uint8_t active;
};

constexpr uint32_t SLOTS = VornThread::MAIN_SLOT + 1;
Slot* g_slots;
// Handles of ring threads that ended (or are ending) their slot: closed once, by the main thread,
// when the thread is seen to have ended.
HANDLE g_ended[VornThread::MAX_THREADS];

struct LoadThread
{
    VornThread::LoadFunction function;
    HANDLE handle;
    unsigned id;
    volatile bool result;
} g_load;

// A turn of EndAllThreads waits this long for the baton to come back; a thread that keeps it longer
// is terminated.
constexpr DWORD END_TURN_WAIT_MS = 1000;
constexpr int END_TURNS = 60;

bool Live(uint32_t slot) { return g_slots && slot < SLOTS && g_slots[slot].handle; }

void CloseEnded(uint32_t slot, DWORD waitMs)
{
    if (!g_ended[slot]) return;
    WaitForSingleObject(g_ended[slot], waitMs);
    CloseHandle(g_ended[slot]);
    g_ended[slot] = nullptr;
}

// Clears a ring slot. passBaton: the caller holds the baton and hands it to the slot that followed.
void TerminateSlot(uint32_t slot, bool passBaton)
{
    if (!g_slots || slot >= VornThread::MAX_THREADS || !g_slots[slot].handle) return;
    Slot& r = g_slots[slot];
    VornLog::StrongBlue("VornThread::Terminate");
    VornLog::Print(" : [%02d] : {", static_cast<int>(slot));
    const uint32_t oldNext = r.next;
    if (r.terminateCallback) r.terminateCallback(0);
    if (r.semaphore) CloseHandle(r.semaphore);
    if (g_ended[slot]) CloseHandle(g_ended[slot]);
    g_ended[slot] = r.handle;
    std::memset(&r, 0, sizeof r);
    VornThread::UpdateList();
    VornLog::Print("} : ");
    VornLog::StrongGreen("Success");
    VornLog::LineBreak();
    if (passBaton && oldNext != slot && Live(oldNext)) ReleaseSemaphore(g_slots[oldNext].semaphore, 1, nullptr);
}

// The main thread's turn in EndAllThreads: hands the baton on and waits a bounded time for it.
bool SwitchMainBounded()
{
    Slot& me = g_slots[VornThread::MAIN_SLOT];
    if (me.next == VornThread::MAIN_SLOT) return true;
    ReleaseSemaphore(g_slots[me.next].semaphore, 1, nullptr);
    return WaitForSingleObject(me.semaphore, END_TURN_WAIT_MS) == WAIT_OBJECT_0;
}

template <uint32_t S> unsigned __stdcall Entry(void* argument)
{
    Slot& r = g_slots[S];
    WaitForSingleObject(r.semaphore, INFINITE);
    if (!r.active) {   // asked to end before its first turn
        TerminateSlot(S, true);
        return 0;
    }
    r.resumeStamp = Vorn::GetSystemTimer();
    const uint32_t code = r.function(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(argument)));
    // A body that returns ends its slot as Exit would, and the ring goes on.
    VornThread::Exit(S);
    TerminateSlot(S, true);
    return code;
}

using EntryFunction = unsigned(__stdcall*)(void*);
template <size_t... I> constexpr auto MakeEntries(std::index_sequence<I...>)
{
    return std::array<EntryFunction, sizeof...(I)>{Entry<static_cast<uint32_t>(I)>...};
}

unsigned __stdcall LoadProcedure(void* argument)
{
    const unsigned long long address = reinterpret_cast<uintptr_t>(g_load.function);
    VornLog::Print("Start Load Thread [0x%08llX]", address);
    VornLog::LineBreak();
    g_load.result = g_load.function(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(argument)));
    VornLog::Print("Exit Load Thread [0x%08llX]", address);
    VornLog::LineBreak();
    return 0;
}

}  // namespace

bool VornThread::Initialize()
{
    VornLog::Title("VornThreadクラスの初期化");
    VornLog::Print("スレッドクラス用メモリ確保");
    VornLog::LineBreak();
    VornLog::Print("　　　最大スレッドクラス数 [ %u ]", MAX_THREADS);
    VornLog::LineBreak();
    g_slots = static_cast<Slot*>(VORN_ALLOC_ZERO(sizeof(Slot) * SLOTS));
    if (!g_slots) {
        VornLog::StrongRed("　　　スレッドクラス用メモリの確保に失敗");
        VornLog::LineBreak();
        return false;
    }
    return true;
}

void VornThread::Finalize()
{
    VornLog::Title("VornThreadクラスの解放");
    for (uint32_t i = 0; i < MAX_THREADS; ++i) CloseEnded(i, END_TURN_WAIT_MS);
    if (g_slots) {
        for (uint32_t i = 0; i < SLOTS; ++i) {
            if (g_slots[i].semaphore) CloseHandle(g_slots[i].semaphore);
            if (i < MAX_THREADS && g_slots[i].handle) CloseHandle(g_slots[i].handle);
        }
        VORN_FREE(g_slots);
        g_slots = nullptr;
    }
}

void VornThread::StartMainThread()
{
    if (!g_slots) return;
    Slot& r = g_slots[MAIN_SLOT];
    if (r.semaphore) CloseHandle(r.semaphore);
    std::memset(&r, 0, sizeof r);
    r.handle = GetCurrentThread();
    r.threadId = GetCurrentThreadId();
    r.active = 1;
    r.semaphore = CreateSemaphoreA(nullptr, 0, 1, nullptr);
    r.resumeStamp = Vorn::GetSystemTimer();
    UpdateList();
}

bool VornThread::Create(uint32_t slot, Function function, TerminateCallback terminate, uint32_t argument, uint32_t stackSize)
{
    static constexpr auto entries = MakeEntries(std::make_index_sequence<MAX_THREADS>{});
    VornLog::StrongBlue("VornThread::Create");
    VornLog::Print(" : [%d] : {", static_cast<int>(slot));
    const auto fail = [](const char* why) {
        VornLog::Print("} : ");
        VornLog::StrongRed("%s", why);
        VornLog::LineBreak();
        return false;
    };
    if (!g_slots || slot >= MAX_THREADS || !function) return fail("Error");
    Slot& r = g_slots[slot];
    if (r.active || r.handle) return fail("Error");
    CloseEnded(slot, INFINITE);   // the slot's previous thread has left its slot: it ends at once
    std::memset(&r, 0, sizeof r);
    r.function = function;
    r.terminateCallback = terminate;
    r.stackSize = stackSize;
    r.active = 1;
    r.semaphore = CreateSemaphoreA(nullptr, 0, 1, nullptr);
    if (!r.semaphore) {
        std::memset(&r, 0, sizeof r);
        return fail("Error");
    }
    unsigned id = 0;
    const uintptr_t handle = _beginthreadex(nullptr, stackSize, entries[slot], reinterpret_cast<void*>(static_cast<uintptr_t>(argument)), 0, &id);
    if (!handle) {
        CloseHandle(r.semaphore);
        std::memset(&r, 0, sizeof r);
        return fail("Error");
    }
    r.handle = reinterpret_cast<HANDLE>(handle);
    r.threadId = id;
    UpdateList();
    VornLog::Print("} : ");
    VornLog::StrongGreen("Success");
    VornLog::LineBreak();
    return true;
}

void VornThread::Switch(int32_t slot)
{
    const uint32_t s = slot < 0 ? MAIN_SLOT : static_cast<uint32_t>(slot);
    if (!Live(s)) return;
    Slot& me = g_slots[s];
    me.yieldStamp = Vorn::GetSystemTimer();
    if (me.next != s) {
        ReleaseSemaphore(g_slots[me.next].semaphore, 1, nullptr);
        WaitForSingleObject(me.semaphore, INFINITE);
        Sleep(0);
    }
    const double frequency = static_cast<double>(Vorn::GetSystemTimerFrequency());
    me.load = static_cast<float>(static_cast<double>(me.yieldStamp - me.resumeStamp) / frequency * Vorn::GetFrameRate());
    if (!me.active) {
        TerminateSlot(s, true);
        _endthreadex(0);
    }
    me.resumeStamp = Vorn::GetSystemTimer();
}

void VornThread::Exit(uint32_t slot)
{
    VornLog::StrongBlue("VornThread::Exit");
    VornLog::Print(" : [%02d] : ", static_cast<int>(slot));
    if (Live(slot) && slot < MAX_THREADS) {
        g_slots[slot].active = 0;
        VornLog::StrongGreen("Success");
    } else {
        VornLog::StrongRed("Error");
    }
    VornLog::LineBreak();
}

void VornThread::Terminate(uint32_t slot) { TerminateSlot(slot, true); }

float VornThread::GetLoad(int32_t slot)
{
    const uint32_t s = slot < 0 ? MAIN_SLOT : static_cast<uint32_t>(slot);
    return Live(s) ? g_slots[s].load * 100.0f : 0.0f;
}

void VornThread::UpdateList()
{
    if (!g_slots) return;
    uint32_t prev = MAIN_SLOT;
    for (uint32_t i = 0; i < SLOTS; ++i) {
        if (!g_slots[i].handle) continue;
        uint32_t next = i;
        for (uint32_t k = 1; k <= SLOTS; ++k) {
            const uint32_t j = (i + k) % SLOTS;
            if (g_slots[j].handle) {
                next = j;
                break;
            }
        }
        g_slots[i].next = next;
        g_slots[i].prev = prev;
        prev = i;
        VornLog::Print("　[%02d] -> [%02d]", static_cast<int>(i), static_cast<int>(next));
        VornLog::LineBreak();
    }
}

void VornThread::EndAllThreads()
{
    if (!g_slots) return;
    const bool mainLive = g_slots[MAIN_SLOT].handle != nullptr;
    for (uint32_t slot = 0; slot < MAX_THREADS; ++slot) {
        if (!g_slots[slot].handle) continue;
        const HANDLE thread = g_slots[slot].handle;
        Exit(slot);
        bool ended = false;
        if (mainLive) {
            for (int turn = 0; turn < END_TURNS && !ended; ++turn) {
                const bool baton = SwitchMainBounded();
                ended = WaitForSingleObject(thread, 0) == WAIT_OBJECT_0;
                if (!baton) break;   // the thread keeps the baton: it will not end by itself
            }
        } else if (g_slots[slot].semaphore) {
            // Without the main slot nobody holds the baton: wake the thread, which ends at once.
            ReleaseSemaphore(g_slots[slot].semaphore, 1, nullptr);
            ended = WaitForSingleObject(thread, END_TURN_WAIT_MS) == WAIT_OBJECT_0;
        }
        if (!ended) {
            VornLog::StrongRed(" < スレッド終了エラー [%02d]> ", static_cast<int>(slot));
            VornLog::LineBreak();
            TerminateThread(thread, 0);
            WaitForSingleObject(thread, END_TURN_WAIT_MS);
            TerminateSlot(slot, false);
        }
        CloseEnded(slot, END_TURN_WAIT_MS);
    }
    Slot& main = g_slots[MAIN_SLOT];
    if (main.semaphore) CloseHandle(main.semaphore);
    std::memset(&main, 0, sizeof main);
    VornLog::Print("VornThread::全スレッドの終了");
    VornLog::LineBreak();
}

bool VornThread::StartLoadThread(LoadFunction function, uint32_t argument, uint32_t stackSize)
{
    g_load.result = false;
    if (function && IsLoadThreadEnd()) {
        g_load.function = function;
        const uintptr_t handle = _beginthreadex(nullptr, stackSize, LoadProcedure, reinterpret_cast<void*>(static_cast<uintptr_t>(argument)), 0, &g_load.id);
        g_load.handle = reinterpret_cast<HANDLE>(handle);
        if (g_load.handle) SetThreadPriority(g_load.handle, THREAD_PRIORITY_LOWEST);
    }
    return g_load.handle != nullptr;
}

bool VornThread::IsLoadThreadEnd()
{
    if (g_load.handle && WaitForSingleObject(g_load.handle, 0) == WAIT_OBJECT_0) {
        CloseHandle(g_load.handle);
        g_load.handle = nullptr;
    }
    return g_load.handle == nullptr;
}

bool VornThread::GetLoadThreadResult() { return IsLoadThreadEnd() ? g_load.result : false; }
