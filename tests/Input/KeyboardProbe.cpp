// Run by keyboard_test.py: the engine booted with input only, keys mapped onto pad 0, printing what
// the pad and the key buffer see, one line per event, until Escape is down. Burst: after the first
// key read the devices are left unread for 3 s, so that several typed keys arrive in one buffer read.
#include "../Runtime/BootRun.h"
#include "InputSupport.h"
#include <cstdio>

namespace {

void Probe(const char* log, bool burst)
{
    vorntest::BootRunning(OPTION_DIRECTINPUT, [log] { VornLog::SetFileName(vorntest::OutPath(log).c_str()); }, [burst] {
        ASSERT_TRUE(Vorn::Start());
        setvbuf(stdout, nullptr, _IONBF, 0);   // each line reaches the script at once
        VornInput::SetPadConfig(1, 1, 30, 3);
        const int32_t keys[][2] = {{4, 0x2C}, {5, 0x2D}, {PAD_UP, 0xC8}, {PAD_LEFT, 0xCB}};   // Z, X, Up, Left
        for (const auto& k : keys) VornInput::SetPadKey(0, k[0], k[1]);
        printf("READY %d\n", 0);
        bool paused = false, held[20] = {};
        for (const DWORD start = GetTickCount(); GetTickCount() - start < 40000; Sleep(16)) {
            vorntest::PumpMessages();
            inputtest::Frame();
            int32_t key = 0x7777;
            bool any = false;
            for (; VornInput::GetKeyBuffer(&key); any = true) printf("KEY %d\n", key);
            if (any) printf("KEYEND %d\n", key);
            for (int b = 0; b < 6; ++b) {
                if (VornInput::GetPadState(0, PAD_STATE_TRIGGER, b)) printf("TRIGGER %d\n", b);
                if (VornInput::GetPadState(0, PAD_STATE_REPEAT, b)) printf("REPEAT %d\n", b);
                const bool h = VornInput::GetPadState(0, PAD_STATE_HOLD, b);
                if (h && !held[b]) printf("HOLD %d\n", b);
                held[b] = h;
                if (VornInput::GetPadState(0, PAD_STATE_RELEASE, b)) printf("RELEASE %d\n", b);
            }
            if (VornInput::IsKeyDown(0x01)) {   // Escape
                printf("ESCAPE %d\n", 1);
                break;
            }
            if (burst && any && !paused) {
                paused = true;
                printf("PAUSE %d\n", 0);
                for (const DWORD pause = GetTickCount(); GetTickCount() - pause < 3000; Sleep(10)) vorntest::PumpMessages();
            }
        }
        Vorn::Finalize();
    });
}

}  // namespace

TEST(Keyboard, DISABLED_Frames) { Probe("input_keyboard", false); }
TEST(Keyboard, DISABLED_Burst) { Probe("input_keyboard_burst", true); }
