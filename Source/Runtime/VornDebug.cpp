#include "VornDebug.h"
#include "VornLog.h"
#include "VornSystem.h"
#include <cstdarg>

namespace {
HWND g_window;
}

bool VornDebug::Initialize()
{
    VornLog::Title("VornDebugクラスの初期化");
    return true;
}

void VornDebug::Finalize()
{
    VornLog::Title("VornDebugクラスの解放");
    CloseWindow();
}

bool VornDebug::OpenWindow()
{
    if (g_window) return true;
    g_window = ::CreateWindowExA(0, "LISTBOX", "DebugWindow", 0x10F40100, 0, 0, 320, 320, nullptr,
                                 nullptr, ::GetModuleHandleA(nullptr), nullptr);
    return g_window != nullptr;
}

void VornDebug::CloseWindow()
{
    if (!g_window) return;
    ::SendMessageA(g_window, WM_CLOSE, 0, 0);
    g_window = nullptr;
}

HWND VornDebug::GetWindow() { return g_window; }

void VornDebug::WindowPrint(const char* format, ...)
{
    if (!g_window) return;
    char text[256];
    va_list args;
    va_start(args, format);
    VornSystem::FormatTextV(text, sizeof text, format, args);
    va_end(args);
    ::SendMessageA(g_window, LB_ADDSTRING, 0, LPARAM(text));
    ::SendMessageA(g_window, LB_SETTOPINDEX, 1, 0);
}

void VornDebug::WindowClear()
{
    if (g_window) ::SendMessageA(g_window, LB_RESETCONTENT, 0, 0);
}

void VornDebug::Print(const char* format, ...)
{
    char text[1024];
    va_list args;
    va_start(args, format);
    VornSystem::FormatTextV(text, sizeof text, format, args);
    va_end(args);
    ::OutputDebugStringA(text);
}
