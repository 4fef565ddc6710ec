// Vorn: the window, its procedure, the message pump, the frame timing and screen-mode changes.
// These sit above the classes they route messages and frames to.
#include "VornState.h"
#include "Vorn3D.h"
#include "VornCDDA.h"
#include "VornFEP.h"
#include "VornInput.h"
#include "VornMedia.h"
#include "VornMemory.h"
#include "VornSocketServerAsync.h"
#include "VornSystem.h"
#include "VornThread.h"
#include <cstring>
#include <vfw.h>

// ---------------------------------------------------------------------------------------------
// Frame timing

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
        VornFEP::OnChar(wParam);
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
        VornCDDA::OnNotify(wParam, lParam);
        break;
    case WM_VORN_SOCKET:
        VornSocketServerAsync::OnMessage(window, wParam, lParam);
        break;
    case WM_VORN_GRAPHNOTIFY:
        VornMedia::OnGraphNotify();
        break;
    default:
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

namespace {

void WaitLoadThread()
{
    while (!VornThread::IsLoadThreadEnd()) SleepEx(100, TRUE);
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

