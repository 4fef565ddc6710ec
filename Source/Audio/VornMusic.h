// VornMusic: MIDI and WAVE data played through DirectMusic. Every entry has its own standard audio
// path and segment on the class's one performance, played as a secondary segment, so entries sound
// together and each has its own volume and pan. Every load makes a new entry; the name is only a
// label.
#pragma once
#include "VornHandleTable.h"
#include <windows.h>
#include <dmusici.h>
#include <cstdint>

typedef VornHandle VornMusicHandle;

struct VornMusicRecord {
    uint8_t inUse;
    uint32_t refCount;
    char name[VORN_RECORD_NAME_SIZE];    // the file name, or "CreateFromMemoryMidi" / "CreateFromMemoryWave"
    IDirectMusicPerformance8* performance;   // the class's performance, one reference held
    IDirectMusicSegment8* segment;
    IDirectMusicSegmentState* segmentState;   // of the last play
    IDirectMusicAudioPath8* audioPath;
    void* fileImage;                     // owned when loaded from a file; the segment reads from it
    uint8_t playing;
    uint8_t loop;
    uint8_t paused;
    uint32_t audioPathType;              // the standard path type asked for
    char tempPath[MAX_PATH];             // a standard MIDI file loaded through a temporary copy ("" none)
};

class VornMusic : public VornTableClass<VornMusic, VornMusicRecord>
{
    friend VornTableClass;
    static VornHandleTable<VornMusicRecord>& Table();
    static constexpr const char* kReleaseName = "VornMusic::Release";

public:
    static bool Initialize();
    static void Finalize();
    // Before Initialize: the table's size (0 = 64). After it: lowers the bound of later walks
    // (never above the entries allocated); Finalize still walks every entry.
    static void SetMax(uint32_t count);
    // ReleaseRecord, then "VornMusic::Release : [ No.n ]" when the handle was live.
    static void Release(VornMusicHandle handle);

    // audioPathType: a DirectMusic standard audio path (8 = DMUS_APATH_DYNAMIC_STEREO).
    static VornMusicHandle CreateFromMidi(const char* name, uint32_t audioPathType);
    static VornMusicHandle CreateFromWave(const char* name, uint32_t audioPathType);
    // The data stay the caller's and must live as long as the entry.
    static VornMusicHandle CreateFromMemoryMidi(const void* data, uint32_t size, uint32_t audioPathType);
    static VornMusicHandle CreateFromMemoryWave(const void* data, uint32_t size, uint32_t audioPathType);

    static void Play(VornMusicHandle handle);
    static void PlayLoop(VornMusicHandle handle);
    static void Stop(VornMusicHandle handle);
    static void Pause(VornMusicHandle handle);
    static void SetVolume(VornMusicHandle handle, float percent);
    static void SetPan(VornMusicHandle handle, float percent);

private:
    static VornMusicHandle CreateEntry(const void* data, uint32_t size, uint32_t audioPathType);
    static VornMusicHandle CreateFromFile(const char* operation, const char* name, uint32_t audioPathType);
    static VornMusicHandle CreateFromMemory(const char* operation, const void* data, uint32_t size,
                                            uint32_t audioPathType);
};
