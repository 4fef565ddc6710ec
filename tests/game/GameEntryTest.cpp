// The game's settings before start-up and its message hook.
#include "BoxWatcher.h"
#include "EngineFixture.h"
#include "GameMain.h"
#include "Task.h"

using vorntest::BoxWatcher;
using vorntest::SeenBox;

TEST(GameInit, AnsweringNoRunsWindowedAt640x480AndYesFullScreen)
{
    for (int answer : {IDNO, IDYES}) {
        SCOPED_TRACE(answer == IDNO ? "answered No" : "answered Yes");
        BoxWatcher watcher(answer);
        EXPECT_TRUE(GameInit());
        EXPECT_EQ((std::vector<SeenBox>{{"起動オプション", "フルスクリーンモードで起動します"}}), watcher.Boxes());
        uint32_t w = 0, h = 0;
        bool windowed = false;
        Vorn::GetScreenInfo(&w, &h, &windowed);
        EXPECT_NAMED({"width", w, 640}, {"height", h, 480}, {"windowed", windowed, answer == IDNO});
    }
}

TEST(GameMessageHook, LetsEveryMessageThroughToTheEngine)
{
    // Escape, and only Escape, ends the application: Vorn::Exit logs the end.
    vorntest::LogCapture log;
    for (UINT m : {WM_CREATE, WM_KEYDOWN, WM_CHAR, WM_CLOSE, WM_ACTIVATEAPP}) EXPECT_TRUE(GameMessageHook(m, 'A', 0)) << m;
    EXPECT_TRUE(GameMessageHook(WM_KEYUP, VK_ESCAPE, 0));
    EXPECT_EQ(0, log.Count("アプリケーション終了"));   // read and closed: the log begins again
    ASSERT_TRUE(VornLog::Open("hook"));
    EXPECT_TRUE(GameMessageHook(WM_KEYDOWN, VK_ESCAPE, 0));
    EXPECT_EQ(1, log.Count("アプリケーション終了"));
}

TEST(GameMain, AFailedStartGoesStraightToTheShutDownAndEndsWithZero)
{
    // Full screen at a size the display has no mode for: the device cannot start. The game then
    // creates nothing and finalizes an engine whose later classes never started.
    Vorn::AllowMultipleInstances();
    Vorn::SetBootCallback([] { Vorn::SetScreenInfo(632, 472, false); });
    BoxWatcher watcher(IDNO);
    EXPECT_EQ(0u, Vorn::BootMain(0, nullptr));
    EXPECT_EQ(nullptr, g_taskList);
    const std::vector<SeenBox> boxes = watcher.Boxes();
    ASSERT_EQ(2u, boxes.size());
    EXPECT_NAMED({"the first box", boxes[0].caption, "起動オプション"}, {"the second box", boxes[1].caption, "ERROR"});
}
