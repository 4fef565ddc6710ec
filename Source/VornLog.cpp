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
// Created once and never deleted: a call racing Close, or arriving after it, finds a valid lock
// and a closed file, and does nothing.
CRITICAL_SECTION g_lock;
INIT_ONCE g_lockOnce = INIT_ONCE_STATIC_INIT;

BOOL CALLBACK InitLock(PINIT_ONCE, PVOID, PVOID*)
{
    InitializeCriticalSection(&g_lock);
    return TRUE;
}

void EnsureLock() { InitOnceExecuteOnce(&g_lockOnce, InitLock, nullptr, nullptr); }

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
    EnsureLock();
    EnterCriticalSection(&g_lock);
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
    LeaveCriticalSection(&g_lock);
}

} // namespace

void VornLog::SetFileName(const char* base)
{
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
    EnsureLock();
    EnterCriticalSection(&g_lock);
    g_file = std::fopen(g_fileName, "wt");
    if (g_file) {
        std::fprintf(g_file, kHead, title ? title : "");
        std::fflush(g_file);
        if (g_consoleEcho) VornConsole::Create();
    }
    LeaveCriticalSection(&g_lock);
    return g_file != nullptr;
}

void VornLog::Close()
{
    if (!g_file) return;
    EnterCriticalSection(&g_lock);
    if (g_file) {
        std::fputs(kTail, g_file);
        std::fflush(g_file);
        std::fclose(g_file);
        g_file = nullptr;
        if (g_consoleEcho) VornConsole::Release();
    }
    LeaveCriticalSection(&g_lock);
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
    EnterCriticalSection(&g_lock);
    if (g_file) {
        std::fputs("<BR>\n", g_file);
        std::fflush(g_file);
        if (g_consoleEcho) VornConsole::Print("\n");
    }
    LeaveCriticalSection(&g_lock);
}

void VornLog::LogSystemInfo(const char* banner)
{
    (void)banner;
}
