// The game's entry functions: settings before the engine starts, the whole run of the game, and
// the message hook.
#include "GameMain.h"
#include "GameDirector.h"
#include "StageField.h"
#include "Title.h"
#include "Task.h"
#include "TestSeam.h"
#include "VornEngine.h"
#include <cstdint>
#include <cstdlib>
#include <ctime>

GameInput g_input;

namespace {
uint32_t g_frame = 0;
// Pad 0's keys: Z, X, C, S, D, Return, Space, then the arrows (virtual button, DirectInput code).
constexpr int32_t kPadKeys[][2] = {{4, 0x2C}, {5, 0x2D}, {6, 0x2E}, {7, 0x1F}, {8, 0x20}, {9, 0x1C},
                                   {10, 0x39}, {0, 0xC8}, {1, 0xD0}, {2, 0xCB}, {3, 0xCD}};
// Z, X and C typed since the last latch (bits of their virtual buttons).
uint32_t g_typedPushes = 0;

// The keyboard's event buffer, as the last read of the devices left it.
void CollectTypedPushes()
{
    for (int32_t key = 0; VornInput::GetKeyBuffer(&key); key = 0) NoteTypedKey(key);
}
}

uint32_t GameFrame() { return g_frame; }

bool GameInit()
{
    ReadTestSeam();
    Vorn::SetMemorySize(0x2000000, true);
    Vorn::SetApplicationName("トルメア");
    const int answer = g_seam.active ? IDNO
                                     : MessageBoxA(Vorn::GetWindowHandle(), "フルスクリーンモードで起動します",
                                                   "起動オプション", MB_YESNO);
    Vorn::SetScreenInfo(640, 480, answer == IDNO);
    Vorn::SetDrawTitleInfo();
    Vorn::SetUseOption(OPTION_DIRECT3D | OPTION_DIRECTINPUT | OPTION_DIRECTMUSIC | OPTION_DIRECTSHOW);
    Vorn::SetFrameRate(g_seam.fast ? 0 : 60);
    return true;
}

namespace {
VornSurfaceHandle g_depthSurface = VORN_INVALID_HANDLE;
const char* const kPackPath = "Data\\Data.bin";
}

bool CheckGameData()
{
    const VornPackCheck check = VornFile::CheckPack(kPackPath);
    if (check == PACK_CHECK_OK) return true;
    Vorn::MsgBox(MB_ICONHAND, "ERROR",
                 check == PACK_CHECK_MISSING ? "データファイルが見つかりません\n%s" : "データファイルが壊れています\n%s",
                 kPackPath);
    // The pump's last message gives the process its exit code.
    PostQuitMessage(1);
    while (Vorn::Run(true)) {
    }
    return false;
}

void StartGameWorld()
{
    // The 640x480 16-bit depth buffer.
    g_depthSurface = VornSurface::CreateDepthStencil(640, 480, VORN_FORMAT_DEPTH16);
    Vorn3D::SetDepthStencilSurface(g_depthSurface);
    Vorn3D::SetRenderState(D3DRS_ZENABLE, 1);
    Vorn3D::SetRenderState(D3DRS_ZWRITEENABLE, 1);
    Vorn3D::SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    Vorn3D::SetAlphaEnable(true);
    Vorn3D::SetBlendMode(BLEND_ALPHA);
    Vorn3D::SetPerspective(true, 320.0f, 240.0f, 100.0f);
    // A cleared frame at once: the window shows black, not what lay beneath it, while the world loads.
    Vorn3D::Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0, nullptr);
    Vorn3D::Present(nullptr);
    MapPadInput();
    StartTestSeam();
    VornFile::SetRootPath("Data", kPackPath);

    g_taskList = new TaskList;
    g_director = new GameDirector;
    // Everything play needs and every first draw it makes, before the title's first frame.
    g_director->PrepareAll();
    new Title;
    g_director->SetScene(SCENE_TITLE);
    g_frame = 0;
}

void RunGameFrame()
{
    Vorn3D::Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, g_director->GetScene() == SCENE_TITLE ? 0xFF000000 : 0xFF5050FF,
                  1.0f, 0, nullptr);
    LatchInput();
    SeamBeforeRun(g_frame);
    if (Vorn3D::BeginScene()) {
        g_taskList->RunAll();
        Vorn3D::EndScene();
    }
    SeamBeforePresent(g_frame);
    Vorn3D::Present(nullptr);
    SeamAfterPresent(g_frame);
    VornInput::Refresh();
    CollectTypedPushes();
    ++g_frame;
}

void EndGameWorld()
{
    VornSurface::Release(g_depthSurface);
    g_depthSurface = VORN_INVALID_HANDLE;
    delete g_taskList;
    g_taskList = nullptr;
    g_director = nullptr;
}

int GameMain(int argc, char** argv)
{
    if (CheckGameData() && Vorn::Start()) {
        srand(g_seam.seeded ? g_seam.seed : static_cast<unsigned>(time(nullptr)));
        StartGameWorld();
        while (Vorn::Run(g_seam.noWait)) RunGameFrame();
    }
    EndTestSeam();
    EndGameWorld();
    Vorn::Finalize();
    return 0;
}

bool GameMessageHook(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_KEYDOWN && wParam == VK_ESCAPE) Vorn::Exit();
    return true;
}

void MapPadInput()
{
    // Pad 0: keyboard and joystick 0, repeat after 30 frames and then every 3.
    VornInput::SetPadConfig(1, 1, 30, 3);
    static const int32_t joystickButtons[][2] = {{4, 3}, {5, 2}, {6, 1}, {7, 6}, {8, 7}, {9, 0}, {10, 4}};
    for (const auto& m : joystickButtons) VornInput::SetPadJoystickButton(0, m[0], m[1]);
    for (const auto& m : kPadKeys) VornInput::SetPadKey(0, m[0], m[1]);
}

void NoteTypedKey(int32_t key)
{
    // A replayed or recorded pad is the whole input: the keyboard adds nothing to it.
    if (!g_seam.replay.empty() || !g_seam.record.empty()) return;
    for (const auto& m : kPadKeys)
        if (m[1] == key && m[0] >= 4 && m[0] <= 6) g_typedPushes |= 1u << m[0];
}

void LatchInput()
{
    CollectTypedPushes();
    g_input.pushZ = VornInput::GetPadState(0, PAD_STATE_TRIGGER, 4) || (g_typedPushes >> 4 & 1);
    g_input.pushX = VornInput::GetPadState(0, PAD_STATE_TRIGGER, 5) || (g_typedPushes >> 5 & 1);
    g_input.pushC = VornInput::GetPadState(0, PAD_STATE_TRIGGER, 6) || (g_typedPushes >> 6 & 1);
    g_typedPushes = 0;
    g_input.holdRight = VornInput::GetPadState(0, PAD_STATE_HOLD, PAD_RIGHT);
    g_input.holdLeft = VornInput::GetPadState(0, PAD_STATE_HOLD, PAD_LEFT);
    g_input.holdUp = VornInput::GetPadState(0, PAD_STATE_HOLD, PAD_UP);
    g_input.holdDown = VornInput::GetPadState(0, PAD_STATE_HOLD, PAD_DOWN);
}
