// VornConsole: the process's text console. Beneath the log, which mirrors its entries here; the
// start and end steps, which log, are in VornConsoleBoot.cpp.
#include "VornConsole.h"
#include "VornSystem.h"
#include <cstdarg>
#include <cstring>
#include <windows.h>

namespace {
HANDLE g_output;
bool g_open;
}

bool VornConsole::Create()
{
    if (g_open) return true;
    ::AllocConsole();
    g_output = ::GetStdHandle(STD_OUTPUT_HANDLE);
    g_open = g_output != nullptr && g_output != INVALID_HANDLE_VALUE;
    return g_open;
}

void VornConsole::Release()
{
    if (!g_open) return;
    ::FreeConsole();
    g_open = false;
    g_output = nullptr;
}

bool VornConsole::IsOpen() { return g_open; }

void VornConsole::Clear()
{
    if (!g_open) return;
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!::GetConsoleScreenBufferInfo(g_output, &info)) return;
    DWORD cells = DWORD(info.dwSize.X) * DWORD(info.dwSize.Y), written = 0;
    COORD origin = {0, 0};
    ::FillConsoleOutputCharacterA(g_output, ' ', cells, origin, &written);
}

void VornConsole::SetCursorPosition(uint16_t x, uint16_t y)
{
    if (!g_open) return;
    COORD at = {SHORT(x), SHORT(y)};
    ::SetConsoleCursorPosition(g_output, at);
}

static void WriteText(const char* format, va_list args)
{
    char text[1024];
    VornSystem::FormatTextV(text, sizeof text, format, args);
    DWORD written = 0;
    ::WriteFile(g_output, text, DWORD(strlen(text)), &written, nullptr);
}

void VornConsole::Print(const char* format, ...)
{
    if (!g_open) return;
    va_list args;
    va_start(args, format);
    WriteText(format, args);
    va_end(args);
}

void VornConsole::PrintAt(uint16_t x, uint16_t y, const char* format, ...)
{
    if (!g_open) return;
    SetCursorPosition(x, y);
    va_list args;
    va_start(args, format);
    WriteText(format, args);
    va_end(args);
}

void VornConsole::SetTextAttribute(uint16_t attribute)
{
    if (g_open) ::SetConsoleTextAttribute(g_output, attribute);
}

static void SetCursorVisible(bool visible)
{
    CONSOLE_CURSOR_INFO info;
    if (!::GetConsoleCursorInfo(g_output, &info)) return;
    info.bVisible = visible ? TRUE : FALSE;
    ::SetConsoleCursorInfo(g_output, &info);
}

void VornConsole::HideCursor()
{
    if (g_open) SetCursorVisible(false);
}

void VornConsole::ShowCursor()
{
    if (g_open) SetCursorVisible(true);
}
