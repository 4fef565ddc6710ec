#include "BoxWatcher.h"
#include <algorithm>

namespace vorntest {

BoxWatcher::BoxWatcher(int answer) : answer_(answer)
{
    InitializeCriticalSection(&lock_);
    thread_ = CreateThread(nullptr, 0, Thread, this, 0, nullptr);
}

BoxWatcher::~BoxWatcher()
{
    InterlockedExchange(&stop_, 1);
    if (thread_) {
        WaitForSingleObject(thread_, 5000);
        CloseHandle(thread_);
    }
    DeleteCriticalSection(&lock_);
}

std::vector<SeenBox> BoxWatcher::Boxes()
{
    EnterCriticalSection(&lock_);
    std::vector<SeenBox> copy = boxes_;
    LeaveCriticalSection(&lock_);
    return copy;
}

DWORD WINAPI BoxWatcher::Thread(void* self)
{
    auto* w = static_cast<BoxWatcher*>(self);
    while (!w->stop_) {
        EnumWindows(Visit, reinterpret_cast<LPARAM>(w));
        Sleep(20);
    }
    return 0;
}

BOOL CALLBACK BoxWatcher::Visit(HWND window, LPARAM self)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != GetCurrentProcessId() || !IsWindowVisible(window)) return TRUE;
    char cls[64] = {};
    GetClassNameA(window, cls, sizeof cls);
    if (strcmp(cls, "#32770") == 0) reinterpret_cast<BoxWatcher*>(self)->Answer(window);
    return TRUE;
}

namespace {
BOOL CALLBACK FindText(HWND child, LPARAM out)
{
    char cls[64] = {};
    GetClassNameA(child, cls, sizeof cls);
    if (_stricmp(cls, "Static") != 0) return TRUE;
    char text[4096] = {};
    GetWindowTextA(child, text, sizeof text);
    if (text[0]) {
        *reinterpret_cast<std::string*>(out) = text;
        return FALSE;
    }
    return TRUE;
}
}  // namespace

void BoxWatcher::Answer(HWND box)
{
    if (std::find(answered_.begin(), answered_.end(), box) != answered_.end()) {
        if (IsWindow(box)) PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        return;
    }
    Sleep(50);   // let the box finish laying itself out
    SeenBox seen;
    char caption[1024] = {};
    GetWindowTextA(box, caption, sizeof caption);
    seen.caption = caption;
    EnumChildWindows(box, FindText, reinterpret_cast<LPARAM>(&seen.text));
    EnterCriticalSection(&lock_);
    boxes_.push_back(seen);
    LeaveCriticalSection(&lock_);
    answered_.push_back(box);
    const int id = GetDlgItem(box, answer_) ? answer_ : IDCANCEL;
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, id)));
}

}  // namespace vorntest
