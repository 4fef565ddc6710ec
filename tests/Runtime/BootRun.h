// Steps shared by the boot and window tests. Each test case is its own process, so each one may
// boot the engine once, under an application name of its own (cases run side by side, and the name
// is the single-instance mutex's).
#pragma once
#include "BoxWatcher.h"
#include "GameStubs.h"
#include "Vorn.h"
#include <gtest/gtest.h>
#include <functional>
#include <memory>
#include <cstring>
#include <string>
#include <vector>

namespace vorntest {

inline const char* TestName()
{
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    static const std::string name = std::string("Vorn.") + info->test_suite_name() + "." + info->name();
    return name.c_str();
}

// The usual settings of an engine-only program: 640x480 windowed, no frame limit.
inline void Settings(uint32_t option)
{
    Vorn::SetMemorySize(0x2000000, true);
    Vorn::SetApplicationName(TestName());
    Vorn::SetScreenInfo(640, 480, true);
    Vorn::SetUseOption(option);
}

// Whether the engine runs in a window (from the screen settings).
inline bool Windowed()
{
    bool windowed = false;
    Vorn::GetScreenInfo(nullptr, nullptr, &windowed);
    return windowed;
}

// Ends the application from inside GameMain (unless it has ended already) and lets the pump see
// it through.
inline void EndRun()
{
    if (!Vorn::GetWindowHandle()) return;
    Vorn::Exit();
    for (int frames = 0; frames < 1000 && Vorn::Run(false); ++frames) {}
}

// Boots with every box answered. The boxes seen go to `boxes`; without it any box fails the case
// (and cannot hang it).
inline uint32_t Boot(std::vector<SeenBox>* boxes = nullptr, int answer = IDOK)
{
    BoxWatcher watcher(answer);
    const uint32_t code = Vorn::Boot(GetModuleHandleA(nullptr), 0, nullptr);
    if (boxes) *boxes = watcher.Boxes();
    else
        for (const SeenBox& box : watcher.Boxes()) ADD_FAILURE() << "box " << box.caption << ": " << box.text;
    return code;
}

// Boots with Settings(option) and `init`; GameMain runs `main`, then ends the run. A GameMain that
// never ran fails the case, so `main` may hold the case's checks.
inline uint32_t BootRunning(uint32_t option, std::function<void()> init, std::function<void()> main,
                            std::vector<SeenBox>* boxes = nullptr)
{
    const auto ran = std::make_shared<bool>(false);
    SetGameInit([=] {
        Settings(option);
        if (init) init();
        return true;
    });
    SetGameMain([=](int, char**) {
        *ran = true;
        main();
        EndRun();
        return 0;
    });
    const uint32_t code = Boot(boxes);
    EXPECT_TRUE(*ran) << "GameMain never ran";
    return code;
}

}  // namespace vorntest
