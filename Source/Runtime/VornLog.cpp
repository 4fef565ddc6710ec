#include "VornLog.h"
#include "Vorn.h"
#include "VornConsole.h"
#include "VornSystem.h"
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <windows.h>

namespace {

char g_fileName[256];
FILE* g_file;
bool g_consoleEcho;
// Never deleted: a call racing Close, or arriving after it, finds a valid lock and a closed file,
// and does nothing.
VornSystem::CriticalSection g_lock;

const char* const kHead =
    "<HTML>\n<HEAD>\n<META http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\">\n"
    "<TITLE>%s</TITLE>\n<STYLE type=\"text/css\">\n<!--\nBODY{\n  font-size : 12px;\n"
    "  font-family : \"ＭＳ ゴシック\";\n}\n-->\n</STYLE>\n</HEAD>\n"
    "<BODY bgcolor=\"#ffffff\" text=\"#000000\" link=\"#444444\" vlink=\"#444444\" alink=\"#444444\">\n";
const char* const kTail = "</BODY>\n</HTML>\n";

struct Wrapper
{
    const char* before;
    const char* after;
    int consoleColour;   // -1: unchanged
};

const Wrapper kTitle = {
    "<TABLE width=\"100%\" bgcolor=\"#000000\">\n  <TBODY>\n    <TR>\n      <TD align=\"center\">\n"
    "        <B>\n          <FONT color=\"WHITE\">",
    "</FONT>\n        </B>\n      </TD>\n    </TR>\n  </TBODY>\n</TABLE>\n", 0x70};
const Wrapper kBlue = {"<B><FONT color=\"BLUE\">", "</FONT></B>", 0x17};
const Wrapper kRed = {"<B><FONT color=\"RED\">", "</FONT></B>", 0x47};
const Wrapper kGreen = {"<B><FONT color=\"GREEN\">", "</FONT></B>", 0x27};
const Wrapper kStrong = {"<B>", "</B>", -1};
const Wrapper kPlain = {"", "", -1};

void Entry(const Wrapper& w, const char* format, va_list args)
{
    if (!g_file) return;   // closed: no formatting at all
    g_lock.Enter();
    if (g_file) {
        std::fputs(w.before, g_file);
        va_list copy;
        va_copy(copy, args);
        std::vfprintf(g_file, format, copy);
        va_end(copy);
        std::fputs(w.after, g_file);
        std::fflush(g_file);
        if (g_consoleEcho) {
            char text[1024];
            VornSystem::FormatTextV(text, sizeof text, format, args);
            if (w.consoleColour >= 0) VornConsole::SetTextAttribute(uint16_t(w.consoleColour));
            VornConsole::Print("%s", text);
            if (w.consoleColour >= 0) VornConsole::SetTextAttribute(0x07);
        }
    }
    g_lock.Leave();
}

} // namespace

void VornLog::SetFileName(const char* base)
{
    Vorn::ResetCurrentDirectory();
    g_fileName[0] = '\0';
    if (!base || !*base) return;
    if (!VornSystem::FormatText(g_fileName, sizeof g_fileName, "%s.html", base)) {
        g_fileName[0] = '\0';   // a cut name would write somewhere unexpected
        return;
    }
    ::DeleteFileA(g_fileName);
}

const char* VornLog::GetFileName() { return g_fileName; }
void VornLog::EnableConsole() { g_consoleEcho = true; }
bool VornLog::IsOpen() { return g_file != nullptr; }

bool VornLog::Open() { return Open(Vorn::GetApplicationName()); }

bool VornLog::Open(const char* title)
{
    if (!g_fileName[0] || g_file) return g_file != nullptr;
    Vorn::ResetCurrentDirectory();   // the name is relative to the module's folder
    g_lock.Enter();
    g_file = std::fopen(g_fileName, "wt");
    if (g_file) {
        std::fprintf(g_file, kHead, title ? title : "");
        std::fflush(g_file);
        if (g_consoleEcho) VornConsole::Create();
    }
    g_lock.Leave();
    return g_file != nullptr;
}

void VornLog::Close()
{
    if (!g_file) return;
    g_lock.Enter();
    if (g_file) {
        std::fputs(kTail, g_file);
        std::fflush(g_file);
        std::fclose(g_file);
        g_file = nullptr;
        if (g_consoleEcho) VornConsole::Release();
    }
    g_lock.Leave();
}

#define VORN_LOG_ENTRY(wrapper)            \
    va_list args;                          \
    va_start(args, format);                \
    Entry(wrapper, format, args);          \
    va_end(args)

void VornLog::Title(const char* format, ...) { VORN_LOG_ENTRY(kTitle); }
void VornLog::Print(const char* format, ...) { VORN_LOG_ENTRY(kPlain); }
void VornLog::Strong(const char* format, ...) { VORN_LOG_ENTRY(kStrong); }
void VornLog::StrongBlue(const char* format, ...) { VORN_LOG_ENTRY(kBlue); }
void VornLog::StrongRed(const char* format, ...) { VORN_LOG_ENTRY(kRed); }
void VornLog::StrongGreen(const char* format, ...) { VORN_LOG_ENTRY(kGreen); }

void VornLog::LineBreak()
{
    if (!g_file) return;
    g_lock.Enter();
    if (g_file) {
        std::fputs("<BR>\n", g_file);
        std::fflush(g_file);
        if (g_consoleEcho) VornConsole::Print("\n");
    }
    g_lock.Leave();
}

namespace {

void Heading(const char* text)
{
    VornLog::StrongBlue("%s", text);
    VornLog::LineBreak();
}

// One value line of the report.
void Line(const char* format, ...) VORN_PRINTF(1, 2);
void Line(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    Entry(kPlain, format, args);
    va_end(args);
    VornLog::LineBreak();
}

double MB(unsigned long long bytes) { return double(bytes) / 1024.0 / 1024.0; }

void LogOperatingSystem()
{
    OSVERSIONINFOEXA info = {};
    info.dwOSVersionInfoSize = sizeof info;   // 156: the extended record
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif
    BOOL ok = ::GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info));
    if (!ok) {
        info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);   // 148: the basic one
        ok = ::GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info));
    }
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
    if (!ok) {
        VornLog::StrongBlue("Operation System [ Unknown ]");
        VornLog::LineBreak();
        VornLog::LineBreak();
        return;
    }
    char type[128] = "", version[128] = "", build[160] = "";
    const unsigned major = info.dwMajorVersion, minor = info.dwMinorVersion;
    VornSystem::FormatText(version, sizeof version, "Version %u.%u", major, minor);
    switch (info.dwPlatformId) {
    case VER_PLATFORM_WIN32s:
        VornSystem::CopyText(type, "Windows 3.1");
        VornSystem::FormatText(version, sizeof version, "Windows 3.1 ( Build %u %s )", unsigned(info.dwBuildNumber),
                               info.szCSDVersion);
        break;
    case VER_PLATFORM_WIN32_NT:
        if (major == 3) VornSystem::CopyText(type, "WindowsNT3.5");
        else if (major == 4) VornSystem::CopyText(type, "WindowsNT4");
        else if (major == 5 && minor == 0) VornSystem::CopyText(type, "Windows2000");
        else if (major == 5 && minor == 1) VornSystem::CopyText(type, "WindowsXP");
        else VornSystem::FormatText(type, sizeof type, "WindowsNT %u.%u", major, minor);   // newer than this list
        VornSystem::FormatText(build, sizeof build, "Build %u / %s", unsigned(info.dwBuildNumber), info.szCSDVersion);
        break;
    case VER_PLATFORM_WIN32_WINDOWS:
        if (minor == 0) {
            VornSystem::CopyText(type, "Windows95");
            if (info.szCSDVersion[0] == 'C' || info.szCSDVersion[0] == 'B') VornSystem::AppendText(type, sizeof type, " - OSR2 ");
        } else if (minor < 90) {
            VornSystem::CopyText(type, "Windows98");
            if (info.szCSDVersion[0] == 'A') VornSystem::AppendText(type, sizeof type, " - SE ");
        } else {
            VornSystem::CopyText(type, "WindowsMe");
        }
        VornSystem::FormatText(build, sizeof build, "( Build %u / %u )", unsigned(HIWORD(info.dwBuildNumber)),
                               unsigned(LOWORD(info.dwBuildNumber)));
        break;
    default:
        VornSystem::FormatText(type, sizeof type, "Windows ( %u )", unsigned(info.dwPlatformId));
        break;
    }
    Heading("Operation System");
    Line("　　　Type [ %s ]", type);
    Line("　　　Version [ %s ]", version);
    Line("　　　Build [ %s ]", build);
    VornLog::LineBreak();
}

void LogPath(const char* label, const char* path)
{
    char longPath[512];
    VornSystem::GetLongPath(path, longPath, sizeof longPath);
    Line("　　　%s [ %s ]", label, longPath);
}

} // namespace

void VornLog::LogSystemInfo(const char* banner)
{
    if (!g_file) return;
    Title("システム情報");

    Heading("Library Version");
    Line("　　　[ %s ]", banner ? banner : "");
    LineBreak();

    SYSTEMTIME now;
    ::GetLocalTime(&now);
    Heading("Boot Time");
    Line("　　　[ %u年%u月%u日 %u時%u分%u秒 ]", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond);
    LineBreak();

    LogOperatingSystem();

    Heading("Drive Information");
    const DWORD drives = ::GetLogicalDrives();
    for (int bit = 0; bit < 26; ++bit) {
        if (!(drives & (1u << bit))) continue;
        const char root[4] = {char('A' + bit), ':', '\\', 0};
        const char* format;
        switch (::GetDriveTypeA(root)) {
        case DRIVE_UNKNOWN: format = "　　　%s 不明\n"; break;
        case DRIVE_NO_ROOT_DIR: format = nullptr; break;
        case DRIVE_REMOVABLE: format = "　　　%s リムーバブルディスク\n"; break;
        case DRIVE_FIXED: format = "　　　%s ハードディスク\n"; break;
        case DRIVE_REMOTE: format = "　　　%s ネットワークドライブ\n"; break;
        case DRIVE_CDROM: format = "　　　%s CD-ROM\n"; break;
        case DRIVE_RAMDISK: format = "　　　%s RAMディスク\n"; break;
        default: format = "　　　%s 異常\n"; break;
        }
        if (!format) continue;
        Line(format, root);
    }
    LineBreak();

    MEMORYSTATUSEX memory = {};
    memory.dwLength = sizeof memory;
    ::GlobalMemoryStatusEx(&memory);
    Heading("Memory Information");
    Line("　　　Total [ %.3lfMB ]", MB(memory.ullTotalPhys));
    Line("　　　Free [ %.3lfMB ]", MB(memory.ullAvailPhys));
    Line("　　　Used [ %u%% ]", unsigned(memory.dwMemoryLoad));
    Line("　　　Total PageFile [ %.3lfMB ]", MB(memory.ullTotalPageFile));
    Line("　　　Free PageFile [ %.3lfMB ]", MB(memory.ullAvailPageFile));
    Line("　　　Total Virtual [ %.3lfMB ]", MB(memory.ullTotalVirtual));
    Line("　　　Free Virtual [ %.3lfMB ]", MB(memory.ullAvailVirtual));
    LineBreak();

    char path[MAX_PATH] = "";
    Heading("Path Information");
    if (::GetSystemDirectoryA(path, sizeof path) >= sizeof path) path[0] = '\0';
    LogPath("System Directory", path);
    if (::GetWindowsDirectoryA(path, sizeof path) >= sizeof path) path[0] = '\0';
    LogPath("Windows Directory", path);
    if (::GetTempPathA(sizeof path, path) >= sizeof path) path[0] = '\0';
    LogPath("Temp Directory", path);
    LineBreak();

    Heading("System Information");
    Line("　Screen Mode");
    Line("　　　[ %u x %u ]", unsigned(::GetSystemMetrics(SM_CXSCREEN)), unsigned(::GetSystemMetrics(SM_CYSCREEN)));
    Line("　OS Boot Mode");
    switch (::GetSystemMetrics(SM_CLEANBOOT)) {
    case 0: Print("　　　[ Normal Boot ]"); break;
    case 1: Print("　　　[ Safe Mode ]"); break;
    case 2: Print("　　　[ Safe Mode with Network ]"); break;
    default: break;
    }
    LineBreak();
    LineBreak();
}
