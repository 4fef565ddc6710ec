// VornSound: DirectSound 8 for the application, and sounds decoded and played by the Tuvra library
// (Tuvra.dll, loaded at run time). One slot per sound: the library's instance and, for sounds
// from files, the stream the library reads through the seek and read callbacks.
#pragma once
#include "VornHandleTable.h"
#include "Tuvra.h"
#include <windows.h>
#include <mmsystem.h>
#include <dsound.h>
#include <cstdint>

typedef VornHandle VornSoundHandle;

struct VornSoundFade
{
    float start;
    float end;
    int32_t frame;
    int32_t count;
    uint8_t active;
};

struct VornSoundRecord
{
    uint8_t inUse;
    uint32_t refCount;
    char name[VORN_RECORD_NAME_SIZE];   // the file name, or "CreateFromMemory"
    VornFileStream* stream;             // null for sounds made from memory
    TuvraInstance* instance;
    VornSoundFade fade[2];              // 0 drives slot 5 (volume), 1 slot 6 (pan)
};

class VornSound : public VornTableClass<VornSound, VornSoundRecord>
{
    friend VornTableClass;
    static VornHandleTable<VornSoundRecord>& Table();

public:
    static bool Initialize();
    static void Finalize();
    static void LogCaps();
    // Loads the library once; true when it is (or already was) loaded and initialised.
    static bool LoadDriver(const char* name);
    // The object with one reference added (the caller releases it), or null.
    static IDirectSound8* GetDirectSound();
    // Before Initialize: the table's size (0 = 64). After it: the bound of later walks.
    static void SetMax(uint32_t count);
    // ReleaseRecord, then "VornSound::Release : [ No.n ]" when the handle was live.
    static void Release(VornSoundHandle handle);

    // flag goes to the library unchanged (Tuvra: bit 0 loops).
    static VornSoundHandle CreateFromFile(const char* name, uint8_t flag);
    // The data stay the caller's and must live as long as the sound.
    static VornSoundHandle CreateFromMemory(const void* data, uint32_t size, uint8_t flag);

    static bool InstanceSlot0(VornSoundHandle handle);
    static void InstanceSlot1(VornSoundHandle handle);
    static void InstanceSlot2(VornSoundHandle handle);
    static void InstanceSlot3(VornSoundHandle handle);
    static void InstanceSlot4(VornSoundHandle handle);
    static void InstanceSlot5(VornSoundHandle handle, float value);
    static void InstanceSlot6(VornSoundHandle handle, float value);

    // Starts (active 1) or stops fade 0 (slot 5) or 1 (slot 6): frames + 1 values from start to end,
    // one per UpdateFade while the sound plays.
    static void SetFade(VornSoundHandle handle, uint32_t fade, uint8_t active, float start, float end, int32_t frames);
    static void UpdateFade();

    static uint32_t SeekCallback(void* file, uint32_t position);
    static BOOL ReadCallback(void* file, void* buffer, uint32_t size);
    static void* AllocCallback(uint32_t size, const char* file, int32_t line);
    static void FreeCallback(void* block);
};
