// VornMusic and the shared level conversions, on the engine booted with music and media.
#include "AudioSupport.h"
#include "VornAudioCommon.h"

using namespace audiotest;

TEST(AudioLevel, PercentagesBecomeHundredthsOfADecibel)
{
    const struct { float percent; int32_t volume, pan; } cases[] = {
        {100, 0, 10000}, {150, 0, 10000}, {50, -2500, 2500}, {0, -10000, 0}, {-5, -10000, -25},
        {-30, -10000, -900}, {-100, -10000, -10000}, {-150, -10000, -10000}};
    for (const auto& c : cases) {
        EXPECT_EQ(VornVolumeToLevel(c.percent), c.volume) << c.percent;
        EXPECT_EQ(VornPanToLevel(c.percent), c.pan) << c.percent;
    }
}

TEST_F(AudioTest, MusicPlaysAndReleasesByTheEntryStateLoadsFillTheTableAndFinalizeFreesEntriesAboveALoweredBound)
{
    PutFile("m.wav", MakeWave(0.2));
    const std::string wave = MakeWave(1.0), smf = MakeSmf(), junk(300, '\x5A'), cut = wave.substr(0, 44), noMidi = "MThd" + junk;
    PutFile("junk.wav", junk);
    const std::string log = RunEngine([&] {
        const VornMusicHandle h = VornMusic::CreateFromMemoryWave(wave.data(), uint32_t(wave.size()), 8);
        const VornMusicRecord* r = VornMusic::GetRecord(h);
        ASSERT_NE(r, nullptr);
        VornMusic::Stop(h);
        VornMusic::Pause(h);
        EXPECT_EQ(r->segmentState, nullptr);   // idle: a pause started nothing
        VornMusic::Play(h);
        IDirectMusicSegmentState* first = r->segmentState;
        ASSERT_NE(first, nullptr);
        first->AddRef();   // held, so that a new state cannot take its address
        VornMusic::Play(h);
        EXPECT_NE(r->segmentState, nullptr);
        EXPECT_NE(r->segmentState, first);
        first->Release();
        VornMusic::PlayLoop(h);
        VornMusic::Pause(h);
        EXPECT_EQ(r->segmentState, nullptr);
        VornMusic::Pause(h);   // resumes, still looping
        DWORD repeats = 0;
        const HRESULT read = r->segment->GetRepeats(&repeats);
        EXPECT_NAMED({"playing", r->segmentState != nullptr, true}, {"GetRepeats", Argb{DWORD(read)}, Argb{S_OK}},
                     {"repeats", repeats, DMUS_SEG_REPEAT_INFINITE});
        VornMusic::SetVolume(h, 50);   // ends, though every index gives the same buffer here
        VornMusic::SetPan(h, -30);
        IDirectSoundBuffer* buffer = nullptr;
        LONG volume = 0, pan = 0;
        r->audioPath->GetObjectInPath(DMUS_PCHANNEL_ALL, DMUS_PATH_BUFFER, 0, GUID_NULL, 0, IID_IDirectSoundBuffer,
                                      reinterpret_cast<void**>(&buffer));
        ASSERT_NE(buffer, nullptr);
        const HRESULT readVolume = buffer->GetVolume(&volume), readPan = buffer->GetPan(&pan);
        buffer->Release();
        EXPECT_NAMED({"GetVolume", Argb{DWORD(readVolume)}, Argb{S_OK}}, {"GetPan", Argb{DWORD(readPan)}, Argb{S_OK}},
                     {"volume", volume, -2500}, {"pan", pan, -900});
        VornMusic::AddRef(h);
        VornMusic::Release(h);
        EXPECT_NAMED({"in use", int(r->inUse), 1}, {"playing", r->segmentState != nullptr, true});   // one reference left: it keeps playing
        VornMusic::Stop(h);
        EXPECT_NAMED({"in use after Stop", int(r->inUse), 1}, {"playing after Stop", r->segmentState != nullptr, false});
        VornMusic::Release(h);
        // A standard MIDI file from memory loads through a temporary copy that goes with the entry.
        const VornMusicHandle midi = VornMusic::CreateFromMemoryMidi(smf.data(), uint32_t(smf.size()), 8);
        ASSERT_NE(VornMusic::GetRecord(midi), nullptr);
        const std::string copy = VornMusic::GetRecord(midi)->tempPath;
        EXPECT_EQ(ReadFile(copy), smf);
        VornMusic::Play(midi);
        EXPECT_NE(VornMusic::GetRecord(midi)->segmentState, nullptr);
        VornMusic::Release(midi);
        EXPECT_EQ(GetFileAttributesA(copy.c_str()), INVALID_FILE_ATTRIBUTES);

        for (const char* name : {"none.wav", "junk.wav"}) EXPECT_EQ(VornMusic::CreateFromWave(name, 8), VORN_INVALID_HANDLE) << name;
        for (const std::string* bytes : {&junk, &cut, &noMidi})   // DirectMusic itself takes the last two
            EXPECT_EQ(VornMusic::CreateFromMemoryWave(bytes->data(), uint32_t(bytes->size()), 8), VORN_INVALID_HANDLE) << bytes->size() << " bytes";
        // The missing file and bad bytes took no entry.
        const VornMusicHandle file = VornMusic::CreateFromWave("m.wav", 8), again = VornMusic::CreateFromWave("m.wav", 8),
                              memory = VornMusic::CreateFromMemoryWave(wave.data(), uint32_t(wave.size()), 8);
        EXPECT_NAMED({"m.wav", file, 0}, {"m.wav again", again, 1}, {"from memory", memory, 2});
        const uint32_t used = VornMemory::GetUsedSize();
        EXPECT_EQ(VornMusic::CreateFromWave("m.wav", 8), VORN_INVALID_HANDLE);
        EXPECT_EQ(VornMemory::GetUsedSize(), used);
        VornMusic::SetMax(1);
        VornMusic::Release(1);
        EXPECT_EQ(VornMusic::CreateFromMemoryWave(wave.data(), uint32_t(wave.size()), 8), VORN_INVALID_HANDLE);
    }, [] { VornMusic::SetMax(3); });
    EXPECT_TRUE(InOrder(log, {Red("VornMusic::Release") + " : [ No.0 ]", Blue("VornMusic::CreateFromMemoryMidi"), " : [ No.0 ] : ", Green("Success"),
                              Blue("VornMusic::CreateFromWave"), " : none.wav : ", Red("ファイルの読み込みに失敗しました"),
                              "[ No.0 ] : ", Green("Success"), "[ No.2 ] : ", Green("Success"), " : m.wav : ",
                              Red("空きミュージックが見つかりませんでした"), Red("VornMusic::Release") + " : [ No.1 ]",
                              Red("空きミュージックが見つかりませんでした"), "VornMusicクラスの解放",
                              Red("Music Destroy [ No.0 ]"), Red("Music Destroy [ No.2 ]"), Strong("　■ DirectMusicLoaderを解体")}));
}
