// Test support: a window with the engine's own device (Vorn3D::Initialize and Vorn3D::Start,
// windowed, the desktop's back-buffer format), and the same read-back as DeviceTest. A program
// using it adds support/EngineDeviceFixture.cpp to its sources.
#pragma once
#include "DeviceFixture.h"

namespace vorntest {

class EngineDeviceTest : public ::testing::Test {
protected:
    static constexpr int kWidth = 256;
    static constexpr int kHeight = 256;
    void SetUp() override;
    void TearDown() override;
    // The back buffer of the engine's device, read before Present.
    bool ReadBack();
    IDirect3DDevice9* Device() const;

    HWND window_ = nullptr;
    Readback frame_;
};

}  // namespace vorntest
