// VornCDDA on Wine's MCI (no CD drive), and on a stand-in disc that answers from a track table,
// writes down every command and can fail the n-th.
#include "AudioSupport.h"
#include "VornCDDA.h"

using namespace audiotest;

namespace {

const MCIDEVICEID kDevice = 7;
const uint32_t kTotal = 4000, kPausedAt = 1700;   // the disc's length; where a pause finds the play
std::vector<VornCDDATrack> g_tracks;
size_t g_failAt = SIZE_MAX, g_sent = 0;   // the command (from 0) that fails; commands so far
std::string g_log;                        // "open <flags> <type> <element>; status <item> [<track>]; play <from> <to>; ..."

MCIERROR WINAPI FakeSend(MCIDEVICEID, UINT message, DWORD_PTR flags, DWORD_PTR p)
{
    char line[64] = "";
    if (message == MCI_OPEN) {
        auto* open = reinterpret_cast<MCI_OPEN_PARMSA*>(p);
        snprintf(line, sizeof line, "open %x %u %s; ", unsigned(flags), unsigned(DWORD_PTR(open->lpstrDeviceType)),
                 flags & MCI_OPEN_ELEMENT ? open->lpstrElementName : "-");
        open->wDeviceID = kDevice;
    } else if (message == MCI_STATUS) {
        auto* status = reinterpret_cast<MCI_STATUS_PARMS*>(p);
        const uint32_t track = flags & MCI_TRACK ? status->dwTrack : 0;
        snprintf(line, sizeof line, track ? "status %u %u; " : "status %u; ", unsigned(status->dwItem), track);
        const VornCDDATrack t = track ? g_tracks[track - 1] : VornCDDATrack{kPausedAt, kTotal};
        status->dwReturn = status->dwItem == MCI_STATUS_NUMBER_OF_TRACKS ? g_tracks.size()
                           : status->dwItem == MCI_STATUS_LENGTH         ? t.length : t.start;
    } else if (message == MCI_PLAY) {
        auto* play = reinterpret_cast<MCI_PLAY_PARMS*>(p);
        const bool notify = flags == (MCI_NOTIFY | MCI_FROM | MCI_TO) && HWND(play->dwCallback) == Vorn::GetWindowHandle();
        snprintf(line, sizeof line, "play%s %u %u; ", notify ? "" : "?", unsigned(play->dwFrom), unsigned(play->dwTo));
    } else {
        snprintf(line, sizeof line, "%s; ", message == MCI_STOP ? "stop" : message == MCI_CLOSE ? "close"
                                            : flags == MCI_SET_DOOR_OPEN ? "door open" : "door closed");
    }
    g_log += line;
    return g_sent++ == g_failAt ? MCIERR_HARDWARE : 0;
}

// The commands since the last call.
std::string Sent() { return std::exchange(g_log, ""); }

void Notify(WPARAM flags, MCIDEVICEID device = kDevice)
{
    PostMessageA(Vorn::GetWindowHandle(), MM_MCINOTIFY, flags, device);
    for (MSG msg; PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);) DispatchMessageA(&msg);
}

}  // namespace

TEST_F(AudioTest, CDAudioOnWineAndOnAStandInDisc)
{
    g_tracks = {{150, 1000}, {1150, 2000}, {3150, 850}};
    const std::string log = RunEngine([] {
        // Wine has no CD drive: each call fails.
        const bool open0 = VornCDDA::Open(0), openD = VornCDDA::Open('D'), track = VornCDDA::PlayTrack(1, false),
                   pause = VornCDDA::Pause(), stop = VornCDDA::Stop(), notify = VornCDDA::OnNotify(MCI_NOTIFY_SUCCESSFUL, 0),
                   door = VornCDDA::SetDoor(true);
        EXPECT_NAMED({"Open(0)", open0, false}, {"Open('D')", openD, false}, {"PlayTrack", track, false}, {"Pause", pause, false},
                     {"Stop", stop, false}, {"OnNotify", notify, false}, {"SetDoor", door, false});
        VornCDDA::SetMciSendCommand(FakeSend);
        ASSERT_TRUE(VornCDDA::Open('E'));   // status items: 1 length, 2 position, 3 track count
        EXPECT_EQ(Sent(), "open 3300 516 E:; status 3; status 1; status 2 1; status 1 1; status 2 2; status 1 2; status 2 3; status 1 3; ");
        const uint32_t outside[][2] = {{0, 1}, {2, 0}, {1, 4}, {4, 4}};
        for (const auto& range : outside) EXPECT_FALSE(VornCDDA::Play(range[0], range[1], false)) << range[0] << "-" << range[1];
        // The last track, to the end of the disc; then PlayAll, refused while it plays.
        const bool last = VornCDDA::PlayTrack(3, true), all = VornCDDA::PlayAll(false);
        EXPECT_NAMED({"PlayTrack(3)", last, true}, {"PlayAll while playing", all, false});
        Notify(MCI_NOTIFY_ABORTED);
        Notify(MCI_NOTIFY_SUCCESSFUL, kDevice + 1);
        Notify(MCI_NOTIFY_SUCCESSFUL);               // a looping range plays again
        EXPECT_EQ(Sent(), "play 3150 4000; play 3150 4000; ");
        // Pause, resume from the saved position, pause; a stop ends the pause, so the next pause pauses.
        const bool paused = VornCDDA::Pause(), resumed = VornCDDA::Pause(), pausedAgain = VornCDDA::Pause(),
                   stopped = VornCDDA::Stop(), played = VornCDDA::PlayAll(false), pausedAfterStop = VornCDDA::Pause();
        EXPECT_NAMED({"Pause", paused, true}, {"Pause (resume)", resumed, true}, {"Pause again", pausedAgain, true},
                     {"Stop", stopped, true}, {"PlayAll", played, true}, {"Pause after the stop", pausedAfterStop, true});
        EXPECT_EQ(Sent(), "status 2; stop; play 1700 4000; status 2; stop; stop; play 150 3150; status 2; stop; ");
        // The door opened through the open device, which then closes; a play refused with none open; the
        // door closed through the default device, opened for it.
        const bool opened = VornCDDA::SetDoor(true), noneOpen = VornCDDA::Play(1, 1, false), closed = VornCDDA::SetDoor(false);
        EXPECT_NAMED({"SetDoor(open)", opened, true}, {"Play with none open", noneOpen, false}, {"SetDoor(closed)", closed, true});
        EXPECT_EQ(Sent(), "stop; door open; close; open 3100 516 -; door closed; close; ");
        // Failures: a status in Open, a disc of 100 tracks, a pause's stop, a resume, a door command.
        const uint32_t used = VornMemory::GetUsedSize();
        g_sent = 0, g_failAt = 5;   // the position of track 2
        const bool failedOpen = VornCDDA::Open('E');
        EXPECT_NAMED({"Open with a status failing", failedOpen, false}, {"work area used after it", VornMemory::GetUsedSize(), used});
        g_tracks.resize(100);
        EXPECT_FALSE(VornCDDA::Open('E'));
        g_tracks.resize(1);
        ASSERT_TRUE(VornCDDA::Open('E'));
        EXPECT_EQ(Sent(), "open 3300 516 E:; status 3; status 1; status 2 1; status 1 1; status 2 2; close; "
                          "open 3300 516 E:; status 3; close; open 3300 516 E:; status 3; status 1; status 2 1; status 1 1; ");
        g_sent = 0, g_failAt = 2;      // the first pause's stop
        // One track: an empty range plays; the failed pause leaves it unpaused, so the next one pauses.
        const bool one = VornCDDA::PlayAll(false), failedPause = VornCDDA::Pause(), pausedNow = VornCDDA::Pause();
        EXPECT_NAMED({"PlayAll", one, true}, {"Pause with its stop failing", failedPause, false}, {"Pause", pausedNow, true});
        g_failAt = 5;                       // the resume's play: closes
        const bool failedResume = VornCDDA::Pause(), notified = VornCDDA::OnNotify(MCI_NOTIFY_SUCCESSFUL, kDevice);
        EXPECT_NAMED({"Pause (resume) failing", failedResume, false}, {"OnNotify once closed", notified, false});
        g_failAt = 9;                       // the door command
        EXPECT_FALSE(VornCDDA::SetDoor(true));
        EXPECT_EQ(Sent(), "play 150 150; status 2; stop; status 2; stop; play 1700 150; stop; close; open 3100 516 -; door open; close; ");
    }, nullptr, OPTION_CDDA);
    EXPECT_TRUE(InOrder(log, {"VornCDDAクラスの初期化", "VornCDDAクラスの解放"})) << log;
}
