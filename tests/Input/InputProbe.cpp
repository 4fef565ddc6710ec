// An engine program for the keyboard test: boots the engine with input only, maps keys onto pad 0
// and prints what the pad and the key buffer see, one line per event, until Escape is down.
//   input_probe.exe LOGBASE [burst]
// burst: after the first key read, the devices are left unread for 3 s so that several typed
// keys arrive in one buffer read.
#include "Vorn.h"
#include "VornInput.h"
#include "VornLog.h"
#include <cstdio>
#include <cstring>

namespace {
const char* g_logBase = "input_probe";
bool g_burst = false;

void Say(const char* format, int value)
{
    printf(format, value);
    printf("\n");
    fflush(stdout);
}

void PumpMessages(bool* quit)
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) *quit = true;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}
}  // namespace

bool GameInit()
{
    Vorn::SetMemorySize(0x400000, true);
    Vorn::SetApplicationName("VornInputProbe");
    Vorn::SetScreenInfo(320, 240, true);
    Vorn::SetUseOption(OPTION_DIRECTINPUT);
    VornLog::SetFileName(g_logBase);
    return true;
}

int GameMain(int, char**)
{
    if (!Vorn::Start()) return 1;
    VornInput::SetPadConfig(1, 1, 30, 3);
    const int32_t keys[][2] = {{4, 0x2C}, {5, 0x2D}, {PAD_UP, 0xC8}, {PAD_LEFT, 0xCB}};   // Z, X, Up, Left
    for (const auto& k : keys) VornInput::SetPadKey(0, k[0], k[1]);
    Say("READY %d", 0);
    bool quit = false, paused = false, held[20] = {};
    const DWORD start = GetTickCount();
    while (!quit && GetTickCount() - start < 40000) {
        PumpMessages(&quit);
        VornInput::Refresh();
        VornInput::UpdatePads();
        int32_t key = 0x7777;
        bool any = false;
        while (VornInput::GetKeyBuffer(&key)) {
            Say("KEY %d", key);
            any = true;
        }
        if (any) Say("KEYEND %d", key);
        for (int b = 0; b < 6; ++b) {
            if (VornInput::GetPadState(0, PAD_STATE_TRIGGER, b)) Say("TRIGGER %d", b);
            if (VornInput::GetPadState(0, PAD_STATE_REPEAT, b)) Say("REPEAT %d", b);
            const bool h = VornInput::GetPadState(0, PAD_STATE_HOLD, b);
            if (h && !held[b]) Say("HOLD %d", b);
            held[b] = h;
            if (VornInput::GetPadState(0, PAD_STATE_RELEASE, b)) Say("RELEASE %d", b);
        }
        if (VornInput::IsKeyDown(0x01)) {   // Escape
            Say("ESCAPE %d", 1);
            break;
        }
        if (g_burst && any && !paused) {
            paused = true;
            Say("PAUSE %d", 0);
            const DWORD pause = GetTickCount();
            while (GetTickCount() - pause < 3000) {
                PumpMessages(&quit);
                Sleep(10);
            }
        }
        Sleep(16);
    }
    Vorn::Finalize();
    return 0;
}

bool GameMessageHook(UINT, WPARAM, LPARAM) { return true; }

int main(int argc, char** argv)
{
    if (argc > 1) g_logBase = argv[1];
    g_burst = argc > 2 && strcmp(argv[2], "burst") == 0;
    return static_cast<int>(Vorn::Boot(GetModuleHandleA(nullptr), argc, argv));
}
