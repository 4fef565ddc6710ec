// Vorn: the application's services that every class calls (settings, boxes, timer, the virtual
// screen). They sit beneath the classes and call none of them but the text helpers; Exit, which
// logs, is in VornExit.cpp, the window and frame loop in VornWindow.cpp, the start-up and shut-down
// tables in VornBoot.cpp.
#include "VornState.h"
#include "VornSystem.h"
#include <mmsystem.h>
#include <cstdarg>
#include <cstdio>
#include <cstring>

VornState g_vorn;

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
void Vorn::SetDialogBoxHook(bool (*hook)(bool on)) { g_vorn.dialogBoxHook = hook; }

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
    // With a device the box needs the dialog-box mode to be seen: the device class hooks in.
    const bool dialog = g_vorn.dialogBoxHook && g_vorn.dialogBoxHook(true);
    const int result = MessageBoxA(g_vorn.window, text, caption, type);
    if (dialog) g_vorn.dialogBoxHook(false);
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

bool Vorn::IsActive() { return g_vorn.active; }

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

