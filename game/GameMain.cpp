// The game's entry functions: settings before the engine starts, the whole run of the game, and
// the message hook.
#include "GameMain.h"
#include "GameDirector.h"
#include "Task.h"
#include "Vorn.h"
#include <cstdint>
#include <cstdlib>
#include <ctime>

GameInput g_input;

bool GameInit()
{
    Vorn::SetMemorySize(0x2000000, true);
    Vorn::SetApplicationName("トルメア");
    const int answer = MessageBoxA(Vorn::GetWindowHandle(), "フルスクリーンモードで起動します", "起動オプション", MB_YESNO);
    Vorn::SetScreenInfo(640, 480, answer == IDNO);
    Vorn::SetDrawTitleInfo();
    Vorn::SetUseOption(OPTION_DIRECT3D | OPTION_DIRECTINPUT | OPTION_DIRECTMUSIC | OPTION_DIRECTSHOW);
    Vorn::SetFrameRate(60);
    return true;
}

int GameMain(int argc, char** argv)
{
    const uint32_t depthSurface = 0xFFFFFFFF;
    if (Vorn::Start()) {
        srand(static_cast<unsigned>(time(nullptr)));

        // pending VornSurface, Vorn3D: the 640x480 16-bit depth surface:
        //   depthSurface = VornSurface::CreateDepthStencil(640, 480, 6);
        //   Vorn3D::SetDepthStencilSurface(depthSurface);
        // pending Vorn3D: render settings: Z enable, Z write, no culling, alpha on, alpha blending,
        //   2D depth perspective centred on the screen (SetPerspective(true, 320, 240, 100)).
        // pending VornInput: pad 0 configuration, joystick buttons and keys.
        // pending VornFile: VornFile::SetRootPath("Data", "Data\\Data.bin");

        g_taskList = new TaskList;
        g_director = new GameDirector;
        // pending Title: new Title;
        // pending StageField: g_stage = new StageField;
        g_director->SetScene(SCENE_TITLE);

        while (Vorn::Run(false)) {
            // pending Vorn3D: Vorn3D::Clear(3, g_director->GetScene() == SCENE_TITLE ? 0xFF000000 : 0xFF5050FF, 1.0f, 0, none);
            LatchInput();
            // pending Vorn3D: only when Vorn3D::BeginScene succeeds, then Vorn3D::EndScene.
            g_taskList->RunAll();
            // pending Vorn3D: Vorn3D::Present(0);
            // pending VornInput: VornInput::Refresh();
        }
    }
    // pending VornSurface: VornSurface::Release(depthSurface);
    (void)depthSurface;
    delete g_taskList;
    g_taskList = nullptr;
    g_director = nullptr;
    Vorn::Finalize();
    return 0;
}

bool GameMessageHook(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_KEYDOWN && wParam == VK_ESCAPE) Vorn::Exit();
    return true;
}

void LatchInput()
{
    // pending VornInput: pushZ/X/C from the trigger state of buttons 4/5/6, holdRight/Left/Up/Down
    // from the hold state of buttons 3/2/0/1 of pad 0, each stored as 0 or 1.
}
