// Shared set-up of the 3D tests: the runtime services, a log per test and the engine's own device
// (Vorn3D started on a 256 x 256 window), with the back buffer read back before Present.
#pragma once
#include "../texture/TextureTestSupport.h"
#include "DeviceFixture.h"
#include "Vorn.h"
#include "Vorn3D.h"

namespace scene3d {

using texturetest::Blue;
using texturetest::Green;
using texturetest::LogCapture;
using texturetest::Red;

constexpr int kSize = 256;

inline int CountIn(const std::string& text, const std::string& piece)
{
    int n = 0;
    for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + piece.size())) ++n;
    return n;
}

// Starts Vorn3D once per test program (every case runs in its own process).
inline bool StartDevice()
{
    static bool started = false, ok = false;
    if (started) return ok;
    started = true;
    texturetest::StartServices();
    Vorn::SetScreenInfo(kSize, kSize, true);
    HWND window = vorntest::CreateTestWindow(kSize, kSize, "Vorn3DTest");
    ok = window && Vorn3D::Initialize() && Vorn3D::Start(window, true);
    return ok;
}

class EngineDeviceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(StartDevice());
        device_ = Vorn3D::GetDevice();
        ASSERT_NE(nullptr, device_);
    }
    void TearDown() override
    {
        if (HasFailure()) {
            const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
            frame_.SavePng(vorntest::OutPath(std::string(info->test_suite_name()) + "." + info->name() + ".png"));
        }
    }
    bool ReadBack() { return frame_.ReadBackBuffer(device_); }
    IDirect3DDevice9* device_ = nullptr;
    vorntest::Readback frame_;
};

}  // namespace scene3d
