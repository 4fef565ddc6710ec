#include "BoxWatcher.h"
#include <algorithm>

namespace vorntest {

BoxWatcher::BoxWatcher(int answer) : answer_(answer)
{
    // Every visible dialog window of this process, looked for every 20 ms.
    auto watch = [](void* self) -> DWORD {
        for (auto* w = static_cast<BoxWatcher*>(self); !w->stop_; Sleep(20))
            EnumWindows([](HWND window, LPARAM w) -> BOOL {
                DWORD pid = 0;
                GetWindowThreadProcessId(window, &pid);
                char cls[64] = {};
                GetClassNameA(window, cls, sizeof cls);
                if (pid == GetCurrentProcessId() && IsWindowVisible(window) && strcmp(cls, "#32770") == 0)
                    reinterpret_cast<BoxWatcher*>(w)->Answer(window);
                return TRUE;
            }, reinterpret_cast<LPARAM>(self));
        return 0;
    };
    thread_ = CreateThread(nullptr, 0, watch, this, 0, nullptr);
}

BoxWatcher::~BoxWatcher()
{
    InterlockedExchange(&stop_, 1);
    WaitForSingleObject(thread_, 5000);
    CloseHandle(thread_);
}

std::vector<SeenBox> BoxWatcher::Boxes()
{
    std::lock_guard<std::mutex> hold(lock_);
    return boxes_;
}

void BoxWatcher::Answer(HWND box)
{
    if (std::find(answered_.begin(), answered_.end(), box) != answered_.end()) {
        if (IsWindow(box)) PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        return;
    }
    Sleep(50);   // let the box finish laying itself out
    char caption[1024] = {}, text[4096] = {};
    GetWindowTextA(box, caption, sizeof caption);
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);   // a message box's text is its item 0xFFFF
    {
        std::lock_guard<std::mutex> hold(lock_);
        boxes_.push_back({caption, text});
    }
    answered_.push_back(box);
    const int id = GetDlgItem(box, answer_) ? answer_ : IDCANCEL;
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, id)));
}

}  // namespace vorntest
