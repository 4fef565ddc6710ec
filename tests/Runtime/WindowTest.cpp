// The window, its procedure, the message pump and the frame timing, run through a real boot.
#include "BootRun.h"
#include "../Audio/AudioMedia.h"
#include "EngineFixture.h"
#include "Vorn3D.h"
#include "VornInput.h"
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

using namespace vorntest;

namespace {

double Seconds() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

void SixtyFrames() { Vorn::SetFrameRate(60); }

std::string Title()
{
    char title[1024] = {};
    GetWindowTextA(Vorn::GetWindowHandle(), title, sizeof title);
    return title;
}

// Posts a message to the window from another thread after a delay, while the caller is busy.
std::thread PostLater(HWND w, UINT message, WPARAM wParam, DWORD ms)
{
    return std::thread([=] { Sleep(ms); PostMessageA(w, message, wParam, 0); });
}

int g_destroys, g_closes;

}  // namespace

TEST(Window, ClosingDestroysTheWindowOnce)
{
    SetGameMessageHook([](UINT m, WPARAM, LPARAM) {
        g_destroys += m == WM_DESTROY;
        g_closes += m == WM_CLOSE;
        return true;
    });
    EXPECT_EQ(0u, BootRunning(OPTION_DIRECT3D, SixtyFrames, [&] {
        HWND w = Vorn::GetWindowHandle();
        const int cursorBefore = ShowCursor(TRUE);
        ShowCursor(FALSE);
        PostMessageA(w, WM_CLOSE, 0, 0);
        int framesAfterClose = 0, quitsSeen = 0;
        while (Vorn::Run(false) && framesAfterClose < 100) ++framesAfterClose;
        EXPECT_NAMED({"frames after the close", framesAfterClose < 100, true}, {"window", Vorn::GetWindowHandle(), nullptr},
                     {"still a window", bool(IsWindow(w)), false});
        EXPECT_EQ(cursorBefore + 1, ShowCursor(TRUE));   // the hidden cursor is shown again, once
        ShowCursor(FALSE);
        // Nothing else is waiting: no second quit.
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) quitsSeen += m.message == WM_QUIT;
        EXPECT_EQ(0, quitsSeen);
    }));
    EXPECT_NAMED({"closes", g_closes, 1}, {"destroys", g_destroys, 1});
}

TEST(Window, WheelAndDoubleClicksReachTheMouseUnlessTheHookRefusesThem)
{
    // The hook refuses every message with 0x7777 in its low word: the engine must not see those.
    SetGameMessageHook([](UINT, WPARAM wParam, LPARAM) { return LOWORD(wParam) != 0x7777; });
    EXPECT_EQ(0u, BootRunning(OPTION_DIRECTINPUT, nullptr, [&] {
        ASSERT_TRUE(Vorn::Start());
        HWND w = Vorn::GetWindowHandle();
        const std::pair<UINT, WPARAM> sent[] = {{WM_MOUSEWHEEL, MAKEWPARAM(0, 240)}, {WM_MOUSEWHEEL, MAKEWPARAM(0, WORD(WHEEL_DELTA * -3))},
                                                {WM_MOUSEWHEEL, MAKEWPARAM(0x7777, 1000)}, {WM_LBUTTONDBLCLK, 0},
                                                {WM_MBUTTONDBLCLK, 0}, {WM_RBUTTONDBLCLK, 0x7777}};
        for (const auto& m : sent) SendMessageA(w, m.first, m.second, 0);
        VornInput::Refresh();
        VornMouseState mouse = {};
        VornInput::GetMouseData(&mouse);
        EXPECT_NAMED({"wheel", int(mouse.wheel), -120}, {"left double click", int(mouse.doubleClick[0]), 1},
                     {"right double click (refused)", int(mouse.doubleClick[1]), 0}, {"middle double click", int(mouse.doubleClick[2]), 1});
    }));
}

TEST(Window, StartsActiveFollowsActivationAndPausesInThePumpWhileInactive)
{
    EXPECT_TRUE(Vorn::IsActive());   // before any WM_ACTIVATEAPP
    EXPECT_EQ(0u, BootRunning(OPTION_DIRECT3D, nullptr, [&] {
        HWND w = Vorn::GetWindowHandle();
        EXPECT_TRUE(Vorn::Run(false));
        SendMessageA(w, WM_ACTIVATEAPP, FALSE, 0);
        EXPECT_FALSE(Vorn::IsActive());
        EXPECT_TRUE(Vorn::Run(true));   // a non-waiting pump still returns
        SendMessageA(w, WM_ACTIVATEAPP, TRUE, 0);
        EXPECT_TRUE(Vorn::IsActive());
        EXPECT_TRUE(Vorn::Run(false));

        // A waiting pump returns once the application is active again.
        SendMessageA(w, WM_ACTIVATEAPP, FALSE, 0);
        const uint32_t before = Vorn::GetSyncCount();
        std::thread activate = PostLater(w, WM_ACTIVATEAPP, TRUE, 300);
        const double t0 = Seconds();
        Vorn::Run(false);
        const double paused = Seconds() - t0;
        activate.join();
        EXPECT_GT(paused, 0.25);
        EXPECT_EQ(1u, Vorn::GetSyncCount() - before);   // the one frame after the pause
    }));
}

// Sixty frames a second (the best second between 50 and 70, none above) is the game's boot run's
// check; here no frame may be shorter than the target, which a loaded machine cannot cause, and a
// frame that took longer than the target does not wait.
TEST(Frame, AtSixtyNoFrameIsShorterThanASixtiethOfASecondAndALongerOneDoesNotWait)
{
    uint32_t syncs = 0;
    float shortest = 1.0f;
    std::vector<double> times;
    EXPECT_EQ(0u, BootRunning(OPTION_DIRECT3D, SixtyFrames, [&] {
        for (int i = 0; i < 5; ++i) Vorn::Run(false);   // settle
        const uint32_t before = Vorn::GetSyncCount();
        for (int i = 0; i < 120; ++i) {
            Vorn::Run(false);
            shortest = std::min(shortest, Vorn::GetFrameTime());
        }
        syncs = Vorn::GetSyncCount() - before;
        for (int i = 0; i < 20; ++i) {
            Sleep(30);   // the game's work takes two frames' time
            const double t0 = Seconds();
            Vorn::Run(false);
            times.push_back(Seconds() - t0);
        }
    }));
    EXPECT_EQ(120u, syncs);
    const double frequency = static_cast<double>(Vorn::GetSystemTimerFrequency());
    EXPECT_GE(shortest, static_cast<float>(static_cast<double>(Vorn::GetSystemTimerFrequency() / 60) / frequency) * 0.9999f);
    ASSERT_EQ(20u, times.size());
    std::sort(times.begin(), times.end());
    // The quickest long frame: a loaded machine can stall any of them, but a wait would hold back every one.
    EXPECT_LT(times[0], 0.004) << "longest " << times.back();
}

TEST(Frame, ALimitOfZeroDoesNotWaitAndWithoutTheCaptionSettingTheTitleStays)
{
    EXPECT_EQ(0u, BootRunning(OPTION_DIRECT3D, nullptr, [&] {
        float shortest = 1.0f;
        const double t0 = Seconds();
        for (int i = 0; i < 120; ++i) {
            Vorn::Run(false);
            if (i) shortest = std::min(shortest, Vorn::GetFrameTime());
        }
        // With a limit of 60 no frame could be shorter than 1/60 s (a loaded machine only makes frames longer).
        EXPECT_LT(shortest, 1.0f / 120.0f);
        while (Seconds() - t0 < 1.3) Vorn::Run(false);
        EXPECT_EQ(TestName(), Title());
        EXPECT_GT(Vorn::GetFPS(), 0u);   // the statistics are kept all the same
    }));
}

// The caption's timing (once a second) and its frame rate are the game's boot run's checks; here
// every polygon added in a second is counted in it. After each change 1000 more polygons go into
// the new second once, so that no two seconds read the same.
TEST(Frame, CaptionShowsTheStatisticsOfEachWholeSecond)
{
    struct Change { std::string caption; uint32_t fps, pps, ppf, pps3D, ppf3D; };
    std::vector<Change> changes;
    EXPECT_EQ(0u, BootRunning(OPTION_DIRECT3D, [] { SixtyFrames(); Vorn::SetDrawTitleInfo(); }, [&] {
        std::string last = Title();
        const double t0 = Seconds();
        while (Seconds() - t0 < 8.0 && changes.size() < 3) {
            Vorn::Run(false);
            Vorn::AddPolygonCount(10);
            Vorn::AddPolygonCount3D(3);
            const std::string now = Title();
            if (now == last) continue;
            last = now;
            changes.push_back({now, Vorn::GetFPS(), Vorn::GetPPS(), Vorn::GetPPF(), Vorn::GetPPS3D(), Vorn::GetPPF3D()});
            Vorn::AddPolygonCount(static_cast<uint32_t>(1000 * changes.size()));
        }
    }));
    ASSERT_GE(changes.size(), 3u);
    for (size_t i = 0; i < changes.size(); ++i) {
        const Change& c = changes[i];
        SCOPED_TRACE("second " + std::to_string(i) + ": " + c.caption);
        char rebuilt[1024];
        snprintf(rebuilt, sizeof rebuilt, "%s FPS[%u] PPS[%u] PPF[%u] PPF3D[%u]", TestName(), c.fps, c.pps, c.ppf, c.ppf3D);
        EXPECT_EQ(rebuilt, c.caption);
        if (i == 0) continue;
        // A full second: every frame of it added 10 polygons and 3 in 3D, and its first 1000 * i.
        EXPECT_NAMED({"PPS", c.pps, 10u * c.fps + 1000u * i}, {"PPS3D", c.pps3D, 3u * c.fps}, {"PPF3D", c.ppf3D, 3u});
    }
}

TEST(Window, StartsAsAWindowAltEnterSwitchesToFullScreenAndBackAndAltF4IsIgnored)
{
    const LONG windowStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    EXPECT_EQ(0u, BootRunning(OPTION_DIRECT3D, nullptr, [&] {
        HWND w = Vorn::GetWindowHandle();
        // The client size, whether windowed, and the style bits of `mask`, as text.
        const auto state = [w](LONG mask) {
            RECT client = {};
            GetClientRect(w, &client);
            char s[80];
            snprintf(s, sizeof s, "%ld x %ld %s, style 0x%08lX", client.right, client.bottom, Windowed() ? "windowed" : "full screen",
                     GetWindowLongA(w, GWL_STYLE) & mask);
            return std::string(s);
        };
        EXPECT_EQ("640 x 480 windowed, style 0x80CA0000", state(windowStyle | WS_THICKFRAME));   // popup, caption, menu, minimize
        EXPECT_TRUE(IsWindowVisible(w));
        // System keys get no default handling: Alt+F4 would otherwise close the window.
        EXPECT_EQ(0, SendMessageA(w, WM_SYSKEYDOWN, VK_F4, 1 << 29));
        for (int i = 0; i < 3; ++i) Vorn::Run(true);
        EXPECT_NAMED({"still a window", bool(IsWindow(w)), true}, {"the engine's window", Vorn::GetWindowHandle(), w});
        SendMessageA(w, WM_SYSKEYUP, VK_RETURN, 0);
        RECT rect = {};
        GetWindowRect(w, &rect);
        EXPECT_NAMED({"left", rect.left, 0}, {"top", rect.top, 0});
        EXPECT_EQ("640 x 480 full screen, style 0x00000000", state(WS_CAPTION));
        SendMessageA(w, WM_SYSKEYUP, VK_RETURN, 0);
        EXPECT_EQ("640 x 480 windowed, style 0x00C00000", state(WS_CAPTION));
    }));
}

TEST(Window, ChangeScreenSizeKeepsTheModeAndScalesFromTheVirtualScreen)
{
    EXPECT_EQ(0u, BootRunning(OPTION_DIRECT3D, nullptr, [&] {
        ASSERT_TRUE(Vorn::Start());
        Vorn::ChangeScreenSize(800, 600, false);
        RECT client = {}, viewport = {};
        GetClientRect(Vorn::GetWindowHandle(), &client);
        Vorn3D::GetViewport(&viewport);
        Readback backBuffer;
        ASSERT_TRUE(backBuffer.ReadBackBuffer(Vorn3D::GetDevice()));
        // Without the toggle the mode stays; the window, the viewport and the back buffer take the size.
        EXPECT_NAMED({"windowed", Windowed(), true}, {"client width", client.right, 800}, {"client height", client.bottom, 600},
                     {"viewport width", viewport.right, 800}, {"viewport height", viewport.bottom, 600}, {"device lost", Vorn3D::IsDeviceLost(), false},
                     {"back buffer width", backBuffer.Width(), 800}, {"back buffer height", backBuffer.Height(), 600});
        // The virtual screen stays 640x480; with its scale turned off it maps one to one, and back.
        uint32_t w = 0, h = 0;
        Vorn::GetVirtualScreenSize(&w, &h);
        EXPECT_NAMED({"virtual width", w, 640}, {"virtual height", h, 480}, {"x 64", Vorn::VirtualScaleX(64.0f), 80.0f},
                     {"y 48", Vorn::VirtualScaleY(48.0f), 60.0f});
        Vorn::SetVirtualScaleEnable(false);
        EXPECT_NAMED({"x 64 unscaled", Vorn::VirtualScaleX(64.0f), 64.0f}, {"y 48 unscaled", Vorn::VirtualScaleY(48.0f), 48.0f});
        Vorn::SetVirtualScaleEnable(true);
        EXPECT_NAMED({"x 64 scaled again", Vorn::VirtualScaleX(64.0f), 80.0f}, {"y 48 scaled again", Vorn::VirtualScaleY(48.0f), 60.0f});
        Vorn::GetScreenInfo(nullptr, nullptr, nullptr);   // every pointer is optional
        EndRun();
        Vorn::Finalize();
    }));
}

TEST(Window, ASubLoopOnlyRecordsTheQuitRequestAndExitWithoutAListBoxPostsNothingStray)
{
    EXPECT_EQ(0u, BootRunning(OPTION_DIRECT3D, nullptr, [&] {
        HWND w = Vorn::GetWindowHandle();
        EXPECT_FALSE(Vorn::SubLoopStep());
        PostMessageA(w, WM_CLOSE, 0, 0);
        EXPECT_TRUE(Vorn::SubLoopStep());
        EXPECT_NAMED({"still a window", bool(IsWindow(w)), true}, {"the engine's window", Vorn::GetWindowHandle(), w});
        Vorn::Exit();   // inside a sub-loop it only asks
        EXPECT_TRUE(Vorn::SubLoopStep());
        MSG m;
        EXPECT_FALSE(PeekMessageA(&m, nullptr, WM_CLOSE, WM_CLOSE, PM_NOREMOVE));
        EXPECT_TRUE(Vorn::Run(false));   // the application goes on
        Vorn::Exit();
        // A message posted to no window would be a thread message.
        EXPECT_FALSE(PeekMessageA(&m, reinterpret_cast<HWND>(-1), WM_CLOSE, WM_CLOSE, PM_NOREMOVE));
        while (Vorn::Run(false)) {}
    }));
}

TEST(Window, CenterWindowAndAMovieThatCannotOpen)
{
    std::vector<SeenBox> boxes;
    EXPECT_EQ(0u, BootRunning(OPTION_DIRECT3D, nullptr, [&] {
        HWND w = Vorn::GetWindowHandle();
        HWND box = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 100, 50, w, nullptr, nullptr, nullptr);
        Vorn::CenterWindow(box, w);
        RECT child = {}, main = {};
        GetWindowRect(box, &child);
        GetWindowRect(w, &main);
        DestroyWindow(box);
        EXPECT_NAMED({"left", child.left, main.left + ((main.right - main.left) - 100) / 2},
                     {"top", child.top, main.top + ((main.bottom - main.top) - 50) / 2}, {"width", child.right - child.left, 100});
        Vorn::PlayMovie("no such movie.avi");   // the player's own error box, then back here
        EXPECT_TRUE(Vorn::Run(false));
    }, &boxes));
    EXPECT_LE(boxes.size(), 1u);
}

TEST(Window, ClosingTheWindowDuringAMovieEndsThePlaybackAndThenTheApplication)
{
    // A 4 s WAVE file made by the audio tests' one builder.
    const std::string movie = ModuleFolder() + "\\VornWindowTone.wav", wave = audiotest::MakeWave(4.0);
    ASSERT_TRUE(vorntest::WriteFile(movie, std::vector<unsigned char>(wave.begin(), wave.end())));
    EXPECT_EQ(0u, BootRunning(OPTION_DIRECT3D, SixtyFrames, [&] {
        HWND w = Vorn::GetWindowHandle();
        std::thread close = PostLater(w, WM_CLOSE, 0, 400);
        const double t0 = Seconds();
        Vorn::PlayMovie(movie.c_str());
        const double played = Seconds() - t0;
        close.join();
        EXPECT_TRUE(InRange("seconds played", played, 0.35, 3.0));   // it did play, and stopped at the close
        EXPECT_TRUE(IsWindow(w));   // the close only asked the player to stop
        int framesAfter = 0;
        while (Vorn::Run(false) && framesAfter < 1000) ++framesAfter;
        EXPECT_LT(framesAfter, 10);   // then the application ended
    }));
    DeleteFileA(movie.c_str());
}
