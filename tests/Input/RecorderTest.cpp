// Pad recording into tracks, replay over the live pad, and PAD files on disk.
#include "InputSupport.h"

using namespace inputtest;
using vorntest::OutPath;

using Frames = std::vector<VornPadFrame>;

namespace {

Frames FramesOf(const std::string& bytes, size_t count, size_t first = 0)
{
    Frames frames(count);
    VornPadFile::DecodeFrames(frames.data(), reinterpret_cast<const uint8_t*>(bytes.data()) + 12 + first * 16, static_cast<uint32_t>(count));
    return frames;
}

// Saves the recorder of pad 0 under name and gives the file's bytes.
std::string Saved(const char* name)
{
    const std::string file = OutPath(name);
    EXPECT_TRUE(VornInput::SavePadRecord(0, file.c_str())) << name;
    return ReadFile(file);
}

}  // namespace

class Recorder : public InputTest {
protected:
    void SetUp() override
    {
        InputTest::SetUp();
        VornInput::SetPadConfig(1, 0, 2, 1);
        for (int32_t b = 4; b < 20; ++b) VornInput::SetPadJoystickButton(0, b, b - 4);
    }
    // count frames, each followed by the four masks of pad 0: of a pattern that changes every frame
    // from frame first on, or (first < 0) of the joystick as it is.
    static Frames Play(int first, int count)
    {
        Frames masks;
        for (int f = first; f < first + count; ++f) {
            if (first >= 0) {
                g_raw[0] = {};
                for (int b = 0; b < 16; ++b) if (((f * 7 + b * 3) % 5) < 2) g_raw[0].button[b] = 0x80;
                g_raw[0].position[0] = (f % 3 == 0) ? -50000 : 0;
            }
            Frame();
            masks.push_back(Masks());
        }
        return masks;
    }
};

TEST_F(Recorder, RecordSaveLoadThenReplayOverridesExactlyTheRecordedFramesAndActiveTracksShareOnePosition)
{
    const int kFrames = 12;
    ASSERT_TRUE(VornInput::InitPadRecorder(0, 3, kFrames));
    ASSERT_TRUE(VornInput::StartPadRecording(0, 0, 1));
    ASSERT_TRUE(VornInput::StartPadRecording(0, 2, 0));
    const Frames recorded = Play(0, kFrames);
    Play(kFrames, 3);   // three frames past the end are not stored
    for (int32_t track : {0, 2}) VornInput::StopPadRecording(0, track);
    const std::string file = OutPath("input.recorder.pad"), bytes = Saved("input.recorder.pad");

    // The file: the magic and two little-endian counts, then the tracks' frames as recorded (track 1 idle).
    ASSERT_EQ(12u + 3 * kFrames * 16u, bytes.size());
    EXPECT_EQ(std::string("PAD\0\3\0\0\0\x0C\0\0\0", 12), bytes.substr(0, 12));   // 3 tracks of kFrames (12)
    EXPECT_NAMED({"track 0", FramesOf(bytes, kFrames), recorded}, {"track 1", FramesOf(bytes, kFrames, kFrames), Frames(kFrames)},
                 {"track 2", FramesOf(bytes, kFrames, 2 * kFrames), recorded});

    // A fresh recorder, then the file loaded into it and track 0 replayed over live input (virtual
    // button 19 held throughout) while track 1 records what the pad then shows. Frame 1 of the replay
    // is the first recorded frame, not the live trigger.
    ASSERT_TRUE(VornInput::InitPadRecorder(0, 2, 5));
    ASSERT_TRUE(VornInput::LoadPadRecord(0, file.c_str()));
    ASSERT_TRUE(VornInput::StartPadReplay(0, 0, 1));
    ASSERT_TRUE(VornInput::StartPadRecording(0, 1, 0));
    g_raw[0] = {};
    g_raw[0].button[15] = 0x80;
    EXPECT_EQ(recorded, Play(-1, kFrames));
    VornInput::StopPadRecording(0, 1);
    // Past the end of the track the live pad shows again.
    const VornPadFrame live = Play(-1, 1)[0];
    EXPECT_NAMED({"hold", Argb{live.hold}, Argb{1u << 19}}, {"trigger", Argb{live.trigger}, Argb{0}}, {"release", Argb{live.release}, Argb{0}});
    // Rewinding replays it again from the first frame.
    VornInput::StartPadReplay(0, 0, 1);
    EXPECT_EQ(recorded[0], Play(-1, 1)[0]);

    // Saving the loaded recorder gives its bytes back, track 1 now a copy of track 0.
    std::string copied = bytes;
    copied.replace(12 + kFrames * 16, kFrames * 16, bytes, 12, kFrames * 16);
    EXPECT_EQ(copied, Saved("input.recorder-again.pad"));
    EXPECT_TRUE(vorntest::HasAll(Log(), {"VornInput::SavePadRecord", "VornInput::LoadPadRecord", "Success"}));

    // Loading a file or a new recorder stops replay and recording: the live pad shows at once.
    for (int step = 0; step < 4; ++step) {
        (step % 2 ? VornInput::StartPadRecording : VornInput::StartPadReplay)(0, 0, 1);
        ASSERT_TRUE(step < 2 ? VornInput::LoadPadRecord(0, file.c_str()) : VornInput::InitPadRecorder(0, 1, kFrames));
        EXPECT_EQ(1u << 19, Play(-1, 1)[0].hold) << step;
    }
}

TEST_F(Recorder, BadSettingsAndMalformedFilesAreRefusedAndTheRecorderIsLeftAsItWas)
{
    const int32_t refused[][3] = {{0, 257, 10}, {0, -1, 10}, {0, 1, 0}, {0, 1, -5}, {16, 1, 10}};
    for (const auto& r : refused) EXPECT_FALSE(VornInput::InitPadRecorder(r[0], r[1], r[2])) << r[0] << " " << r[1] << " " << r[2];
    const bool record = VornInput::StartPadRecording(0, 256, 1), replay = VornInput::StartPadReplay(-1, 0, 1),
               stop = VornInput::StopPadReplay(0, -1);
    EXPECT_NAMED({"recording track 256", record, false}, {"replay on pad -1", replay, false}, {"stopping track -1", stop, false});
    // Nothing recorded: nothing to save.
    const std::string nothing = OutPath("input.nothing.pad");
    EXPECT_FALSE(VornInput::SavePadRecord(0, nothing.c_str()));
    EXPECT_TRUE(ReadFile(nothing).empty());
    // 256 tracks is the most; no tracks empties the recorder.
    EXPECT_TRUE(VornInput::InitPadRecorder(0, 256, 2));
    EXPECT_TRUE(VornInput::InitPadRecorder(0, 0, 0));
    EXPECT_FALSE(VornInput::SavePadRecord(0, nothing.c_str()));
    // A track beyond those in use neither records nor replays.
    ASSERT_TRUE(VornInput::InitPadRecorder(0, 1, 4));
    VornInput::StartPadReplay(0, 5, 1);
    g_raw[0].button[0] = 0x80;
    Frame();
    EXPECT_TRUE(VornInput::GetPadState(0, PAD_STATE_TRIGGER, 4));

    // Which headers pass is pinned in the PAD file tests; here a refused header and files too short
    // to hold one go through LoadPadRecord.
    ASSERT_TRUE(VornInput::InitPadRecorder(0, 1, 3));
    VornInput::StartPadRecording(0, 0, 1);
    Play(1, 3);
    const std::string good = OutPath("input.good.pad"), original = Saved("input.good.pad");
    ASSERT_EQ(12u + 48u, original.size());

    std::string magic = original;
    magic[2] = 'X';
    const struct { const char* what; std::string bytes; } bad[] = {{"magic", magic}, {"header cut", original.substr(0, 8)}, {"empty", ""}};
    const std::string path = OutPath("input.bad.pad");
    for (const auto& b : bad) {
        ASSERT_TRUE(vorntest::WriteFile(path, {b.bytes.begin(), b.bytes.end()}));
        EXPECT_FALSE(VornInput::LoadPadRecord(0, path.c_str())) << b.what;
        EXPECT_EQ(original, Saved("input.check.pad")) << b.what;
    }
    const bool missing = VornInput::LoadPadRecord(0, OutPath("input.missing.pad").c_str()),
               pad16 = VornInput::LoadPadRecord(16, good.c_str()), none = VornInput::LoadPadRecord(0, nullptr);
    EXPECT_NAMED({"a missing file", missing, false}, {"pad 16", pad16, false}, {"no name", none, false});

    // The recorder still replays what it had.
    VornInput::StartPadReplay(0, 0, 1);
    g_raw[0] = {};
    EXPECT_EQ(FramesOf(original, 3), Play(-1, 3));
    EXPECT_NE(std::string::npos, Log().find("PADファイルではありません"));
}
