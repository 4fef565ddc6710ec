// Vorn::Exit: ends the application (closes the list box and the window, marks the run aborted and
// logs the end). Above the log, beneath the classes that call it.
#include "VornState.h"
#include "VornLog.h"

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
