#include "VornCDDA.h"
#include "Vorn.h"
#include "VornLog.h"
#include "VornMemory.h"
#include <cstdio>

namespace {

struct State
{
    VornMciSendCommand send = mciSendCommandA;
    VornCDDATrack* tracks = nullptr;   // n + 2 entries: the whole disc, tracks 1 to n, the end
    uint32_t count = 0;
    uint32_t from = 0, to = 0, first = 0, last = 0;
    uint32_t saved = 0;                // the position a pause stopped at
    MCIDEVICEID device = 0;
    uint8_t open = 0, playing = 0, paused = 0, loop = 0;
};
State g;

bool Send(MCIDEVICEID device, UINT message, DWORD_PTR flags, void* parameters)
{
    return g.send(device, message, flags, reinterpret_cast<DWORD_PTR>(parameters)) == 0;
}

// MCI_OPEN of the CD device (of the drive letter, or the default one) into device.
bool OpenDevice(char drive, MCIDEVICEID* device)
{
    char element[4] = {};
    MCI_OPEN_PARMSA open = {};
    open.lpstrDeviceType = reinterpret_cast<LPCSTR>(static_cast<DWORD_PTR>(MCI_DEVTYPE_CD_AUDIO));
    DWORD flags = MCI_OPEN_TYPE | MCI_OPEN_TYPE_ID | MCI_OPEN_SHAREABLE;
    if (drive) {
        snprintf(element, sizeof element, "%c:", drive);
        open.lpstrElementName = element;
        flags |= MCI_OPEN_ELEMENT;
    }
    if (!Send(0, MCI_OPEN, flags, &open)) return false;
    *device = open.wDeviceID;
    return true;
}

bool Status(DWORD item, uint32_t track, uint32_t* value)
{
    MCI_STATUS_PARMS status = {};
    status.dwItem = item;
    status.dwTrack = track;
    if (!Send(g.device, MCI_STATUS, MCI_STATUS_ITEM | (track ? MCI_TRACK : 0), &status)) return false;
    *value = static_cast<uint32_t>(status.dwReturn);
    return true;
}

bool PlayRange(uint32_t from, uint32_t to)
{
    MCI_PLAY_PARMS play = {};
    play.dwCallback = reinterpret_cast<DWORD_PTR>(Vorn::GetWindowHandle());
    play.dwFrom = from;
    play.dwTo = to;
    return Send(g.device, MCI_PLAY, MCI_NOTIFY | MCI_FROM | MCI_TO, &play);
}

// Reads the track table of the open device.
bool ReadTracks()
{
    uint32_t n = 0;
    if (!Status(MCI_STATUS_NUMBER_OF_TRACKS, 0, &n) || n > VornCDDA::TRACK_MAX) return false;
    g.tracks = static_cast<VornCDDATrack*>(
        VornMemory::AllocZero((n + 2) * sizeof(VornCDDATrack), VornMemory::DEFAULT_TAG, "Source/VornCDDA", __LINE__));
    if (!g.tracks) return false;
    g.count = n;
    if (!Status(MCI_STATUS_LENGTH, 0, &g.tracks[0].length)) return false;
    g.tracks[n + 1] = {g.tracks[0].length, 0};
    for (uint32_t i = 1; i <= n; ++i)
        if (!Status(MCI_STATUS_POSITION, i, &g.tracks[i].start) || !Status(MCI_STATUS_LENGTH, i, &g.tracks[i].length))
            return false;
    return true;
}

}  // namespace

void VornCDDA::SetMciSendCommand(VornMciSendCommand send) { g.send = send ? send : mciSendCommandA; }

bool VornCDDA::Initialize()
{
    VornLog::Title("VornCDDAクラスの初期化");
    return true;
}

void VornCDDA::Finalize()
{
    VornLog::Title("VornCDDAクラスの解放");
    Close();
}

bool VornCDDA::Open(char drive)
{
    Close();
    if (!OpenDevice(drive, &g.device)) return false;
    g.open = 1;
    if (ReadTracks()) return true;
    Close();
    return false;
}

void VornCDDA::Close()
{
    if (!g.open) return;
    Stop();
    MCI_GENERIC_PARMS close = {};
    Send(g.device, MCI_CLOSE, 0, &close);
    if (g.tracks) VornMemory::Free(g.tracks);
    const VornMciSendCommand send = g.send;
    g = State{};
    g.send = send;
}

bool VornCDDA::Stop()
{
    if (!g.open || !g.playing) return false;
    g.playing = 0;
    g.paused = 0;   // else the next pause would resume
    MCI_GENERIC_PARMS stop = {};
    return Send(g.device, MCI_STOP, 0, &stop);
}

bool VornCDDA::Pause()
{
    if (!g.open || !g.playing) return false;
    if (!g.paused) {
        uint32_t position = 0;
        MCI_GENERIC_PARMS stop = {};
        if (!Status(MCI_STATUS_POSITION, 0, &position) || !Send(g.device, MCI_STOP, 0, &stop)) return false;
        g.saved = position;
        g.paused = 1;
        return true;
    }
    g.paused = 0;
    if (PlayRange(g.saved, g.to)) return true;
    Close();
    return false;
}

bool VornCDDA::Play(uint32_t first, uint32_t last, bool loop)
{
    if (!g.open || g.playing) return false;
    if (first < 1 || first > g.count || last + 1 < first || last > g.count) return false;
    g.from = g.tracks[first].start;
    g.to = g.tracks[last + 1].start;
    g.first = first;
    g.last = last;
    if (!PlayRange(g.from, g.to)) {
        Close();
        return false;
    }
    g.playing = 1;
    g.loop = loop;
    return true;
}

bool VornCDDA::PlayTrack(uint32_t track, bool loop) { return Play(track, track, loop); }

bool VornCDDA::PlayAll(bool loop) { return Play(1, g.count - 1, loop); }

bool VornCDDA::OnNotify(WPARAM flags, LPARAM device)
{
    if (!g.open || static_cast<MCIDEVICEID>(device) != g.device) return false;
    if (flags == MCI_NOTIFY_SUCCESSFUL) {
        g.playing = 0;
        if (g.loop) Play(g.first, g.last, true);
    }
    return true;
}

bool VornCDDA::SetDoor(bool open)
{
    // The door command needs an open device: the class's own, or the default one opened for it.
    MCIDEVICEID device = g.device;
    const bool borrowed = !g.open;
    if (borrowed && !OpenDevice(0, &device)) return false;
    Stop();
    MCI_SET_PARMS set = {};
    const bool done = Send(device, MCI_SET, open ? MCI_SET_DOOR_OPEN : MCI_SET_DOOR_CLOSED, &set);
    if (borrowed) {
        MCI_GENERIC_PARMS close = {};
        Send(device, MCI_CLOSE, 0, &close);
    } else {
        Close();
    }
    return done;
}
