// VornThread: up to 32 Win32 threads run cooperatively with the main thread. The 33 slots form a
// ring and one thread runs at a time: Switch hands the baton to the next live slot and waits for
// it to come back. Beside the ring runs one free background load thread, whose end the message
// pump waits for before the application quits.
#pragma once
#include <cstdint>

class VornThread
{
public:
    using Function = uint32_t (*)(uint32_t argument);
    using TerminateCallback = uint32_t (*)(uint32_t code);
    using LoadFunction = bool (*)(uint32_t argument);

    static constexpr uint32_t MAX_THREADS = 32;
    static constexpr uint32_t MAIN_SLOT = 32;   // the main thread's slot; Switch(-1) means it

    static bool Initialize();
    static void Finalize();
    static void StartMainThread();

    // Starts a thread in a free slot; it first runs when the baton reaches it.
    static bool Create(uint32_t slot, Function function, TerminateCallback terminate, uint32_t argument, uint32_t stackSize);
    // Called by the running thread with its own slot (-1: the main thread).
    static void Switch(int32_t slot);
    // Asks a thread to end: it ends at its next Switch.
    static void Exit(uint32_t slot);
    static void Terminate(uint32_t slot);
    // Last turn's running time in percent of a frame (-1: the main thread).
    static float GetLoad(int32_t slot);
    static void UpdateList();
    // Ends every ring thread (the first step of the shut-down).
    static void EndAllThreads();

    static bool StartLoadThread(LoadFunction function, uint32_t argument, uint32_t stackSize);
    static bool IsLoadThreadEnd();
    static bool GetLoadThreadResult();
};
