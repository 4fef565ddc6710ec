// Shared set-up of the 3D tests: the runtime services, a log per test and the engine's own device
// (Vorn3D started on a 256 x 256 window for each suite), with the back buffer read back before Present.
#pragma once
#include "../Draw2D/DrawChecks.h"
#include "../Device/TextureTestSupport.h"
#include "DeviceFixture.h"
#include "Vorn.h"
#include "Vorn3D.h"
#include "VornCamera.h"

namespace scene3d {

using draw2dtest::BoxIs;
using draw2dtest::CountIn;
using texturetest::Blue;
using texturetest::Green;
using texturetest::LogCapture;
using texturetest::Red;

constexpr int kSize = 256;

// The device lives for one suite and is let go before the program ends: a process that exits with
// a live device can be killed by Wine while the driver tears down under load.
class EngineDeviceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        texturetest::StartServices();
        Vorn::SetScreenInfo(kSize, kSize, true);
        window_ = vorntest::CreateTestWindow(kSize, kSize, "Vorn3DTest");
        ready_ = window_ && Vorn3D::Initialize() && Vorn3D::Start(window_, true);
    }
    static void TearDownTestSuite()
    {
        Vorn3D::Finalize();
        if (window_) DestroyWindow(window_);
        window_ = nullptr;
        vorntest::PumpMessages();
    }
    void SetUp() override
    {
        ASSERT_TRUE(ready_);
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
    // A square 90-degree camera (near 1, far 100) at (0, 0, z) looking along +z, made the current one.
    static VornCameraHandle UseCamera(float z)
    {
        const VornCameraHandle camera = VornCamera::Create();
        VornCamera::CreateProjection(camera, 3.14159265f / 2.0f, 1.0f, 100.0f, 1.0f);
        VornCamera::TransformInit(camera);
        VornCamera::SetPosition(camera, 0.0f, 0.0f, z);
        VornCamera::TransformUpdate(camera);
        Vorn3D::SetCamera(camera);
        return camera;
    }
    // Clears to black, runs draw inside a scene and reads the frame back.
    template <typename F> void Frame(F draw)
    {
        Vorn3D::Clear(D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0, nullptr);
        ASSERT_TRUE(Vorn3D::BeginScene());
        draw();
        Vorn3D::EndScene();
        ASSERT_TRUE(ReadBack());
    }
    IDirect3DDevice9* device_ = nullptr;
    vorntest::Readback frame_;
    static inline HWND window_ = nullptr;
    static inline bool ready_ = false;
};

}  // namespace scene3d
