// What hearing.py records from the null sink (disabled here: the script runs it alone). Each
// sound is followed by silence, so the recording splits into these pieces:
//   1. a 1 s WAVE through VornMusic;  2-4. a 1.5 s tone through VornMedia at volume 100, at
//   volume 50, at pan -100;  5. a 0.5 s WAVE through VornMedia with loop, for 3 s.
#include "AudioSupport.h"

using namespace audiotest;

TEST_F(AudioTest, DISABLED_HearingSounds)
{
    PutFile("tone.wav", MakeWave(1.5));
    PutFile("short.wav", MakeWave(0.5));
    const std::string wave = MakeWave(1.0);
    RunEngine([&] {
        Pump(3000);   // the recording's stream has started
        VornMusic::Play(VornMusic::CreateFromMemoryWave(wave.data(), uint32_t(wave.size()), 8));
        Pump(2500);
        const VornMediaHandle tone = VornMedia::CreateFromAudio("tone.wav");
        const float levels[][2] = {{100, 0}, {50, 0}, {100, -100}};   // volume, pan
        for (const auto& level : levels) {
            VornMedia::SetVolume(tone, level[0]);
            VornMedia::SetPan(tone, level[1]);
            VornMedia::Play(tone, false);
            Pump(2500);
        }
        const VornMediaHandle loop = VornMedia::CreateFromAudio("short.wav");
        VornMedia::Play(loop, true);
        Pump(3000);
        VornMedia::Stop(loop);
        Pump(1000);
    });
}
