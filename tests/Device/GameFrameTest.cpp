// The game's frame loop on the engine's device: the whole game boots (answering the start-up
// question with No), and the back buffer is read just before Present in the title scene (the
// clear of the other scenes is the sky the whole-game runs check).
#include "BoxWatcher.h"
#include "DeviceFixture.h"
#include "Vorn.h"
#include "Vorn3D.h"
#include <atomic>
#include <thread>

namespace {

int g_frames;
vorntest::Readback g_titleFrame;
bool g_titleRead;

// The third frame is read, and the game asked to end then (again after 600 frames if it goes on).
void BeforePresent()
{
    if (++g_frames == 3) g_titleRead = g_titleFrame.ReadBackBuffer(Vorn3D::GetDevice());
    if (g_frames == 3 || g_frames > 600) Vorn::Exit();
}

}  // namespace

TEST(GameFrame, ClearsBlackOnTheTitle)
{
    vorntest::BoxWatcher boxes(IDNO);
    Vorn::AllowMultipleInstances();
    Vorn3D::SetPresentObserver(BeforePresent);
    char name[] = "Tormea";
    char* argv[] = {name, nullptr};
    // Closes the game's window when the frames do not come within 30 s (an inactive window pauses
    // the game), so that the test fails instead of hanging.
    std::atomic<bool> done{false};
    std::thread watchdog([&done] {
        for (int i = 0; i < 3000 && !done; ++i) Sleep(10);
        if (!done && Vorn::GetWindowHandle()) PostMessageA(Vorn::GetWindowHandle(), WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(0u, Vorn::BootMain(1, argv));
    Vorn3D::SetPresentObserver(nullptr);
    done = true;
    watchdog.join();

    ASSERT_TRUE(g_titleRead);
    const int w = g_titleFrame.Width(), h = g_titleFrame.Height();
    // Whatever the tasks draw, the clear colour shows at the bottom corners (the title's pictures
    // slide in from the left and right edges above them) and over most of the frame.
    EXPECT_NAMED({"width", w, 640}, {"height", h, 480}, {"bottom left", g_titleFrame.Hex(0, h - 1), vorntest::Argb{0}},
                 {"bottom right", g_titleFrame.Hex(w - 1, h - 1), vorntest::Argb{0}});
    EXPECT_GT(g_titleFrame.Count(0, 0, w, h, 0x000000), w * h / 2);
    if (HasFailure()) g_titleFrame.SaveBmp(vorntest::OutPath("GameFrame.title.bmp"));
    // The only box was the start-up question (its caption and text are the game entry tests').
    EXPECT_EQ(1u, boxes.Boxes().size());
}
