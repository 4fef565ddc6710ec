#include "EngineDeviceFixture.h"
#include "Vorn.h"
#include "Vorn3D.h"

namespace vorntest {

void EngineDeviceTest::SetUp()
{
    Vorn::SetScreenInfo(kWidth, kHeight, true);
    window_ = CreateTestWindow(kWidth, kHeight, "VornEngineDeviceTest");
    ASSERT_NE(window_, nullptr);
    ASSERT_TRUE(Vorn3D::Initialize());
    ASSERT_TRUE(Vorn3D::Start(window_, true));
    ASSERT_NE(Vorn3D::GetDevice(), nullptr);
}

void EngineDeviceTest::TearDown()
{
    if (HasFailure()) {
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        frame_.SavePng(OutPath(std::string(info->test_suite_name()) + "." + info->name() + ".png"));
    }
    Vorn3D::Finalize();
    if (window_) DestroyWindow(window_);
    PumpMessages();
}

bool EngineDeviceTest::ReadBack() { return Vorn3D::GetDevice() && frame_.ReadBackBuffer(Vorn3D::GetDevice()); }

IDirect3DDevice9* EngineDeviceTest::Device() const { return Vorn3D::GetDevice(); }

}  // namespace vorntest
