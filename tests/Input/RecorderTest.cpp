// Pad recording into tracks, replay over the live pad, and PAD files on disk.
#include "InputSupport.h"

using namespace inputtest;
using vorntest::OutPath;

namespace {

// The four masks of pad 0 now.
VornPadFrame Masks()
{
    return {Mask(0, PAD_STATE_TRIGGER), Mask(0, PAD_STATE_RELEASE), Mask(0, PAD_STATE_HOLD), Mask(0, PAD_STATE_REPEAT)};
}

bool Same(const VornPadFrame& a, const VornPadFrame& b) { return memcmp(&a, &b, sizeof a) == 0; }

std::vector<VornPadFrame> FramesOf(const std::string& bytes, size_t count)
{
    std::vector<VornPadFrame> frames(count);
    VornPadFile::DecodeFrames(frames.data(), reinterpret_cast<const uint8_t*>(bytes.data()) + 12, static_cast<uint32_t>(count));
    return frames;
}

}  // namespace

class Recorder : public InputTest {
protected:
    void SetUp() override
    {
        InputTest::SetUp();
        Attach(0);
        VornInput::SetPadConfig(1, 0, 2, 1);
        for (int32_t b = 4; b < 20; ++b) VornInput::SetPadJoystickButton(0, b, b - 4);
    }
    // Joystick buttons for frame f of a pattern that changes every frame.
    static void Pattern(int f)
    {
        g_raw[0] = {};
        for (int b = 0; b < 16; ++b)
            if (((f * 7 + b * 3) % 5) < 2) g_raw[0].button[b] = 0x80;
        g_raw[0].position[0] = (f % 3 == 0) ? -50000 : 0;
    }
    // Frames of the pattern from first on, each followed by its masks.
    static std::vector<VornPadFrame> Play(int first, int count)
    {
        std::vector<VornPadFrame> masks;
        for (int f = first; f < first + count; ++f) {
            Pattern(f);
            Frame();
            masks.push_back(Masks());
        }
        return masks;
    }
};

TEST_F(Recorder, RecordSaveLoadThenReplayOverridesExactlyTheRecordedFrames)
{
    const int kFrames = 12;
    ASSERT_TRUE(VornInput::InitPadRecorder(0, 1, kFrames));
    ASSERT_TRUE(VornInput::StartPadRecording(0, 0, 1));
    const std::vector<VornPadFrame> recorded = Play(0, kFrames);
    Play(kFrames, 3);   // three frames past the end are not stored
    VornInput::StopPadRecording(0, 0);
    const std::string file = OutPath("input.recorder.pad");
    ASSERT_TRUE(VornInput::SavePadRecord(0, file.c_str()));

    // The file: header, then the frames as recorded.
    const std::string bytes = ReadFile(file);
    ASSERT_EQ(12u + kFrames * 16u, bytes.size());
    const uint8_t header[12] = {'P', 'A', 'D', 0, 1, 0, 0, 0, kFrames, 0, 0, 0};
    EXPECT_EQ(0, memcmp(bytes.data(), header, 12));
    const std::vector<VornPadFrame> inFile = FramesOf(bytes, kFrames);
    for (int f = 0; f < kFrames; ++f) EXPECT_TRUE(Same(recorded[f], inFile[f])) << "frame " << f;

    // A fresh recorder, then the file loaded into it and replayed over live input.
    ASSERT_TRUE(VornInput::InitPadRecorder(0, 2, 5));
    ASSERT_TRUE(VornInput::LoadPadRecord(0, file.c_str()));
    ASSERT_TRUE(VornInput::StartPadReplay(0, 0, 1));
    g_raw[0] = {};
    g_raw[0].button[15] = 0x80;   // live: virtual button 19 held throughout
    // Frame 1 of the replay is the first recorded frame, not the live trigger of button 19.
    for (int f = 0; f < kFrames; ++f) {
        Frame();
        EXPECT_TRUE(Same(recorded[f], Masks())) << "replayed frame " << f;
    }
    // Past the end of the track the live pad shows again.
    Frame();
    const VornPadFrame live = Masks();
    EXPECT_TRUE(live.hold == 1u << 19 && live.trigger == 0 && live.release == 0) << live.hold << " " << live.trigger;

    // Rewinding replays it again from the first frame.
    VornInput::StartPadReplay(0, 0, 1);
    Frame();
    EXPECT_TRUE(Same(recorded[0], Masks()));

    // Saving the loaded recorder gives the same bytes back.
    const std::string again = OutPath("input.recorder-again.pad");
    ASSERT_TRUE(VornInput::SavePadRecord(0, again.c_str()));
    EXPECT_EQ(bytes, ReadFile(again));
    EXPECT_TRUE(vorntest::HasAll(Log(), {"VornInput::SavePadRecord", "VornInput::LoadPadRecord", "Success"}));

    // Loading a file or a new recorder stops replay and recording: the live pad shows at once.
    for (int step = 0; step < 4; ++step) {
        (step % 2 ? VornInput::StartPadRecording : VornInput::StartPadReplay)(0, 0, 1);
        ASSERT_TRUE(step < 2 ? VornInput::LoadPadRecord(0, file.c_str()) : VornInput::InitPadRecorder(0, 1, kFrames));
        Frame();
        EXPECT_EQ(1u << 19, Masks().hold) << step;
    }
}

TEST_F(Recorder, TracksActiveTogetherShareOneFramePosition)
{
    ASSERT_TRUE(VornInput::InitPadRecorder(0, 3, 4));
    VornInput::StartPadRecording(0, 0, 1);
    VornInput::StartPadRecording(0, 2, 0);
    const std::vector<VornPadFrame> recorded = Play(0, 4);
    const std::string file = OutPath("input.two-tracks.pad");
    ASSERT_TRUE(VornInput::SavePadRecord(0, file.c_str()));
    const std::string bytes = ReadFile(file);
    ASSERT_EQ(12u + 3 * 4 * 16u, bytes.size());
    const std::vector<VornPadFrame> frames = FramesOf(bytes, 12);
    for (int f = 0; f < 4; ++f) {
        EXPECT_TRUE(Same(recorded[f], frames[f])) << "track 0 frame " << f;
        EXPECT_TRUE(Same(VornPadFrame{}, frames[4 + f])) << "track 1 (idle) frame " << f;
        EXPECT_TRUE(Same(recorded[f], frames[8 + f])) << "track 2 frame " << f;
    }

    // One track replays while another records what the pad then shows: the same frames.
    VornInput::StopPadRecording(0, 2);
    VornInput::StartPadReplay(0, 0, 1);
    VornInput::StartPadRecording(0, 1, 0);
    g_raw[0] = {};
    for (int f = 0; f < 4; ++f) {
        Frame();
        EXPECT_TRUE(Same(recorded[f], Masks())) << "frame " << f;
    }
    const std::string copy = OutPath("input.two-tracks-copy.pad");
    ASSERT_TRUE(VornInput::SavePadRecord(0, copy.c_str()));
    const std::string copied = ReadFile(copy);
    ASSERT_EQ(bytes.size(), copied.size());
    EXPECT_EQ(0, memcmp(copied.data() + 12, copied.data() + 12 + 4 * 16, 4 * 16));   // track 1 == track 0
}

TEST_F(Recorder, MalformedFilesAreRefusedAndTheRecorderIsLeftAsItWas)
{
    // Which headers pass is pinned byte by byte in the PAD file tests; here a file of each kind of
    // fault goes through LoadPadRecord.
    ASSERT_TRUE(VornInput::InitPadRecorder(0, 1, 3));
    VornInput::StartPadRecording(0, 0, 1);
    Play(1, 3);
    const std::string good = OutPath("input.good.pad");
    ASSERT_TRUE(VornInput::SavePadRecord(0, good.c_str()));
    const std::string original = ReadFile(good);
    ASSERT_EQ(12u + 48u, original.size());

    auto with = [&](size_t at, char value) {
        std::string b = original;
        b[at] = value;
        return b;
    };
    const struct { const char* what; std::string bytes; } bad[] = {
        {"magic", with(2, 'X')}, {"no tracks", with(4, 0)}, {"257 tracks", with(5, 1)}, {"frames 0", with(8, 0)},
        {"more frames than the file holds", with(8, 4)}, {"one byte short", original.substr(0, original.size() - 1)},
        {"header cut", original.substr(0, 8)}, {"empty", ""},
    };
    const std::string path = OutPath("input.bad.pad");
    const std::string check = OutPath("input.check.pad");
    for (const auto& b : bad) {
        ASSERT_TRUE(vorntest::WriteFile(path, {b.bytes.begin(), b.bytes.end()}));
        EXPECT_FALSE(VornInput::LoadPadRecord(0, path.c_str())) << b.what;
        ASSERT_TRUE(VornInput::SavePadRecord(0, check.c_str()));
        EXPECT_EQ(original, ReadFile(check)) << b.what;
    }
    EXPECT_FALSE(VornInput::LoadPadRecord(0, OutPath("input.missing.pad").c_str()));
    EXPECT_FALSE(VornInput::LoadPadRecord(16, good.c_str()));
    EXPECT_FALSE(VornInput::LoadPadRecord(0, nullptr));

    // The recorder still replays what it had.
    VornInput::StartPadReplay(0, 0, 1);
    g_raw[0] = {};
    const std::vector<VornPadFrame> frames = FramesOf(original, 3);
    for (int f = 0; f < 3; ++f) {
        Frame();
        EXPECT_TRUE(Same(frames[f], Masks())) << "frame " << f;
    }
    EXPECT_NE(std::string::npos, Log().find("PADファイルではありません"));
}

TEST_F(Recorder, BadRecorderSettingsAreRefused)
{
    const int32_t refused[][3] = {{0, 257, 10}, {0, -1, 10}, {0, 1, 0}, {0, 1, -5}, {16, 1, 10}};
    for (const auto& r : refused) EXPECT_FALSE(VornInput::InitPadRecorder(r[0], r[1], r[2])) << r[0] << " " << r[1] << " " << r[2];
    EXPECT_FALSE(VornInput::StartPadRecording(0, 256, 1));
    EXPECT_FALSE(VornInput::StartPadReplay(-1, 0, 1));
    EXPECT_FALSE(VornInput::StopPadReplay(0, -1));
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
}
