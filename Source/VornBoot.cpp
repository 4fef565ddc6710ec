// The engine's start-up and shut-down: Vorn::Boot and the Initialize, Start and Finalize tables
// that call every class in order. This file is the top floor: it depends on every class, and no
// engine file includes or calls it (only a game's entry calls Boot, Start and Finalize).
#include "VornState.h"
#include "Vorn3D.h"
#include "VornCamera.h"
#include "VornField.h"
#include "VornLight.h"
#include "VornShaderFx.h"
#include "VornModel.h"
#include "VornModelEx.h"
#include "VornLine3D.h"
#include "VornPoint3D.h"
#include "VornPrimitive3D.h"
#include "VornFontSprite3D.h"
#include "VornSprite3D.h"
#include "VornSimple.h"
#include "VornSocket.h"
#include "VornSocketAsyncIO.h"
#include "VornSocketServerAsync.h"
#include "VornSocketServerMT.h"
#include "VornSprite.h"
#include "VornSpriteEx.h"
#include "VornSheet.h"
#include "VornFont.h"
#include "VornFontSprite.h"
#include "VornAnimation.h"
#include "VornCDDA.h"
#include "VornConsole.h"
#include "VornDebug.h"
#include "VornFEP.h"
#include "VornFile.h"
#include "VornInput.h"
#include "VornLZSS.h"
#include "VornLine.h"
#include "VornList.h"
#include "VornLog.h"
#include "VornMath.h"
#include "VornMedia.h"
#include "VornMemory.h"
#include "VornMusic.h"
#include "VornNetwork.h"
#include "VornSound.h"
#include "VornRand.h"
#include "VornPoint.h"
#include "VornPrimitive.h"
#include "VornSurface.h"
#include "VornSystem.h"
#include "VornTexture.h"
#include "VornThread.h"
#include "VornMicroThread.h"
#include <mmsystem.h>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <type_traits>

namespace {

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
    {OPTION_SOCKET, "Initialize WindowsSocket", Call<VornSocket::Initialize>, "ソケットクラスの初期化に失敗"},
    {OPTION_SOCKET_ASYNCIO, "Initialize WindowsSocket", Call<VornSocketAsyncIO::Initialize>, "ソケットクラスの初期化に失敗"},
    {OPTION_SOCKET_SERVER_ASYNC, "Initialize WindowsSocket", Call<VornSocketServerAsync::Initialize>, "ソケットクラスの初期化に失敗"},
    {OPTION_SOCKET_SERVER_MT, "Initialize WindowsSocketMT", Call<VornSocketServerMT::Initialize>, "マルチスレッド型ソケットクラスの初期化に失敗"},
    {0, "Initialize Console System", Call<VornConsole::Initialize>, "コンソールクラスの初期化に失敗"},
    {0, "Initialize FEP System", Call<VornFEP::Initialize>, "ＦＥＰクラス初期化の初期化に失敗\nメモリの割り当て量が少ないかもしれません"},
    {0, "Initialize Math System", Call<VornMath::Initialize>, "算術クラスの初期化に失敗\nメモリの割り当て量が少ないかもしれません"},
    {0, "Initialize Debug System", Call<VornDebug::Initialize>, "デバッグクラスの初期化に失敗\nメモリの割り当て量が少ないかもしれません"},
    {0, "Initialize LZSS Compress System", Call<VornLZSS::Initialize>, "LZSSクラスの初期化に失敗\nメモリの割り当て量が少ないかもしれません"},
    {0, "Initialize Animation System", Call<VornAnimation::Initialize>, "アニメーションクラスの初期化に失敗\nメモリの割り当て量が少ないかもしれません"},
    {OPTION_CDDA, "Initialize CDDA System", Call<VornCDDA::Initialize>, "ＣＤＤＡクラスの初期化に失敗\nメモリの割り当て量が少ないかもしれません"},
    {OPTION_MICROTHREAD, "Initialize MicroThread System", Call<VornMicroThread::Initialize>, "マイクロスレッドの初期化に失敗"},
    {0, "Initialize Thread System", Call<VornThread::Initialize>, "スレッドの初期化に失敗"},
    {OPTION_DIRECT3D, "  -> Surface Manager", Call<VornSurface::Initialize>, "サーフェイスの初期化に失敗\nメモリの割り当て量が少ないかもしれません"},
    {OPTION_DIRECT3D, "  -> Texture Manager", Call<VornTexture::Initialize>, "テクスチャの初期化に失敗\nメモリの割り当て量が少ないかもしれません"},
    {OPTION_DIRECT3D, "  -> Primitive Manager", Call<VornPrimitive::Initialize>, "プリミティブの初期化に失敗\nメモリの割り当て量が少ないかもしれません"},
    {OPTION_DIRECT3D, "  -> Primitive3D Manager", Call<VornPrimitive3D::Initialize>, "プリミティブの初期化に失敗\nメモリの割り当て量が少ないかもしれません"},
    {OPTION_DIRECT3D, "  -> Point Manager", Call<VornPoint::Initialize>, "ポイントの初期化に失敗\nメモリの割り当て量が少ないかもしれません"},
    {OPTION_DIRECT3D, "  -> Point3D Manager", Call<VornPoint3D::Initialize>, "ポイントの初期化に失敗\nメモリの割り当て量が少ないかもしれません"},
    {OPTION_DIRECT3D, "  -> Line Manager", Call<VornLine::Initialize>, "ラインの初期化に失敗\nメモリの割り当て量が少ないかもしれません"},
    {OPTION_DIRECT3D, "  -> Line3D Manager", Call<VornLine3D::Initialize>, "ラインの初期化に失敗\nメモリの割り当て量が少ないかもしれません"},
    {OPTION_DIRECT3D, "  -> Sheet Manager", Call<VornSheet::Initialize>, "シートの初期化に失敗\nメモリの割り当て量が少ないかもしれません"},
    {OPTION_DIRECT3D, "  -> Font Manager", Call<VornFont::Initialize>, "フォントの初期化に失敗\nメモリの割り当て量が少ないかもしれません"},
    {OPTION_DIRECT3D, "  -> FontSprite Manager", Call<VornFontSprite::Initialize>, "フォントスプライトの初期化に失敗\nメモリの割り当て量が少ないかもしれません"},
    {OPTION_DIRECT3D, "  -> FontSprite3D Manager", Call<VornFontSprite3D::Initialize>, "フォントスプライト3Dの初期化に失敗\nメモリの割り当て量が少ないかもしれません"},
    {OPTION_DIRECT3D, "  -> Sprite Manager", Call<VornSprite::Initialize>, "スプライトの初期化に失敗\nメモリの割り当て量が少ないかもしれません"},
    {OPTION_DIRECT3D, "  -> Sprite Manager", Call<VornSprite3D::Initialize>, "３Ｄスプライトの初期化に失敗\nメモリの割り当て量が少ないかもしれません"},
    {OPTION_DIRECT3D, "  -> Camera Manager", Call<VornCamera::Initialize>, "カメラの初期化に失敗\nメモリの割り当て量が少ないかもしれません"},
    {OPTION_DIRECT3D, "  -> Light Manager", Call<VornLight::Initialize>, "ライトの初期化に失敗\nメモリの割り当て量が少ないかもしれません"},
    {OPTION_DIRECT3D, "  -> Model Manager", Call<VornModel::Initialize>, "モデルの初期化に失敗\nメモリの割り当て量が少ないかもしれません"},
    {OPTION_DIRECT3D, "  -> ModelEx Manager", Call<VornModelEx::Initialize>, "モデルの初期化に失敗\nメモリの割り当て量が少ないかもしれません"},
    {OPTION_DIRECT3D, "  -> Field Manager", Call<VornField::Initialize>, "フィールドの初期化に失敗\nメモリの割り当て量が少ないかもしれません"},
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
    {OPTION_DIRECT3D, "  -> Sprite Ex Manager", Call<VornSpriteEx::Initialize>, "汎用スプライトの初期化に失敗\nメモリの割り当て量が少ないかもしれません"},
    {OPTION_DIRECT3D, nullptr, StartSettings, nullptr},
    {OPTION_DIRECTSHOW, "Initialize DirectShow", Call<VornMedia::Initialize>, "メディアクラスの初期化に失敗\nメモリの割り当て量が少ないかもしれません"},
    {OPTION_DIRECTSOUND, "Initialize DirectSound", Call<VornSound::Initialize>, "サウンドクラスの初期化に失敗\nメモリの割り当て量が少ないかもしれません"},
    {OPTION_DIRECTMUSIC, "Initialize DirectMusic", Call<VornMusic::Initialize>, "ミュージッククラスの初期化に失敗\nメモリの割り当て量が少ないかもしれません"},
    {OPTION_DIRECTINPUT, "Initialize DirectInput", Call<VornInput::Initialize>, "入力デバイスクラスの初期化の初期化に失敗"},
    {OPTION_DIRECTPLAY, "Initialize DirectPlay", Call<VornNetwork::Initialize>, "ネットワーククラスの初期化に失敗"},
};

bool EndTimer()
{
    if (g_vorn.timerPeriod) timeEndPeriod(1);
    g_vorn.timerPeriod = false;
    return true;
}

// Vorn::Finalize, in order. Every Finalize must be safe for a class that never started.
const EndRow kFinalizeRows[] = {
    {0, [] { VornThread::EndAllThreads(); VornThread::Finalize(); return true; }},
    {OPTION_MICROTHREAD, Call<VornMicroThread::Finalize>},
    {OPTION_CDDA, Call<VornCDDA::Finalize>},
    {OPTION_SOCKET_SERVER_MT, Call<VornSocketServerMT::Finalize>},
    {OPTION_SOCKET_SERVER_ASYNC, Call<VornSocketServerAsync::Finalize>},
    {OPTION_SOCKET_ASYNCIO, Call<VornSocketAsyncIO::Finalize>},
    {OPTION_SOCKET, Call<VornSocket::Finalize>},
    {OPTION_DIRECTPLAY, Call<VornNetwork::Finalize>},
    {OPTION_DIRECTINPUT, Call<VornInput::Finalize>},
    {OPTION_DIRECTMUSIC, Call<VornMusic::Finalize>},
    {OPTION_DIRECTSOUND, Call<VornSound::Finalize>},
    {OPTION_DIRECTSHOW, Call<VornMedia::Finalize>},
    {OPTION_DIRECT3D, Call<VornSpriteEx::Finalize>},
    {OPTION_DIRECT3D, Call<VornSimple::Finalize>},
    {OPTION_DIRECT3D, Call<VornField::Finalize>},
    {OPTION_DIRECT3D, Call<VornModelEx::Finalize>},
    {OPTION_DIRECT3D, Call<VornModel::Finalize>},
    {OPTION_DIRECT3D, Call<VornLight::Finalize>},
    {OPTION_DIRECT3D, Call<VornCamera::Finalize>},
    {OPTION_DIRECT3D, Call<VornFontSprite3D::Finalize>},
    {OPTION_DIRECT3D, Call<VornFontSprite::Finalize>},
    {OPTION_DIRECT3D, Call<VornFont::Finalize>},
    {OPTION_DIRECT3D, Call<VornSheet::Finalize>},
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
    {0, Call<VornFEP::Finalize>},
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

// Under Wine a thread that has just ended is still freeing its stack on the host side for a moment,
// and a process that ends in that moment dies of a segmentation fault instead of returning its code
// (seen about once in a hundred exits under load). The teardown ends the drawing, sound and movie
// threads; they get that moment before the process ends. Windows itself needs no wait.
constexpr DWORD kEndedThreadsSettleMs = 100;

void LetEndedThreadsSettle()
{
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    if (ntdll && GetProcAddress(ntdll, "wine_get_version")) Sleep(kEndedThreadsSettleMs);
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
    LetEndedThreadsSettle();
    return exitCode;
}

void BootError(const char* text) { Vorn::MsgBox(MB_ICONHAND, "ERROR", "%s", text); }

}  // namespace

// ---------------------------------------------------------------------------------------------
// Boot

uint32_t Vorn::Boot(HINSTANCE instance, int argc, char** argv, int (*main)(int, char**))
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

    (main ? main : GameMain)(argc, argv);

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
    VornThread::StartMainThread();
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

