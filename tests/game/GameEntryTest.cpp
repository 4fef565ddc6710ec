// The game's settings before start-up and its message hook.
#include "BoxWatcher.h"
#include "GameMain.h"
#include "Task.h"
#include "Vorn.h"
#include <gtest/gtest.h>

namespace {

struct Answered {
    bool result = false;
    std::vector<vorntest::SeenBox> boxes;
};

Answered RunGameInit(int answer)
{
    Answered a;
    vorntest::BoxWatcher watcher(answer);
    a.result = GameInit();
    a.boxes = watcher.Boxes();
    return a;
}

}  // namespace

TEST(GameInit, AnsweringNoRunsWindowedAt640x480)
{
    const Answered a = RunGameInit(IDNO);
    EXPECT_TRUE(a.result);
    ASSERT_EQ(1u, a.boxes.size());
    EXPECT_EQ("起動オプション", a.boxes[0].caption);
    EXPECT_EQ("フルスクリーンモードで起動します", a.boxes[0].text);
    uint32_t w = 0, h = 0;
    bool windowed = false;
    Vorn::GetScreenInfo(&w, &h, &windowed);
    EXPECT_EQ(640u, w);
    EXPECT_EQ(480u, h);
    EXPECT_TRUE(windowed);
    EXPECT_STREQ("トルメア", Vorn::GetApplicationName());
    EXPECT_EQ(0x1Bu, Vorn::GetUseOption());   // Direct3D, input, music, media
    EXPECT_EQ(60u, Vorn::GetFrameRate());
}

TEST(GameInit, AnsweringYesRunsFullScreen)
{
    const Answered a = RunGameInit(IDYES);
    EXPECT_TRUE(a.result);
    ASSERT_EQ(1u, a.boxes.size());
    bool windowed = true;
    Vorn::GetScreenInfo(nullptr, nullptr, &windowed);
    EXPECT_FALSE(windowed);
}

TEST(GameMessageHook, LetsEveryMessageThroughToTheEngine)
{
    for (UINT m : {static_cast<UINT>(WM_CREATE), static_cast<UINT>(WM_KEYDOWN), static_cast<UINT>(WM_CHAR),
                   static_cast<UINT>(WM_CLOSE), static_cast<UINT>(WM_ACTIVATEAPP)}) {
        EXPECT_TRUE(GameMessageHook(m, 'A', 0)) << m;
    }
    // Escape asks the engine to end (without a window there is nothing to post to).
    EXPECT_TRUE(GameMessageHook(WM_KEYDOWN, VK_ESCAPE, 0));
}

TEST(GameMain, AFailedStartGoesStraightToTheShutDownAndEndsWithZero)
{
    // Full screen at a size the display has no mode for: the device cannot start. The game then
    // creates nothing and finalizes an engine whose later classes never started.
    Vorn::AllowMultipleInstances();
    Vorn::SetBootCallback([] { Vorn::SetScreenInfo(632, 472, false); });
    std::vector<vorntest::SeenBox> boxes;
    uint32_t code = 1;
    {
        vorntest::BoxWatcher watcher(IDNO);
        code = Vorn::BootMain(0, nullptr);
        boxes = watcher.Boxes();
    }
    EXPECT_EQ(0u, code);
    EXPECT_EQ(nullptr, g_taskList);
    ASSERT_EQ(2u, boxes.size());
    EXPECT_EQ("起動オプション", boxes[0].caption);
    EXPECT_EQ("ERROR", boxes[1].caption);
    EXPECT_EQ("３Ｄシステムの起動に失敗", boxes[1].text);
}
