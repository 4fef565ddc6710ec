// Vorn: boot sequence, settings, the start-up and shut-down tables, error boxes and boot text.
// The window, its procedure, the message pump and the frame timing follow after them.
#include <winsock2.h>
#include "Vorn.h"
#include "Vorn3D.h"
#include "VornCamera.h"
#include "VornLight.h"
#include "VornShaderEffect.h"
#include "VornLine3D.h"
#include "VornPoint3D.h"
#include "VornPrimitive3D.h"
#include "VornFontSprite3D.h"
#include "VornSprite3D.h"
#include "VornSimple.h"
#include "VornSprite.h"
#include "VornFont.h"
#include "VornFontSprite.h"
#include "VornAnimation.h"
#include "VornConsole.h"
#include "VornDebug.h"
#include "VornFile.h"
#include "VornInput.h"
#include "VornLZSS.h"
#include "VornLine.h"
#include "VornList.h"
#include "VornLog.h"
#include "VornMath.h"
#include "VornMemory.h"
#include "VornRand.h"
#include "VornPoint.h"
#include "VornPrimitive.h"
#include "VornSurface.h"
#include "VornSystem.h"
#include "VornTexture.h"
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <type_traits>
#include <vfw.h>

namespace {

// All of the application's state: one application per process.
struct State {
    // settings
    HINSTANCE instance = nullptr;
    char applicationName[Vorn::APPLICATION_NAME_MAX] = {};
    uint32_t width = 640, height = 480;
    bool windowed = false;
    uint32_t option = 0;
    uint32_t memorySize = 0;
    bool memoryDebug = false;
    bool drawTitleInfo = false;
    bool keepCursorVisible = false;
    bool allowMultipleInstances = false;
    char menuName[Vorn::MENU_NAME_MAX] = {};
    void (*bootCallback)() = nullptr;
    bool drawBootText = false;
    char baseDirectory[Vorn::DIRECTORY_MAX] = {};

    // run time
    bool abort = false;
    HANDLE mutex = nullptr;
    bool mutexOwned = false;
    WSADATA wsaData = {};
    MSG msg = {};
    char bootText[Vorn::BOOT_TEXT_LINES][Vorn::BOOT_TEXT_LENGTH] = {};
    int bootTextCount = 0;

    // window
    HWND window = nullptr;
    HWND listBox = nullptr;
    HMENU menu = nullptr;
    bool active = true;         // a window that never gets WM_ACTIVATEAPP still runs
    bool subLoop = false;
    bool quitRequest = false;

    // timer
    bool timerPeriod = false;
    bool performanceCounter = false;
    uint64_t frequency = 1000;
    uint64_t now = 0, previous = 0, elapsed = 0;
    uint32_t frameRate = 0;
    uint32_t syncCount = 0;
    float frameTime = 0.0f;

    // statistics of the current second and of the last full one
    bool secondStarted = false;
    uint64_t secondStart = 0;
    uint32_t secondFrames = 0, secondPolygons = 0, secondPolygons3D = 0;
    uint32_t fps = 0, pps = 0, pps3D = 0, ppf = 0, ppf3D = 0;

    // virtual screen
    uint32_t virtualWidth = 640, virtualHeight = 480;
    float scaleX = 1.0f, scaleY = 1.0f, backupScaleX = 1.0f, backupScaleY = 1.0f;
};
State g_vorn;

// The library banner: name, DirectX version, library version and build date.
const char kBanner[] = "Vorn Library for DirectX 9.0c  Ver 1.00  (" __DATE__ ")";

// Calls a class's Initialize or Finalize whether it reports a result or not.
template <auto F> bool Call()
{
    if constexpr (std::is_void_v<decltype(F())>) {
        F();
        return true;
    } else {
        return static_cast<bool>(F());
    }
}

// One step of the start-up: the bit that enables it (0: always), the boot text printed before it
// (none: nullptr), the call, and the box text shown when it fails.
struct StartRow {
    uint32_t option;
    const char* bootText;
    bool (*call)();
    const char* failure;
};

// One step of the shut-down, run when its bit is set (0: always).
struct EndRow {
    uint32_t option;
    bool (*call)();
};

bool StartTimer()
{
    Vorn::PrintBootText(kBanner);
    Vorn::PrintBootText("Initialize Multimedia Timer");
    g_vorn.timerPeriod = timeBeginPeriod(1) == TIMERR_NOERROR;
    LARGE_INTEGER frequency;
    if (QueryPerformanceFrequency(&frequency) && frequency.QuadPart > 0) {
        g_vorn.performanceCounter = true;
        g_vorn.frequency = static_cast<uint64_t>(frequency.QuadPart);
    } else {
        g_vorn.performanceCounter = false;
        g_vorn.frequency = 1000;
    }
    return true;
}

// Vorn::Initialize, in order. A class joins by one row at its place (pending rows wait for their class).
const StartRow kInitializeRows[] = {
    {0, nullptr, Vorn::RegisterWindowClass, "ウィンドウ生成に失敗"},
    {0, nullptr, Vorn::CreateMainWindow, "ウィンドウ生成に失敗"},
    {0, nullptr, StartTimer, nullptr},
    {0, "Checking System Informatin", Call<Vorn::LogSystemInfo>, nullptr},
    {0, "Initialize VornMemory", [] { VornMemory::Initialize(); return VornMemory::SetWorkArea(g_vorn.memorySize, g_vorn.memoryDebug); }, "メモリクラスの初期化に失敗\nメモリの割り当てに失敗したのかもしれません"},
    {0, "Initialize VornList", Call<VornList::Initialize>, "リストクラスの初期化に失敗\nメモリの割り当てに失敗したのかもしれません"},
    // pending VornSocket: {OPTION_SOCKET, "Initialize WindowsSocket", Call<VornSocket::Initialize>, "ソケットクラスの初期化に失敗"},
    // pending VornSocketAsyncIO: {OPTION_SOCKET_ASYNCIO, "Initialize WindowsSocket", Call<VornSocketAsyncIO::Initialize>, "ソケットクラスの初期化に失敗"},
    // pending VornSocketServerAsync: {OPTION_SOCKET_SERVER_ASYNC, "Initialize WindowsSocket", Call<VornSocketServerAsync::Initialize>, "ソケットクラスの初期化に失敗"},
    // pending VornSocketServerMT: {OPTION_SOCKET_SERVER_MT, "Initialize WindowsSocketMT", Call<VornSocketServerMT::Initialize>, "マルチスレッド型ソケットクラスの初期化に失敗"},
    {0, "Initialize Console System", Call<VornConsole::Initialize>, "コンソールクラスの初期化に失敗"},
    // pending VornFEP: {0, "Initialize FEP System", Call<VornFEP::Initialize>, "ＦＥＰクラス初期化の初期化に失敗\nメモリの割り当て量が少ないかもしれません"},
    {0, "Initialize Math System", Call<VornMath::Initialize>, "算術クラスの初期化に失敗\nメモリの割り当て量が少ないかもしれません"},
    {0, "Initialize Debug System", Call<VornDebug::Initialize>, "デバッグクラスの初期化に失敗\nメモリの割り当て量が少ないかもしれません"},
    {0, "Initialize LZSS Compress System", Call<VornLZSS::Initialize>, "LZSSクラスの初期化に失敗\nメモリの割り当て量が少ないかもしれません"},
    {0, "Initialize Animation System", Call<VornAnimation::Initialize>, "アニメーションクラスの初期化に失敗\nメモリの割り当て量が少ないかもしれません"},
    // pending VornCDDA: {OPTION_CDDA, "Initialize CDDA System", Call<VornCDDA::Initialize>, "ＣＤＤＡクラスの初期化に失敗\nメモリの割り当て量が少ないかもしれません"},
    // pending VornMicroThread: {OPTION_MICROTHREAD, "Initialize MicroThread System", Call<VornMicroThread::Initialize>, "マイクロスレッドの初期化に失敗"},
    // pending VornThread: {0, "Initialize Thread System", Call<VornThread::Initialize>, "スレッドの初期化に失敗"},
    {OPTION_DIRECT3D, "  -> Surface Manager", Call<VornSurface::Initialize>, "サーフェイスの初期化に失敗\nメモリの割り当て量が少ないかもしれません"},
    {OPTION_DIRECT3D, "  -> Texture Manager", Call<VornTexture::Initialize>, "テクスチャの初期化に失敗\nメモリの割り当て量が少ないかもしれません"},
    {OPTION_DIRECT3D, "  -> Primitive Manager", Call<VornPrimitive::Initialize>, "プリミティブの初期化に失敗\nメモリの割り当て量が少ないかもしれません"},
    {OPTION_DIRECT3D, "  -> Primitive3D Manager", Call<VornPrimitive3D::Initialize>, "プリミティブの初期化に失敗\nメモリの割り当て量が少ないかもしれません"},
    {OPTION_DIRECT3D, "  -> Point Manager", Call<VornPoint::Initialize>, "ポイントの初期化に失敗\nメモリの割り当て量が少ないかもしれません"},
    {OPTION_DIRECT3D, "  -> Point3D Manager", Call<VornPoint3D::Initialize>, "ポイントの初期化に失敗\nメモリの割り当て量が少ないかもしれません"},
    {OPTION_DIRECT3D, "  -> Line Manager", Call<VornLine::Initialize>, "ラインの初期化に失敗\nメモリの割り当て量が少ないかもしれません"},
    {OPTION_DIRECT3D, "  -> Line3D Manager", Call<VornLine3D::Initialize>, "ラインの初期化に失敗\nメモリの割り当て量が少ないかもしれません"},
    // pending VornSheet: {OPTION_DIRECT3D, "  -> Sheet Manager", Call<VornSheet::Initialize>, "シートの初期化に失敗\nメモリの割り当て量が少ないかもしれません"},
    {OPTION_DIRECT3D, "  -> Font Manager", Call<VornFont::Initialize>, "フォントの初期化に失敗\nメモリの割り当て量が少ないかもしれません"},
    {OPTION_DIRECT3D, "  -> FontSprite Manager", Call<VornFontSprite::Initialize>, "フォントスプライトの初期化に失敗\nメモリの割り当て量が少ないかもしれません"},
    {OPTION_DIRECT3D, "  -> FontSprite3D Manager", Call<VornFontSprite3D::Initialize>, "フォントスプライト3Dの初期化に失敗\nメモリの割り当て量が少ないかもしれません"},
    {OPTION_DIRECT3D, "  -> Sprite Manager", Call<VornSprite::Initialize>, "スプライトの初期化に失敗\nメモリの割り当て量が少ないかもしれません"},
    {OPTION_DIRECT3D, "  -> Sprite Manager", Call<VornSprite3D::Initialize>, "３Ｄスプライトの初期化に失敗\nメモリの割り当て量が少ないかもしれません"},
    {OPTION_DIRECT3D, "  -> Camera Manager", Call<VornCamera::Initialize>, "カメラの初期化に失敗\nメモリの割り当て量が少ないかもしれません"},
    {OPTION_DIRECT3D, "  -> Light Manager", Call<VornLight::Initialize>, "ライトの初期化に失敗\nメモリの割り当て量が少ないかもしれません"},
    // pending VornModel: {OPTION_DIRECT3D, "  -> Model Manager", Call<VornModel::Initialize>, "モデルの初期化に失敗\nメモリの割り当て量が少ないかもしれません"},
    // pending VornModelEx: {OPTION_DIRECT3D, "  -> ModelEx Manager", Call<VornModelEx::Initialize>, "モデルの初期化に失敗\nメモリの割り当て量が少ないかもしれません"},
    // pending VornField: {OPTION_DIRECT3D, "  -> Field Manager", Call<VornField::Initialize>, "フィールドの初期化に失敗\nメモリの割り当て量が少ないかもしれません"},
    {OPTION_DIRECT3D, "  -> Shader Effect Manager", Call<VornShaderFx::Initialize>, "シェーダーの初期化に失敗\nメモリの割り当て量が少ないかもしれません"},
};

bool StartSettings()
{
    VornTexture::SetPixelOffset(-0.5f);
    VornTexture::SetTexelInset(0.5f);
    Vorn3D::SetZoom(false, g_vorn.width / 2.0f, g_vorn.height / 2.0f, 1.0f);
    Vorn3D::SetPerspective(false, g_vorn.width / 2.0f, g_vorn.height / 2.0f, 100.0f);
    return true;
}

// Vorn::Start, in order.
const StartRow kStartRows[] = {
    {OPTION_DIRECT3D, "Initialize Direct3D Device", [] { return Vorn3D::Start(g_vorn.window, g_vorn.windowed); }, "３Ｄシステムの起動に失敗"},
    {OPTION_DIRECT3D, "  -> Simple Draw Manager", Call<VornSimple::Initialize>, "簡易描画クラスの初期化に失敗\nメモリの割り当て量が少ないかもしれません"},
    // pending VornSpriteEx: {OPTION_DIRECT3D, "  -> Sprite Ex Manager", Call<VornSpriteEx::Initialize>, "汎用スプライトの初期化に失敗\nメモリの割り当て量が少ないかもしれません"},
    {OPTION_DIRECT3D, nullptr, StartSettings, nullptr},
    // pending VornMedia: {OPTION_DIRECTSHOW, "Initialize DirectShow", Call<VornMedia::Initialize>, "メディアクラスの初期化に失敗\nメモリの割り当て量が少ないかもしれません"},
    // pending VornSound: {OPTION_DIRECTSOUND, "Initialize DirectSound", Call<VornSound::Initialize>, "サウンドクラスの初期化に失敗\nメモリの割り当て量が少ないかもしれません"},
    // pending VornMusic: {OPTION_DIRECTMUSIC, "Initialize DirectMusic", Call<VornMusic::Initialize>, "ミュージッククラスの初期化に失敗\nメモリの割り当て量が少ないかもしれません"},
    {OPTION_DIRECTINPUT, "Initialize DirectInput", Call<VornInput::Initialize>, "入力デバイスクラスの初期化の初期化に失敗"},
    // pending VornNetwork: {OPTION_DIRECTPLAY, "Initialize DirectPlay", Call<VornNetwork::Initialize>, "ネットワーククラスの初期化に失敗"},
};

bool EndTimer()
{
    if (g_vorn.timerPeriod) timeEndPeriod(1);
    g_vorn.timerPeriod = false;
    return true;
}

// Vorn::Finalize, in order. Every Finalize must be safe for a class that never started.
const EndRow kFinalizeRows[] = {
    // pending VornThread: {0, [] { VornThread::EndAllThreads(); VornThread::Finalize(); return true; }},
    // pending VornMicroThread: {OPTION_MICROTHREAD, Call<VornMicroThread::Finalize>},
    // pending VornCDDA: {OPTION_CDDA, Call<VornCDDA::Finalize>},
    // pending VornSocketServerMT: {OPTION_SOCKET_SERVER_MT, Call<VornSocketServerMT::Finalize>},
    // pending VornSocketServerAsync: {OPTION_SOCKET_SERVER_ASYNC, Call<VornSocketServerAsync::Finalize>},
    // pending VornSocketAsyncIO: {OPTION_SOCKET_ASYNCIO, Call<VornSocketAsyncIO::Finalize>},
    // pending VornSocket: {OPTION_SOCKET, Call<VornSocket::Finalize>},
    // pending VornNetwork: {OPTION_DIRECTPLAY, Call<VornNetwork::Finalize>},
    {OPTION_DIRECTINPUT, Call<VornInput::Finalize>},
    // pending VornMusic: {OPTION_DIRECTMUSIC, Call<VornMusic::Finalize>},
    // pending VornSound: {OPTION_DIRECTSOUND, Call<VornSound::Finalize>},
    // pending VornMedia: {OPTION_DIRECTSHOW, Call<VornMedia::Finalize>},
    // pending VornSpriteEx: {OPTION_DIRECT3D, Call<VornSpriteEx::Finalize>},
    {OPTION_DIRECT3D, Call<VornSimple::Finalize>},
    // pending VornField: {OPTION_DIRECT3D, Call<VornField::Finalize>},
    // pending VornModelEx: {OPTION_DIRECT3D, Call<VornModelEx::Finalize>},
    // pending VornModel: {OPTION_DIRECT3D, Call<VornModel::Finalize>},
    {OPTION_DIRECT3D, Call<VornLight::Finalize>},
    {OPTION_DIRECT3D, Call<VornCamera::Finalize>},
    {OPTION_DIRECT3D, Call<VornFontSprite3D::Finalize>},
    {OPTION_DIRECT3D, Call<VornFontSprite::Finalize>},
    {OPTION_DIRECT3D, Call<VornFont::Finalize>},
    // pending VornSheet: {OPTION_DIRECT3D, Call<VornSheet::Finalize>},
    {OPTION_DIRECT3D, Call<VornSprite3D::Finalize>},
    {OPTION_DIRECT3D, Call<VornSprite::Finalize>},
    {OPTION_DIRECT3D, Call<VornPoint::Finalize>},
    {OPTION_DIRECT3D, Call<VornPoint3D::Finalize>},
    {OPTION_DIRECT3D, Call<VornLine::Finalize>},
    {OPTION_DIRECT3D, Call<VornLine3D::Finalize>},
    {OPTION_DIRECT3D, Call<VornPrimitive::Finalize>},
    {OPTION_DIRECT3D, Call<VornPrimitive3D::Finalize>},
    {OPTION_DIRECT3D, Call<VornTexture::Finalize>},
    {OPTION_DIRECT3D, Call<VornSurface::Finalize>},
    {OPTION_DIRECT3D, Call<VornShaderFx::Finalize>},
    {0, Call<VornLZSS::Finalize>},
    {0, Call<VornMath::Finalize>},
    // pending VornFEP: {0, Call<VornFEP::Finalize>},
    {0, Call<VornAnimation::Finalize>},
    {0, Call<VornDebug::Finalize>},
    {0, Call<VornList::Finalize>},
    {0, Call<VornMemory::Finalize>},
    {0, Call<VornConsole::Finalize>},
    {0, EndTimer},
};

bool Enabled(uint32_t option) { return option == 0 || (g_vorn.option & option) != 0; }

template <size_t N> bool RunStartRows(const StartRow (&rows)[N])
{
    for (const StartRow& row : rows) {
        if (!Enabled(row.option)) continue;
        if (row.bootText) Vorn::PrintBootText(row.bootText);
        if (!row.call()) {
            if (row.failure) Vorn::MsgBox(MB_ICONHAND, "ERROR", "%s", row.failure);
            return false;
        }
    }
    return true;
}

// Boot's teardown: what boot itself started, whatever happened before.
uint32_t Teardown()
{
    // The quit message's code; a start that ended before the pump saw it ends with 0.
    const uint32_t exitCode = g_vorn.msg.message == WM_QUIT ? static_cast<uint32_t>(g_vorn.msg.wParam) : 0;
    if (g_vorn.option & OPTION_DIRECT3D) Vorn3D::Finalize();
    VornFile::Finalize();
    VornLog::Close();
    if (g_vorn.mutex) {
        if (g_vorn.mutexOwned) ReleaseMutex(g_vorn.mutex);
        CloseHandle(g_vorn.mutex);
        g_vorn.mutex = nullptr;
        g_vorn.mutexOwned = false;
    }
    return exitCode;
}

void BootError(const char* text) { Vorn::MsgBox(MB_ICONHAND, "ERROR", "%s", text); }

}  // namespace

// ---------------------------------------------------------------------------------------------
// Boot

uint32_t Vorn::Boot(HINSTANCE instance, int argc, char** argv)
{
    g_vorn.instance = instance;
    SetApplicationName(kBanner);
    g_vorn.width = 640;
    g_vorn.height = 480;
    g_vorn.windowed = false;
    g_vorn.abort = false;
    g_vorn.msg = MSG{};

    if (!VornFile::Initialize()) {
        BootError("ファイルシステムの初期化に失敗");
        return Teardown();
    }

    if (!GameInit()) {
        BootError("ユーザー初期化に失敗");
        return 0;
    }

    if (g_vorn.baseDirectory[0] == '\0') {
        char path[DIRECTORY_MAX] = {};
        const DWORD n = GetModuleFileNameA(instance, path, sizeof path);
        if (n > 0 && n < sizeof path) {
            char* slash = strrchr(path, '\\');
            if (slash) *slash = '\0';
            VornSystem::CopyText(g_vorn.baseDirectory, path);
            SetCurrentDirectoryA(g_vorn.baseDirectory);
        }
    }

    VornLog::Open();

    if (g_vorn.option & OPTION_DIRECT3D) {
        PrintBootText("Initialize Direct3D");
        if (!Vorn3D::Initialize()) {
            BootError("３Ｄシステムの初期化に失敗");
            return Teardown();
        }
    } else {
        g_vorn.windowed = true;
    }

    if (!g_vorn.allowMultipleInstances) {
        g_vorn.mutex = CreateMutexA(nullptr, FALSE, g_vorn.applicationName);
        // An abandoned mutex (an instance that died) is ours now.
        const DWORD wait = g_vorn.mutex ? WaitForSingleObject(g_vorn.mutex, 0) : WAIT_FAILED;
        g_vorn.mutexOwned = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
        if (!g_vorn.mutexOwned) {
            BootError("２重起動は許可されてません");
            return Teardown();
        }
    }

    if (g_vorn.bootCallback) {
        g_vorn.bootCallback();
        if (g_vorn.abort) return Teardown();
    }

    CoInitializeEx(nullptr, 0);
    WSAStartup(0x0002, &g_vorn.wsaData);

    if (!Initialize()) {
        BootError("DirectXの初期化に失敗");
        return Teardown();
    }

    GameMain(argc, argv);

    WSACleanup();
    CoUninitialize();
    return Teardown();
}

uint32_t Vorn::BootMain(int argc, char** argv) { return Boot(GetModuleHandleA(nullptr), argc, argv); }

void Vorn::LogSystemInfo() { VornLog::LogSystemInfo(kBanner); }

bool Vorn::Initialize() { return RunStartRows(kInitializeRows); }

bool Vorn::Start()
{
    if (!RunStartRows(kStartRows)) return false;
    VornLog::Title("アプリケーション開始");
    VornLog::LineBreak();
    // pending VornThread: VornThread::StartMainThread();
    VornRand::Seed(65535);
    g_vorn.previous = GetSystemTimer();
    return true;
}

void Vorn::Finalize()
{
    for (const EndRow& row : kFinalizeRows) {
        if (Enabled(row.option)) row.call();
    }
}

// ---------------------------------------------------------------------------------------------
// Settings

void Vorn::SetApplicationName(const char* name) { VornSystem::CopyText(g_vorn.applicationName, name ? name : ""); }

void Vorn::GetApplicationName(char* out, size_t outSize)
{
    if (out && outSize) VornSystem::CopyText(out, outSize, g_vorn.applicationName);
}

const char* Vorn::GetApplicationName() { return g_vorn.applicationName; }

void Vorn::SetScreenInfo(uint32_t width, uint32_t height, bool windowed)
{
    g_vorn.width = width;
    g_vorn.height = height;
    g_vorn.windowed = windowed;
    SetVirtualScreenSize(width, height, width, height);
}

void Vorn::GetScreenInfo(uint32_t* width, uint32_t* height, bool* windowed)
{
    if (width) *width = g_vorn.width;
    if (height) *height = g_vorn.height;
    if (windowed) *windowed = g_vorn.windowed;
}

void Vorn::SetUseOption(uint32_t option) { g_vorn.option = option; }
uint32_t Vorn::GetUseOption() { return g_vorn.option; }

void Vorn::SetMemorySize(uint32_t size, bool debug)
{
    g_vorn.memorySize = size;
    g_vorn.memoryDebug = debug;
}

void Vorn::SetDrawTitleInfo() { g_vorn.drawTitleInfo = true; }
void Vorn::KeepCursorVisible() { g_vorn.keepCursorVisible = true; }
void Vorn::AllowMultipleInstances() { g_vorn.allowMultipleInstances = true; }
void Vorn::SetMenuName(const char* name) { VornSystem::CopyText(g_vorn.menuName, name ? name : ""); }
void Vorn::SetBootCallback(void (*callback)()) { g_vorn.bootCallback = callback; }
void Vorn::SetDrawBootText(bool draw) { g_vorn.drawBootText = draw; }

void Vorn::SetBaseDirectory()
{
    const DWORD n = GetCurrentDirectoryA(sizeof g_vorn.baseDirectory, g_vorn.baseDirectory);
    if (n == 0 || n >= sizeof g_vorn.baseDirectory) g_vorn.baseDirectory[0] = '\0';
}

HINSTANCE Vorn::GetInstanceHandle() { return g_vorn.instance; }
HWND Vorn::GetWindowHandle() { return g_vorn.window; }

// ---------------------------------------------------------------------------------------------
// Boxes and boot text

int Vorn::MsgBox(UINT type, const char* caption, const char* format, ...)
{
    char text[MESSAGE_MAX] = {};
    va_list args;
    va_start(args, format);
    VornSystem::FormatTextV(text, sizeof text, format, args);
    va_end(args);
    // With a device the box needs the dialog-box mode to be seen.
    const bool device = Vorn3D::GetDevice() != nullptr;
    if (device) Vorn3D::SetDialogBoxMode(true);
    const int result = MessageBoxA(g_vorn.window, text, caption, type);
    if (device) Vorn3D::SetDialogBoxMode(false);
    return result;
}

void Vorn::PrintBootText(const char* text)
{
    if (!g_vorn.drawBootText || !g_vorn.window || !text) return;
    if (!(g_vorn.option & OPTION_DIRECT3D)) {
        PrintListBox("%s", text);
        return;
    }
    if (g_vorn.bootTextCount < BOOT_TEXT_LINES) {
        VornSystem::CopyText(g_vorn.bootText[g_vorn.bootTextCount], text);
        ++g_vorn.bootTextCount;
    } else {
        // A full store scrolls: the oldest line goes.
        memmove(g_vorn.bootText[0], g_vorn.bootText[1], sizeof g_vorn.bootText - sizeof g_vorn.bootText[0]);
        VornSystem::CopyText(g_vorn.bootText[BOOT_TEXT_LINES - 1], text);
    }

    HDC dc = GetDC(g_vorn.window);
    if (!dc) return;
    LOGFONTA lf = {};
    lf.lfHeight = 12;
    lf.lfWeight = FW_NORMAL;
    lf.lfCharSet = SHIFTJIS_CHARSET;
    VornSystem::CopyText(lf.lfFaceName, "ＭＳ ゴシック");
    HFONT font = CreateFontIndirectA(&lf);
    HGDIOBJ oldFont = font ? SelectObject(dc, font) : nullptr;
    SetBkMode(dc, TRANSPARENT);
    RECT all = {0, 0, static_cast<LONG>(g_vorn.width), static_cast<LONG>(g_vorn.height)};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));

    const int visible = (static_cast<int>(g_vorn.height) - 20) / 18;
    const int first = g_vorn.bootTextCount > visible ? g_vorn.bootTextCount - visible : 0;
    static const int offsets[8][2] = {{-1, -1}, {0, -1}, {1, -1}, {-1, 0}, {1, 0}, {-1, 1}, {0, 1}, {1, 1}};
    for (int i = first; i < g_vorn.bootTextCount; ++i) {
        const char* line = g_vorn.bootText[i];
        const int length = static_cast<int>(strlen(line));
        const int x = 10, y = (i - first) * 18 + 10;
        SetTextColor(dc, RGB(0x40, 0xA0, 0x60));
        for (const auto& d : offsets) TextOutA(dc, x + d[0], y + d[1], line, length);
        SetTextColor(dc, RGB(0xFF, 0xFF, 0xFF));
        TextOutA(dc, x, y, line, length);
    }
    if (oldFont) SelectObject(dc, oldFont);
    if (font) DeleteObject(font);
    ReleaseDC(g_vorn.window, dc);
}

void Vorn::PrintListBox(const char* format, ...)
{
    if (!g_vorn.listBox) return;
    char text[MESSAGE_MAX] = {};
    va_list args;
    va_start(args, format);
    VornSystem::FormatTextV(text, sizeof text, format, args);
    va_end(args);
    SendMessageA(g_vorn.listBox, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    SendMessageA(g_vorn.listBox, LB_SETTOPINDEX, 1, 0);
}

void Vorn::ClearListBox()
{
    if (g_vorn.listBox) SendMessageA(g_vorn.listBox, LB_RESETCONTENT, 0, 0);
}

// ---------------------------------------------------------------------------------------------
// Timer and frame statistics

uint64_t Vorn::GetSystemTimer()
{
    if (g_vorn.performanceCounter) {
        LARGE_INTEGER counter;
        QueryPerformanceCounter(&counter);
        return static_cast<uint64_t>(counter.QuadPart);
    }
    return timeGetTime();
}

uint64_t Vorn::GetSystemTimerFrequency() { return g_vorn.frequency; }
bool Vorn::IsPerformanceCounter() { return g_vorn.performanceCounter; }
uint32_t Vorn::GetSyncCount() { return g_vorn.syncCount; }
uint32_t Vorn::GetFrameRate() { return g_vorn.frameRate; }
void Vorn::SetFrameRate(uint32_t framesPerSecond) { g_vorn.frameRate = framesPerSecond; }
float Vorn::GetFrameTime() { return g_vorn.frameTime; }
uint32_t Vorn::GetFPS() { return g_vorn.fps; }
uint32_t Vorn::GetPPS() { return g_vorn.pps; }
uint32_t Vorn::GetPPS3D() { return g_vorn.pps3D; }
uint32_t Vorn::GetPPF() { return g_vorn.ppf; }
uint32_t Vorn::GetPPF3D() { return g_vorn.ppf3D; }
void Vorn::AddPolygonCount(uint32_t count) { g_vorn.secondPolygons += count; }
void Vorn::AddPolygonCount3D(uint32_t count) { g_vorn.secondPolygons3D += count; }

float Vorn::SyncFrame()
{
    if (!VornMemory::CheckOverAccess()) {
        MsgBox(MB_ICONHAND, "メモリエラー", "メモリリークが発生しました\nアプリケーションを終了します\n詳細はログを参照して下さい。");
        Exit();
    }
    VornMemory::MergeFreeBlocks();

    uint64_t now = GetSystemTimer();
    uint64_t last = now;
    int64_t elapsed = static_cast<int64_t>(now - g_vorn.previous);
    if (g_vorn.frameRate > 0) {
        const int64_t frequency = static_cast<int64_t>(g_vorn.frequency);
        const int64_t target = frequency / g_vorn.frameRate;
        last = GetSystemTimer();
        elapsed = static_cast<int64_t>(last - g_vorn.previous);
        const int64_t ms = (target - elapsed) * 1000 / frequency;
        if (ms >= 2) SleepEx(static_cast<DWORD>(ms - 1), TRUE);
        while (elapsed < target) {
            last = GetSystemTimer();
            elapsed = static_cast<int64_t>(last - g_vorn.previous);
        }
    } else {
        SleepEx(0, TRUE);
    }
    g_vorn.now = now;
    g_vorn.previous = last;
    g_vorn.elapsed = static_cast<uint64_t>(elapsed);
    ++g_vorn.syncCount;
    ++g_vorn.secondFrames;

    if (!g_vorn.secondStarted) {
        g_vorn.secondStarted = true;
        g_vorn.secondStart = now;
    }
    if (now - g_vorn.secondStart >= g_vorn.frequency) {
        g_vorn.secondStart = now;
        const uint32_t frames = g_vorn.secondFrames ? g_vorn.secondFrames : 1;
        g_vorn.fps = g_vorn.secondFrames;
        g_vorn.pps = g_vorn.secondPolygons;
        g_vorn.pps3D = g_vorn.secondPolygons3D;
        g_vorn.ppf = g_vorn.secondPolygons / frames;
        g_vorn.ppf3D = g_vorn.secondPolygons3D / frames;
        g_vorn.secondFrames = 0;
        g_vorn.secondPolygons = 0;
        g_vorn.secondPolygons3D = 0;
        if (g_vorn.drawTitleInfo && g_vorn.window) {
            char caption[MESSAGE_MAX];
            VornSystem::FormatText(caption, sizeof caption, "%s FPS[%d] PPS[%d] PPF[%d] PPF3D[%d]", g_vorn.applicationName,
                                   static_cast<int>(g_vorn.fps), static_cast<int>(g_vorn.pps),
                                   static_cast<int>(g_vorn.ppf), static_cast<int>(g_vorn.ppf3D));
            SetWindowTextA(g_vorn.window, caption);
        }
    }
    g_vorn.frameTime = static_cast<float>(static_cast<double>(elapsed) / static_cast<double>(g_vorn.frequency));
    return g_vorn.frameTime;
}

// ---------------------------------------------------------------------------------------------
// Window

namespace {

constexpr DWORD kWindowedStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;    // 0x80CA0000
constexpr DWORD kFullScreenStyle = WS_POPUP;                                            // 0x80000000
constexpr DWORD kListBoxStyle = WS_CHILD | WS_VSCROLL | WS_HSCROLL | LBS_NOINTEGRALHEIGHT; // 0x40300100

// The outer size of a window whose client area is the screen size, centred on the desktop.
RECT WindowedRect(DWORD style, bool withMenu)
{
    RECT r = {0, 0, static_cast<LONG>(g_vorn.width), static_cast<LONG>(g_vorn.height)};
    AdjustWindowRectEx(&r, style, withMenu ? TRUE : FALSE, WS_EX_ACCEPTFILES);
    const LONG w = r.right - r.left, h = r.bottom - r.top;
    const LONG x = GetSystemMetrics(SM_CXSCREEN) / 2 - w / 2;
    const LONG y = GetSystemMetrics(SM_CYSCREEN) / 2 - h / 2;
    return RECT{x, y, x + w, y + h};
}

}  // namespace

bool Vorn::RegisterWindowClass()
{
    g_vorn.menu = g_vorn.menuName[0] ? LoadMenuA(g_vorn.instance, g_vorn.menuName) : nullptr;
    WNDCLASSA wc = {};
    wc.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = g_vorn.instance;
    wc.hIcon = LoadIconA(g_vorn.instance, "ICON");
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = g_vorn.applicationName;
    return RegisterClassA(&wc) != 0;
}

bool Vorn::CreateMainWindow()
{
    DWORD style;
    RECT r;
    if (g_vorn.windowed) {
        style = kWindowedStyle;
        r = WindowedRect(style, g_vorn.menu != nullptr);
    } else {
        style = kFullScreenStyle;
        r = RECT{0, 0, static_cast<LONG>(g_vorn.width), static_cast<LONG>(g_vorn.height)};
    }
    g_vorn.window = CreateWindowExA(WS_EX_ACCEPTFILES, g_vorn.applicationName, g_vorn.applicationName, style, r.left, r.top,
                                    r.right - r.left, r.bottom - r.top, nullptr, g_vorn.menu, g_vorn.instance, nullptr);
    if (!g_vorn.window) return false;
    UpdateWindow(g_vorn.window);
    ShowWindow(g_vorn.window, SW_SHOW);
    if (!(g_vorn.option & OPTION_DIRECT3D)) {
        g_vorn.listBox = CreateWindowExA(0, "LISTBOX", g_vorn.applicationName, kListBoxStyle, 0, 0, g_vorn.width, g_vorn.height,
                                         g_vorn.window, nullptr, g_vorn.instance, nullptr);
        if (g_vorn.listBox) {
            UpdateWindow(g_vorn.listBox);
            ShowWindow(g_vorn.listBox, SW_SHOW);
        }
    }
    return true;
}

LRESULT CALLBACK Vorn::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!GameMessageHook(message, wParam, lParam)) return DefWindowProcA(window, message, wParam, lParam);

    switch (message) {
    case WM_CREATE:
        if (!g_vorn.keepCursorVisible) ShowCursor(FALSE);
        break;
    case WM_DESTROY:
        if (g_vorn.subLoop) {
            g_vorn.quitRequest = true;
            return 0;
        }
        if (window == g_vorn.window) g_vorn.window = nullptr;
        g_vorn.listBox = nullptr;
        if (!g_vorn.keepCursorVisible) ShowCursor(TRUE);
        PostQuitMessage(0);
        break;
    case WM_CLOSE:
        if (g_vorn.subLoop) {
            g_vorn.quitRequest = true;
            return 0;
        }
        // Destroyed here, once: the default handling would destroy it a second time.
        g_vorn.window = nullptr;
        DestroyWindow(window);
        return 0;
    case WM_ACTIVATEAPP:
        g_vorn.active = wParam != 0;
        break;
    case WM_CHAR:
        // pending VornFEP: VornFEP::OnChar(wParam);
        break;
    case WM_SYSKEYDOWN:
        return 0;
    case WM_SYSKEYUP:
        if (wParam == VK_RETURN) ChangeScreenMode();
        break;
    case WM_LBUTTONDBLCLK:
        VornInput::SetLeftDoubleClick();
        break;
    case WM_RBUTTONDBLCLK:
        VornInput::SetRightDoubleClick();
        break;
    case WM_MBUTTONDBLCLK:
        VornInput::SetMiddleDoubleClick();
        break;
    case WM_MOUSEWHEEL:
        VornInput::AddMouseWheel(static_cast<int16_t>(HIWORD(wParam)));
        break;
    case MM_MCINOTIFY:
        // pending VornCDDA: VornCDDA::OnNotify(wParam, lParam);
        break;
    case WM_VORN_SOCKET:
        // pending VornSocketServerAsync: VornSocketServerAsync::OnMessage(window, wParam, lParam);
        break;
    case WM_VORN_GRAPHNOTIFY:
        // pending VornMedia: VornMedia::OnGraphNotify();
        break;
    default:
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

namespace {

void WaitLoadThread()
{
    // pending VornThread: while (!VornThread::IsLoadThreadEnd()) SleepEx(100, TRUE);
}

}  // namespace

bool Vorn::Run(bool noWait)
{
    if (!(g_vorn.option & OPTION_DIRECT3D)) {
        while (GetMessageA(&g_vorn.msg, nullptr, 0, 0) > 0) {
            TranslateMessage(&g_vorn.msg);
            DispatchMessageA(&g_vorn.msg);
        }
        WaitLoadThread();
        return false;
    }
    for (;;) {
        if (PeekMessageA(&g_vorn.msg, nullptr, 0, 0, PM_REMOVE)) {
            if (g_vorn.msg.message == WM_QUIT) {
                g_vorn.active = true;
                WaitLoadThread();
                return false;
            }
            TranslateMessage(&g_vorn.msg);
            DispatchMessageA(&g_vorn.msg);
            continue;
        }
        if (noWait || g_vorn.active) break;
        SleepEx(50, TRUE);
    }
    SyncFrame();
    VornInput::Refresh();
    VornInput::UpdatePads();
    return true;
}

bool Vorn::SubLoopStep()
{
    g_vorn.quitRequest = false;
    g_vorn.subLoop = true;
    Run(true);
    g_vorn.subLoop = false;
    return g_vorn.quitRequest;
}

void Vorn::Exit()
{
    if (g_vorn.subLoop) {
        g_vorn.quitRequest = true;
        return;
    }
    if (g_vorn.listBox) PostMessageA(g_vorn.listBox, WM_CLOSE, 0, 0);
    if (g_vorn.window) PostMessageA(g_vorn.window, WM_CLOSE, 0, 0);
    g_vorn.abort = true;
    VornLog::LineBreak();
    VornLog::Title("アプリケーション終了");
    VornLog::LineBreak();
}

bool Vorn::IsActive() { return g_vorn.active; }

void Vorn::UpdateWindowStyle()
{
    if (!g_vorn.window) return;
    if (g_vorn.windowed) {
        SetWindowLongA(g_vorn.window, GWL_STYLE, WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);
        const RECT r = WindowedRect(kWindowedStyle, false);
        SetWindowPos(g_vorn.window, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top, 0);
    } else {
        SetWindowLongA(g_vorn.window, GWL_STYLE, WS_VISIBLE);
        SetWindowPos(g_vorn.window, nullptr, 0, 0, g_vorn.width, g_vorn.height, 0);
    }
}

void Vorn::ChangeScreenMode()
{
    if (g_vorn.windowed) {
        g_vorn.windowed = false;
        UpdateWindowStyle();
        Vorn3D::ResetDevice(true);
    } else {
        g_vorn.windowed = true;
        Vorn3D::ResetDevice(true);
        UpdateWindowStyle();
    }
}

void Vorn::ChangeScreenSize(uint32_t width, uint32_t height, bool toggleMode)
{
    g_vorn.width = width;
    g_vorn.height = height;
    if (g_vorn.virtualWidth) g_vorn.scaleX = static_cast<float>(width) / static_cast<float>(g_vorn.virtualWidth);
    if (g_vorn.virtualHeight) g_vorn.scaleY = static_cast<float>(height) / static_cast<float>(g_vorn.virtualHeight);
    if (!toggleMode) g_vorn.windowed = !g_vorn.windowed;
    ChangeScreenMode();
    const RECT viewport = {0, 0, static_cast<LONG>(width), static_cast<LONG>(height)};
    Vorn3D::SetViewport(&viewport);
}

// ---------------------------------------------------------------------------------------------
// Virtual screen

void Vorn::SetVirtualScreenSize(uint32_t realWidth, uint32_t realHeight, uint32_t virtualWidth, uint32_t virtualHeight)
{
    g_vorn.virtualWidth = virtualWidth;
    g_vorn.virtualHeight = virtualHeight;
    g_vorn.scaleX = virtualWidth ? static_cast<float>(realWidth) / static_cast<float>(virtualWidth) : 1.0f;
    g_vorn.scaleY = virtualHeight ? static_cast<float>(realHeight) / static_cast<float>(virtualHeight) : 1.0f;
    g_vorn.backupScaleX = g_vorn.scaleX;
    g_vorn.backupScaleY = g_vorn.scaleY;
}

void Vorn::GetVirtualScreenSize(uint32_t* width, uint32_t* height)
{
    if (width) *width = g_vorn.virtualWidth;
    if (height) *height = g_vorn.virtualHeight;
}

void Vorn::SetVirtualScaleEnable(bool enable)
{
    if (enable) {
        g_vorn.scaleX = g_vorn.backupScaleX;
        g_vorn.scaleY = g_vorn.backupScaleY;
    } else {
        g_vorn.backupScaleX = g_vorn.scaleX;
        g_vorn.backupScaleY = g_vorn.scaleY;
        g_vorn.scaleX = 1.0f;
        g_vorn.scaleY = 1.0f;
    }
}

float Vorn::VirtualScaleX(float x) { return x * g_vorn.scaleX; }
float Vorn::VirtualScaleY(float y) { return y * g_vorn.scaleY; }

// ---------------------------------------------------------------------------------------------
// Helpers

void Vorn::ResetCurrentDirectory()
{
    if (g_vorn.baseDirectory[0]) SetCurrentDirectoryA(g_vorn.baseDirectory);
}

void Vorn::PlayMovie(const char* file)
{
    Vorn3D::SetDialogBoxMode(true);
    HWND mci = MCIWndCreateA(g_vorn.window, g_vorn.instance, MCIWNDF_NOPLAYBAR | MCIWNDF_NOMENU, nullptr);
    if (!mci) {
        Vorn3D::SetDialogBoxMode(false);
        return;
    }
    MCIWndOpen(mci, file, 0);
    MoveWindow(mci, 0, 0, g_vorn.width, g_vorn.height, TRUE);
    MCIWndPlay(mci);
    while (MCIWndGetPosition(mci) < MCIWndGetLength(mci)) {
        if (SubLoopStep()) {
            Exit();
            break;
        }
        SyncFrame();
    }
    MCIWndClose(mci);
    SendMessageA(mci, WM_CLOSE, 0, 0);
    Vorn3D::SetDialogBoxMode(false);
}

void Vorn::CenterWindow(HWND window, HWND over)
{
    RECT w, o;
    if (!GetWindowRect(window, &w) || !GetWindowRect(over, &o)) return;
    const LONG width = w.right - w.left, height = w.bottom - w.top;
    const LONG x = o.left + ((o.right - o.left) - width) / 2;
    const LONG y = o.top + ((o.bottom - o.top) - height) / 2;
    SetWindowPos(window, nullptr, x, y, width, height, SWP_SHOWWINDOW);
}

void* Vorn::AllocPages(uint32_t size)
{
    const SIZE_T rounded = (static_cast<SIZE_T>(size) + 4095) & ~static_cast<SIZE_T>(4095);
    void* p = VirtualAlloc(nullptr, rounded, MEM_COMMIT, PAGE_READWRITE);
    if (!p) return nullptr;
    memset(p, 0, size);
    return p;
}

void Vorn::FreePages(void** pages)
{
    if (pages && *pages) {
        VirtualFree(*pages, 0, MEM_RELEASE);
        *pages = nullptr;
    }
}
