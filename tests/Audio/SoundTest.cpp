// VornSound with Tuvra.dll on the null sink, and with the stand-in library (TuvraStub.dll).
#include "AudioSupport.h"
#include <process.h>

using namespace audiotest;

namespace {

bool LiveSlot()
{
    for (VornSoundHandle h = 0; h < 64; ++h) if (VornSound::GetRecord(h)) return true;
    return false;
}

// The engine's pack made of the tone "packtone.wav" between two neighbours (the loose copy gone).
bool PackTone(const std::string& wave)
{
    PutFile("src\\a.dat", std::string(4000, '\x7F'));
    PutFile("src\\packtone.wav", wave);
    PutFile("src\\z.dat", std::string(4000, '\x7F'));
    const bool built = VornFile::BuildPack(VornFile::GetPackPath(), "src");
    DeleteFileA("src\\packtone.wav");
    return built;
}

}  // namespace

TEST_F(AudioTest, SoundStartsDirectSoundLoadsTheLibraryOnceMakesWavesOfFilesPackEntriesAndMemoryAndRefusesBadOnes)
{
    const std::string wave = MakeWave(0.3);
    PutFile("tone.wav", wave);
    PutFile("cut.wav", wave.substr(0, 30));
    PutFile("junk.wav", std::string(64, 'x'));
    const std::string log = RunEngine([&] {
        IDirectSound8* ds = VornSound::GetDirectSound();
        ASSERT_NE(ds, nullptr);
        ds->Release();
        const HMODULE loaded = GetModuleHandleA("Tuvra.dll");
        EXPECT_TRUE(VornSound::LoadDriver("missing.dll"));   // already loaded: nothing is loaded again
        EXPECT_EQ(GetModuleHandleA("Tuvra.dll"), loaded);

        const uint32_t used = VornMemory::GetUsedSize();
        const VornSoundHandle file = VornSound::CreateFromFile("tone.wav", 0);
        const VornSoundHandle memory = VornSound::CreateFromMemory(wave.data(), uint32_t(wave.size()), 1);
        ASSERT_TRUE(PackTone(wave));
        const VornSoundHandle packed = VornSound::CreateFromFile("packtone.wav", 0);   // read from its entry's offset
        ASSERT_NAMED({"from a file", file, 0}, {"from memory", memory, 1}, {"from a pack entry", packed, 2});
        EXPECT_STREQ(VornSound::GetRecord(memory)->name, "CreateFromMemory");
        // Slot 1 starts, 3 stops, 4 restarts, 2 stops again; slot 0 tells whether it plays.
        std::vector<bool> playing;
        for (void (*slot)(VornSoundHandle) : {VornSound::InstanceSlot1, VornSound::InstanceSlot3, VornSound::InstanceSlot4, VornSound::InstanceSlot2}) {
            slot(memory);
            playing.push_back(VornSound::InstanceSlot0(memory));
        }
        EXPECT_EQ(playing, (std::vector<bool>{true, false, true, false}));
        for (VornSoundHandle h : {file, memory, packed}) VornSound::Release(h);
        EXPECT_EQ(VornMemory::GetUsedSize(), used);

        for (const char* name : {"cut.wav", "junk.wav"}) EXPECT_EQ(VornSound::CreateFromFile(name, 0), VORN_INVALID_HANDLE) << name;
        EXPECT_EQ(VornSound::CreateFromMemory("RIFF", 4, 0), VORN_INVALID_HANDLE);
        // A RIFF size of 0 once sent the chunk walk past the end (found by the fuzz target).
        EXPECT_EQ(VornSound::CreateFromMemory("RIFF\0\0\0\0WAVE\x11", 13, 0), VORN_INVALID_HANDLE);
        EXPECT_FALSE(LiveSlot());
        for (const char* name : {"tone.wav", "cut.wav", "junk.wav"}) EXPECT_TRUE(DeleteFileA(name)) << name << " is still open";
    }, nullptr, OPTION_DIRECTSOUND);
    EXPECT_TRUE(InOrder(log, {"VornSoundクラスの初期化", Strong("サウンド用メモリ確保"), Strong("　■ DirectSound8オブジェクトを生成"),
                              Strong("　■ DirectSoundオブジェクトを取得"), Strong("　■ DirectSoundオブジェクトを初期化"),
                              Strong("　■ 協調レベルを 優先レベル に設定"), Strong("　■ プライマリサウンドバッファを生成"),
                              Strong("　■ DirectSoundデバイスの性能をチェック"), "　　　最小サンプリング レート [",
                              "　　　ソフトウェアミキシングの必要なプロセッサ時間 [",
                              " : cut.wav : ", "[ No.0 ] : ", Red("Tuvraインターフェースの確保に失敗しました"), " [ fmt チャンクが壊れています ]",
                              " : junk.wav : ", Red("Tuvraインターフェースの確保に失敗しました"), " [ RIFF WAVE ではありません ]",
                              " [ fmt チャンクがありません ]", "VornSoundクラスの解放"})) << log;
    EXPECT_EQ(VornSound::GetDirectSound(), nullptr);   // released by Finalize
}

TEST_F(AudioTest, SoundWithoutTheBitHasNoDirectSoundAndAMissingOrIncompleteLibraryIsRefused)
{
    PutFile("tone.wav", MakeWave(0.1));
    const std::string log = RunEngine([] {
        EXPECT_EQ(VornSound::GetDirectSound(), nullptr);
        for (const char* dll : {"missing.dll", "TuvraNoError.dll", "TuvraNoError.dll"})
            EXPECT_FALSE(VornSound::LoadDriver(dll)) << dll;   // nothing is kept of a library refused
        EXPECT_EQ(VornSound::CreateFromMemory("x", 1, 0), VORN_INVALID_HANDLE);
        // A library without the create-from-handle entry is kept, but refuses files and memory.
        EXPECT_TRUE(VornSound::LoadDriver("TuvraNoHandle.dll"));
        ASSERT_TRUE(VornSound::Initialize());
        EXPECT_EQ(VornSound::CreateFromFile("tone.wav", 0), VORN_INVALID_HANDLE);
        EXPECT_EQ(VornSound::CreateFromMemory("x", 1, 0), VORN_INVALID_HANDLE);
        EXPECT_FALSE(LiveSlot());
        VornSound::Finalize();
    }, nullptr, 0);
    EXPECT_TRUE(InOrder(log, {Blue("VornSound::CreateFromFile"), Red("ドライバー(Tuvra)の初期化が完了していません"),
                              Blue("VornSound::CreateFromMemory"), Red("ドライバー(Tuvra)の初期化が完了していません")})) << log;
}

// Run by the next case from a copy of this program in a folder without Tuvra.dll.
TEST_F(AudioTest, DISABLED_SoundMissingLibrary)
{
    std::vector<SeenBox> boxes;
    BootRunning(OPTION_DIRECTSOUND, [] { VornLog::SetFileName("sound"); }, [] { EXPECT_FALSE(Vorn::Start()); }, &boxes);
    EXPECT_EQ(boxes, (std::vector<SeenBox>{{"ERROR", "サウンドクラスの初期化に失敗\nメモリの割り当て量が少ないかもしれません"}}));
}

TEST_F(AudioTest, SoundWithoutTheLibraryFailsToStartWithItsText)
{
    CreateDirectoryA("nolib", nullptr);
    ASSERT_TRUE(CopyFileA((ModuleFolder() + "\\audio_tests.exe").c_str(), "nolib\\audio_tests.exe", FALSE));
    ASSERT_EQ(GetFileAttributesA("nolib\\Tuvra.dll"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(_spawnl(_P_WAIT, "nolib\\audio_tests.exe", "audio_tests.exe", "--gtest_also_run_disabled_tests",
                      "--gtest_filter=AudioTest.DISABLED_SoundMissingLibrary", nullptr), 0);
    const std::string log = ReadFile("runtime-AudioTest-DISABLED_SoundMissingLibrary\\sound.html");
    EXPECT_TRUE(InOrder(log, {"VornSoundクラスの初期化", Strong("　■ DirectSoundデバイスの性能をチェック"),
                              Red("　エラー : ドライバーの初期化に失敗") + "<BR>"})) << log;
}

TEST_F(AudioTest, SoundShortReadIsAFailure)
{
    PutFile("short.bin", "abc");
    HANDLE f = CreateFileA("short.bin", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    char buffer[8];
    const int64_t at1 = VornSound::SeekCallback(f, 1), past = VornSound::ReadCallback(f, buffer, 8),
                  at0 = VornSound::SeekCallback(f, 0), all = VornSound::ReadCallback(f, buffer, 3);   // in this order
    EXPECT_NAMED({"seek to 1", at1, 1}, {"a read of 8 past the end", past, FALSE}, {"seek back", at0, 0}, {"a read of all 3", all, TRUE});
    CloseHandle(f);
}

TEST_F(AudioTest, SoundFadesSendFramesPlusOneValuesEndingAtTheEnd)
{
    RunEngine([] {   // the class started by hand over a library already loaded (Initialize then keeps it)
        EXPECT_TRUE(VornSound::LoadDriver("TuvraStub.dll"));
        ASSERT_TRUE(VornSound::Initialize());
        const auto values = reinterpret_cast<uint32_t (*)(const float**)>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("TuvraStub.dll"), "TuvraStub_Values")));
        ASSERT_NE(values, nullptr);
        const VornSoundHandle h = VornSound::CreateFromMemory("x", 1, 0);
        VornSound::SetFade(h, 0, 1, 0.0f, 100.0f, 4);
        for (int i = 0; i < 8; ++i) VornSound::UpdateFade();
        VornSound::SetFade(h, 1, 1, 10.0f, -50.0f, 0);   // no division by zero: the end value once
        for (int i = 0; i < 3; ++i) VornSound::UpdateFade();
        const float* v = nullptr;
        ASSERT_EQ(values(&v), 6u);
        EXPECT_EQ(std::vector<float>(v, v + 6), (std::vector<float>{0, 25, 50, 75, 100, -50}));
        VornSound::Finalize();
    }, nullptr, 0);
}

// Run by sound_hearing.py, which records the null sink: the tone from a loose file, silence, then
// the tone from a pack entry between two neighbours.
TEST_F(AudioTest, DISABLED_SoundHearing)
{
    const std::string wave = MakeWave(0.6);
    PutFile("tone.wav", wave);
    RunEngine([&] {
        ASSERT_TRUE(PackTone(wave));
        for (const char* name : {"tone.wav", "packtone.wav"}) {
            const VornSoundHandle h = VornSound::CreateFromFile(name, 0);
            ASSERT_NE(h, VORN_INVALID_HANDLE) << name;
            VornSound::InstanceSlot1(h);
            EXPECT_TRUE(VornSound::InstanceSlot0(h)) << name;   // its buffer started
            Sleep(1500);
            EXPECT_FALSE(VornSound::InstanceSlot0(h)) << name;   // played once, to its end
            VornSound::Release(h);
        }
    }, nullptr, OPTION_DIRECTSOUND);
}
