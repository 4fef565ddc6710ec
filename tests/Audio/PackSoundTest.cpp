// The game's sounds and tunes from Data\Data.bin (the copy beside the tests), as the game plays them:
// every WAVE through VornMusic, the MP3s looping through VornMedia. pack_hearing.py records them.
#include "AudioSupport.h"
#include "TuvraWave.h"

using namespace audiotest;

namespace {

const char* const kWaves[] = {
    "explos1.wav", "explos2.wav", "jump.wav", "kurai.wav", "shot1.wav", "shot2.wav", "walk.wav", "v_attack1.wav",
    "v_attack2.wav", "v_attack3.wav", "v_attack4.wav", "v_attack5.wav", "ene_attack.wav", "v_damage1.wav",
    "v_damage2.wav", "v_damage3.wav", "ene_bul.wav", "v_huzen.wav", "v_jattack1.wav", "v_jattack2.wav", "v_jump.wav",
    "v_rakka1.wav", "v_rakka2.wav", "v_shot1.wav", "v_shot2.wav", "v_shot3.wav", "boss_rakka.wav", "boss_step.wav",
    "boss_swing.wav", "boss_bul.wav", "v_start.wav", "v_end.wav", "op1.wav", "op2.wav", "v_clear.wav"};

// A WAVE's length in milliseconds, read by the sound library's own reader.
DWORD Milliseconds(const char* name)
{
    void* data = nullptr;
    uint32_t size = 0;
    TuvraWaveInfo wave = {};
    const char* error = nullptr;
    const bool ok = VornFile::Load(FILE_KIND_SOUND, name, &data, &size) && TuvraParseWave(static_cast<uint8_t*>(data), size, &wave, &error);
    VornMemory::Free(data);
    return ok ? DWORD(uint64_t(wave.dataSize) * 1000 / (wave.sampleRate * wave.blockAlign)) : 0;
}

}  // namespace

TEST_F(AudioTest, DISABLED_PackSoundsHearing)
{
    const std::string pack = ModuleFolder() + "\\Data\\Data.bin";
    RunEngine([&] {
        VornFile::SetRootPath("Data", pack.c_str());
        Pump(3000);   // the recording's stream has started
        for (const char* name : kWaves) {
            const DWORD ms = Milliseconds(name);
            const VornMusicHandle h = VornMusic::CreateFromWave(name, 8);
            SCOPED_TRACE(name);
            ASSERT_GT(ms, 0u);
            ASSERT_NE(h, VORN_INVALID_HANDLE);
            printf("%s\n", name);   // the hearing script's list
            fflush(stdout);
            VornMusic::Play(h);
            Pump(ms + 900);
            VornMusic::Release(h);
        }
        // Both tunes, bgm1 on the left and bgm2 on the right, on past their ends. (Only their
        // natural ends are tried: a seek to a later position makes these graphs silent here.)
        VornMediaHandle tunes[2];
        LONGLONG longest = 0;
        for (int i = 0; i < 2; ++i) {
            const char* name = i ? "bgm2.mp3" : "bgm1.mp3";
            tunes[i] = VornMedia::CreateFromAudio(name);
            ASSERT_NE(tunes[i], VORN_INVALID_HANDLE) << name;
            LONGLONG duration = 0;
            VornMedia::GetRecord(tunes[i])->seeking->GetDuration(&duration);
            EXPECT_NAMED({name, duration / 1e7, 45.0, 15.0});   // 30 to 60 s
            printf("%s %.3f\n", name, duration / 1e7);
            longest = std::max(longest, duration);
            VornMedia::SetPan(tunes[i], i ? 100.0f : -100.0f);
        }
        fflush(stdout);
        VornMedia::Play(tunes[0], true);
        Pump(1500);   // bgm1 alone first: the right channel holds only bgm2
        VornMedia::Play(tunes[1], true);
        Pump(DWORD(longest / 10000) + 3000);
        for (VornMediaHandle h : tunes) {
            LONGLONG position = -1;
            VornMedia::GetRecord(h)->seeking->GetCurrentPosition(&position);
            EXPECT_TRUE(VornMedia::IsPlaying(h)) << h;
            EXPECT_LT(position, 60000000) << "tune " << h << " wrapped to the start";
            VornMedia::Stop(h);
        }
        Pump(1000);
    });
}
