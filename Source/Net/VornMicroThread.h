// VornMicroThread: up to 32 fibers run round-robin on the main thread. RunMainThread turns the main
// thread into the main fiber (slot 32), runs the message pump and switches to the next fiber after
// every pass; each fiber does one step and switches on. Suspended slots are skipped.
#pragma once
#include <cstdint>

class VornMicroThread
{
public:
    using Procedure = void(__stdcall*)(void* parameter);

    static constexpr uint32_t MAX_THREADS = 32;
    static constexpr uint32_t MAIN_SLOT = 32;

    static bool Initialize();
    static void Finalize();

    static bool Create(uint32_t slot, Procedure procedure, uint32_t stackSize);
    // One step done: switches to the next fiber; returns whether the slot is still alive.
    static bool Switch(uint32_t slot);
    // Ends the calling fiber's slot and switches on; does not return to a fiber ending itself.
    static bool Stop(uint32_t slot);
    static void Suspend(uint32_t slot);
    static void Resume(uint32_t slot);
    static float GetLoad(uint32_t slot);
    // The frame loop with the fibers; returns when the application quits and every fiber ended.
    static bool RunMainThread();
    static void UpdateList();
};
