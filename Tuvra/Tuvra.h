// Tuvra: sound decoding library, loaded at run time as Tuvra.dll.
//
// C interface (undecorated names, fixed-width types). The host hands over its DirectSound object
// and its allocator; every instance plays through a DirectSound secondary buffer.
//
// Our choices:
// - Formats: RIFF WAVE, PCM, 8 or 16 bits, mono or stereo.
// - The whole sound is decoded into one secondary buffer at creation; handle-based instances read
//   through the host's seek and read callbacks there and then, on the creating thread, and never
//   past start + size (a pack holds neighbours behind the entry).
// - Creation flag: bit 0 loops the sound.
// - Instance slots: 0 playing?, 1 play from the start, 2 stop (back to the start), 3 pause,
//   4 resume, 5 volume, 6 pan (percent: volume -(100 - p)^2, pan +-p^2 in hundredths of a dB),
//   7 release.
// - Error texts fit TUVRA_ERROR_SIZE bytes with their terminator.
#pragma once
#include <windows.h>
#include <stdint.h>

struct IDirectSound;

#define TUVRA_ERROR_SIZE 512
#define TUVRA_FLAG_LOOP 0x01

// The instance: eight pure virtual operations in this slot order; no destructor, no overloads,
// so that every compiler lays out the same table.
class TuvraInstance
{
public:
    virtual bool IsPlaying() = 0;              // 0
    virtual void Play() = 0;                   // 1
    virtual void Stop() = 0;                   // 2
    virtual void Pause() = 0;                  // 3
    virtual void Resume() = 0;                 // 4
    virtual void SetVolume(float percent) = 0; // 5
    virtual void SetPan(float percent) = 0;    // 6
    virtual void Release() = 0;                // 7
};

typedef void* (*TuvraAllocFunc)(uint32_t size, const char* file, int32_t line);
typedef void (*TuvraFreeFunc)(void* block);
// Absolute position in the file; returns the new position.
typedef uint32_t (*TuvraSeekFunc)(void* file, uint32_t position);
// TRUE only when every byte asked for was read.
typedef BOOL (*TuvraReadFunc)(void* file, void* buffer, uint32_t size);

#ifdef TUVRA_BUILD
#define TUVRA_API extern "C" __declspec(dllexport)
#else
#define TUVRA_API extern "C" __declspec(dllimport)
#endif

// The entry points, as the host looks them up by name.
typedef BOOL (*TuvraInitializeFunc)(uint32_t flags, IDirectSound** directSound, TuvraAllocFunc alloc,
                                    TuvraFreeFunc free);
typedef void (*TuvraUninitializeFunc)(void);
typedef TuvraInstance* (*TuvraCreateFromFileFunc)(const char* path, uint8_t flag);
typedef TuvraInstance* (*TuvraCreateFromMemoryFunc)(const void* data, uint32_t size, uint8_t flag);
typedef TuvraInstance* (*TuvraCreateFromHandleFunc)(void* file, uint32_t start, uint32_t size, uint8_t flag,
                                                    TuvraSeekFunc seek, TuvraReadFunc read);
typedef void (*TuvraGetLastErrorFunc)(char* buffer, uint32_t size);
