// VornCDDA: the audio tracks of a CD through the MCI CD-audio device. The track table is read once
// at Open; a track or a range of tracks plays with a completion notice to the main window
// (MM_MCINOTIFY, routed to OnNotify), which replays a looping range. One device at a time; main
// thread only. Positions are in the device's default time format.
#pragma once
#include <windows.h>
#include <mmsystem.h>
#include <cstdint>

struct VornCDDATrack
{
    uint32_t start;
    uint32_t length;
};
static_assert(sizeof(VornCDDATrack) == 8, "a track entry is two words");

// The MCI command call; tests put a disc of their own in place of the drive.
typedef MCIERROR(WINAPI* VornMciSendCommand)(MCIDEVICEID, UINT, DWORD_PTR, DWORD_PTR);

class VornCDDA
{
public:
    static constexpr uint32_t TRACK_MAX = 99;   // an audio CD holds at most 99 tracks

    // The command call of every later operation; null restores mciSendCommandA.
    static void SetMciSendCommand(VornMciSendCommand send);

    static bool Initialize();
    static void Finalize();

    // Opens the CD device of the drive letter (0: the default one) and reads its track table.
    static bool Open(char drive);
    static void Close();
    static bool Stop();
    // Pauses a playing range, or resumes a paused one.
    static bool Pause();
    // Plays from the start of track first to the start of the entry after last: first in 1..n, last
    // in first - 1..n (first - 1: an empty range).
    static bool Play(uint32_t first, uint32_t last, bool loop);
    static bool PlayTrack(uint32_t track, bool loop);
    // Tracks 1 to n - 1 (the last track is not played).
    static bool PlayAll(bool loop);
    // An MM_MCINOTIFY (flags, device); true when it is for the open device.
    static bool OnNotify(WPARAM flags, LPARAM device);
    // Opens or closes the drive door; true when the device took the command.
    static bool SetDoor(bool open);
};
