// The audio tests: each case in a scratch folder of its own, the engine booted with Direct3D,
// music and media around its body; the log comes back as text.
#pragma once
#include "../Runtime/BootRun.h"
#include "../Runtime/RuntimeTestSupport.h"
#include "AudioMedia.h"
#include "EngineFixture.h"
#include "VornEngine.h"
#include <functional>

namespace audiotest {

using namespace vorntest;   // the log's wrappers, InOrder, BootRunning, Readback
using AudioTest = ScratchTest;
inline std::string Strong(const std::string& s) { return "<B>" + s + "</B>"; }

// The engine booted with the option bits (Direct3D, music and media unless given) around body.
inline std::string RunEngine(std::function<void()> body, std::function<void()> beforeStart = nullptr,
                             uint32_t option = OPTION_DIRECT3D | OPTION_DIRECTMUSIC | OPTION_DIRECTSHOW)
{
    vorntest::BootRunning(option, [] { VornLog::SetFileName("audio"); }, [&] {
        if (beforeStart) beforeStart();
        if (Vorn::Start()) body();
        else ADD_FAILURE() << "Vorn::Start failed";
        Vorn::Finalize();
    });
    return ReadFile("audio.html");
}

// Runs the message pump (the graphs' events come through it) for ms milliseconds.
inline void Pump(DWORD ms)
{
    for (const DWORD start = GetTickCount(); GetTickCount() - start < ms; Sleep(10)) Vorn::Run(true);
}

}  // namespace audiotest
