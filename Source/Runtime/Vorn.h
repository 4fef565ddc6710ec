// Vorn: the application class. Boot sequence, settings, the window and its procedure, the message
// pump, frame timing and the frame statistics. All state is process-wide: one application per process.
#pragma once
#include <windows.h>
#include <cstddef>
#include <cstdint>

// Option bits the game sets in GameInit; each starts one engine class or group.
enum VornUseOption : uint32_t {
    OPTION_DIRECT3D = 0x001,            // Direct3D and every drawing manager
    OPTION_DIRECTINPUT = 0x002,         // VornInput
    OPTION_DIRECTSOUND = 0x004,         // VornSound
    OPTION_DIRECTMUSIC = 0x008,         // VornMusic
    OPTION_DIRECTSHOW = 0x010,          // VornMedia
    OPTION_DIRECTPLAY = 0x020,          // VornNetwork
    OPTION_CDDA = 0x040,                // VornCDDA
    OPTION_SOCKET = 0x080,              // VornSocket
    OPTION_SOCKET_ASYNCIO = 0x100,      // VornSocketAsyncIO
    OPTION_SOCKET_SERVER_ASYNC = 0x200, // VornSocketServerAsync
    OPTION_SOCKET_SERVER_MT = 0x400,    // VornSocketServerMT
    OPTION_MICROTHREAD = 0x800,         // VornMicroThread
};

// Window messages the window procedure routes to engine classes.
constexpr UINT WM_VORN_SOCKET = WM_USER + 1;      // VornSocketServerAsync::OnMessage
constexpr UINT WM_VORN_GRAPHNOTIFY = WM_USER + 2; // VornMedia::OnGraphNotify

// The game's entry functions; the engine calls them by name.
bool GameInit();
int GameMain(int argc, char** argv);
bool GameMessageHook(UINT message, WPARAM wParam, LPARAM lParam);

class Vorn {
public:
    static constexpr size_t APPLICATION_NAME_MAX = 256; // with the terminator
    static constexpr size_t MENU_NAME_MAX = 256;
    static constexpr size_t DIRECTORY_MAX = 512;
    static constexpr size_t MESSAGE_MAX = 1024;         // MsgBox, PrintListBox, the caption
    static constexpr int BOOT_TEXT_LINES = 48;
    static constexpr int BOOT_TEXT_LENGTH = 64;         // with the terminator

    // ---- Entry and the start-up order ----
    // `main` runs in GameMain's place when given (a benchmark drives the game's own frames).
    static uint32_t Boot(HINSTANCE instance, int argc, char** argv, int (*main)(int, char**) = nullptr);
    static uint32_t BootMain(int argc, char** argv);
    static bool Initialize();
    static bool Start();
    static void Finalize();
    static void LogSystemInfo();   // the system report in the log (boot, step 4 of Initialize)

    // ---- Settings (made in GameInit) ----
    static void SetApplicationName(const char* name);
    static void GetApplicationName(char* out, size_t outSize = APPLICATION_NAME_MAX);
    static const char* GetApplicationName();
    static void SetScreenInfo(uint32_t width, uint32_t height, bool windowed);
    static void GetScreenInfo(uint32_t* width, uint32_t* height, bool* windowed);
    static void SetUseOption(uint32_t option);
    static uint32_t GetUseOption();
    static void SetMemorySize(uint32_t size, bool debug);
    static void SetDrawTitleInfo();
    static void KeepCursorVisible();
    static void AllowMultipleInstances();
    static void SetMenuName(const char* name);
    static void SetBootCallback(void (*callback)());
    static void SetDrawBootText(bool draw);
    static void SetBaseDirectory();
    // The device class's dialog-box mode around every box: hook(true) before it (false: no device),
    // hook(false) after it.
    static void SetDialogBoxHook(bool (*hook)(bool on));

    static HINSTANCE GetInstanceHandle();
    static HWND GetWindowHandle();

    // ---- Boxes and boot text ----
    static int MsgBox(UINT type, const char* caption, const char* format, ...);
    static void PrintBootText(const char* text);
    static void PrintListBox(const char* format, ...);
    static void ClearListBox();

    // ---- Timer and frame statistics ----
    static uint64_t GetSystemTimer();
    static uint64_t GetSystemTimerFrequency();
    static bool IsPerformanceCounter();
    static uint32_t GetSyncCount();
    static uint32_t GetFrameRate();
    static void SetFrameRate(uint32_t framesPerSecond); // 0 = no limit
    static float GetFrameTime();
    static uint32_t GetFPS();
    static uint32_t GetPPS();
    static uint32_t GetPPS3D();
    static uint32_t GetPPF();
    static uint32_t GetPPF3D();
    static void AddPolygonCount(uint32_t count);
    static void AddPolygonCount3D(uint32_t count);

    // ---- Window and loop ----
    static bool RegisterWindowClass();
    static bool CreateMainWindow();
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static bool Run(bool noWait);
    static bool SubLoopStep();
    static float SyncFrame();
    static void Exit();
    static bool IsActive();
    static void ChangeScreenMode();
    static void ChangeScreenSize(uint32_t width, uint32_t height, bool toggleMode);
    static void UpdateWindowStyle();

    // ---- Virtual screen (2D positions are scaled from it to the real screen) ----
    static void SetVirtualScreenSize(uint32_t realWidth, uint32_t realHeight, uint32_t virtualWidth, uint32_t virtualHeight);
    static void GetVirtualScreenSize(uint32_t* width, uint32_t* height);
    static void SetVirtualScaleEnable(bool enable);
    static float VirtualScaleX(float x);
    static float VirtualScaleY(float y);

    // ---- Helpers ----
    static void ResetCurrentDirectory();
    static void PlayMovie(const char* file);
    static void CenterWindow(HWND window, HWND over);
    static void* AllocPages(uint32_t size);
    static void FreePages(void** pages);
};
